#include "files/station_config.h"

#include <algorithm>
#include <vector>

#include "files/file_io.h"
#include "ledger/ledger_address.h"
#include "ports/system_error_text.h"

namespace srom {
namespace {

namespace fs = std::filesystem;

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool Printable(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::optional<StationConfig> LoadStationConfig(const fs::path& folder,
                                               std::string* error) {
  const fs::path file = folder / std::string(kStationConfigFileName);
  StationConfig config;
  if (!MayExist(file)) return config;
  const std::string where = std::string(kStationConfigFileName) + " in " +
                            QuotedPath(folder);
  std::string why;
  std::optional<std::string> read =
      ReadRegularFile(file, kStationConfigCap, &why);
  if (!read) {
    *error = where + " cannot be read: " + why +
             ". Fix or remove it, then start again.";
    return std::nullopt;
  }
  std::string& text = *read;
  // Notepad's "UTF-8" puts a byte order mark in front of the first name,
  // which would make "ledger" a setting the tool does not know.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  int number = 0;
  std::vector<std::string*> given;
  std::string require_standby;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line =
        Trimmed(std::string_view(text).substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const std::string at = where + ", line " + std::to_string(number);
    const std::size_t equals = line.find('=');
    // A refused line is shown with any password it may hold hidden: it
    // may be a ledger address that lost its "ledger=".
    if (equals == std::string_view::npos) {
      *error = at + ", is not \"name=value\": \"" +
               RedactedLedgerAddress(line) + "\". Fix it, then start again.";
      return std::nullopt;
    }
    const std::string_view key = Trimmed(line.substr(0, equals));
    const std::string value(Trimmed(line.substr(equals + 1)));
    if (!Printable(value)) {
      *error = at + ", holds a control character.";
      return std::nullopt;
    }
    std::string* slot = key == "ledger"            ? &config.ledger
                        : key == "station"         ? &config.station
                        : key == "pool"            ? &config.pool
                        : key == "require_standby" ? &require_standby
                                                   : nullptr;
    if (slot == nullptr) {
      *error = at + ", names a setting the tool does not know: \"" +
               RedactedLedgerAddress(key) +
               "\" (it knows ledger, station, pool and require_standby). Fix "
               "it, then start again.";
      return std::nullopt;
    }
    if (slot == &require_standby && value != "yes" && value != "no") {
      *error = at + ", gives require_standby \"" +
               RedactedLedgerAddress(value) +
               "\": it takes yes or no. Fix it, then start again.";
      return std::nullopt;
    }
    // Two lines for one setting: which one the operator meant cannot be
    // told, and the wrong one could take a line's station off its server.
    if (std::find(given.begin(), given.end(), slot) != given.end()) {
      *error = at + ", gives \"" + std::string(key) +
               "\" a second time. Keep one of the lines, then start again.";
      return std::nullopt;
    }
    if (const auto fault = slot == &config.station ? StationNameFault(value)
                                                   : std::nullopt) {
      *error = at + ": " + *fault + ". Fix it, then start again.";
      return std::nullopt;
    }
    given.push_back(slot);
    *slot = value;
  }
  config.require_standby = require_standby == "yes";
  return config;
}

std::optional<std::string> StationNameFault(const std::string& name) {
  const std::string shown = RedactedLedgerAddress(name);
  if (shown == name) return std::nullopt;
  return "the station name \"" + shown +
         "\" holds a password of a ledger address, which would go into the "
         "production ledger and its listings";
}

StationConfig Overridden(StationConfig config, const StationConfig& overrides) {
  if (!overrides.ledger.empty()) config.ledger = overrides.ledger;
  if (!overrides.station.empty()) config.station = overrides.station;
  if (!overrides.pool.empty()) config.pool = overrides.pool;
  return config;
}

}  // namespace srom
