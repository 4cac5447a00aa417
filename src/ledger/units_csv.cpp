#include "ledger/units_csv.h"

#include <string_view>

namespace srom {
namespace {

void AppendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendLine(std::string& out,
                std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) out += ',';
    first = false;
    AppendField(out, field);
  }
  out += "\r\n";
}

}  // namespace

std::string UnitsCsv(const std::vector<UnitRecord>& records) {
  std::string out;
  AppendLine(out,
             {"id", "mac", "serial", "device_sel", "image_digest", "station",
              "reserved_at", "closed_at", "state", "settings_saved", "pool"});
  for (const UnitRecord& r : records) {
    AppendLine(out, {std::to_string(r.id), r.mac, r.serial,
                     std::to_string(r.device_sel), r.image_digest, r.station,
                     r.reserved_at, r.closed_at, UnitStateName(r.state),
                     r.settings_saved ? "yes" : "no", r.pool});
  }
  return out;
}

}  // namespace srom
