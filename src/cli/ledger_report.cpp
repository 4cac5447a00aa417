#include "cli/ledger_report.h"

#include <fstream>
#include <map>
#include <sstream>

namespace srom::cli {
namespace {

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

// The MAC addresses of the log's unit lines, with how often each stands
// there. A unit line is device, serial, MAC, date and time, tab-separated.
std::map<std::string, int> LoggedMacs(const std::filesystem::path& log) {
  std::map<std::string, int> macs;
  std::ifstream in(log, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string device, serial, mac;
    if (!std::getline(fields, device, '\t') ||
        !std::getline(fields, serial, '\t') ||
        !std::getline(fields, mac, '\t')) {
      continue;
    }
    if (device.find("/EEPROM") == std::string::npos &&
        device.find("/EFUSE") == std::string::npos) {
      continue;
    }
    ++macs[mac];
  }
  return macs;
}

}  // namespace

std::string UnitsTable(const std::vector<UnitRecord>& units) {
  std::string table =
      "unit  MAC           serial          sel  state        reserved         "
      "    closed               saved  station\n";
  for (const UnitRecord& u : units) {
    table += Padded(std::to_string(u.id), 6) + Padded(u.mac, 14) +
             Padded(u.serial, 16) + Padded(std::to_string(u.device_sel), 5) +
             Padded(std::string(UnitStateName(u.state)), 13) +
             Padded(u.reserved_at, 21) +
             Padded(u.closed_at.empty() ? "-" : u.closed_at, 21) +
             Padded(u.settings_saved ? "yes" : "no", 7) + u.station + "\n";
  }
  return table;
}

LogCheck CheckAgainstLog(const std::vector<UnitRecord>& units,
                         const std::filesystem::path& log) {
  LogCheck check;
  std::map<std::string, int> logged = LoggedMacs(log);
  int known = 0;
  for (const UnitRecord& u : units) {
    if (u.state != UnitState::kProgrammed) continue;
    int& count = logged[u.mac];
    if (count > 0) {
      --count;
      ++known;
      continue;
    }
    check.consistent = false;
    check.findings.push_back("Unit " + std::to_string(u.id) + " (MAC address " +
                             u.mac + ", programmed on " + u.closed_at +
                             ") is missing from Serial-MAC.log.");
  }
  int unknown = 0;
  for (const auto& [mac, count] : logged) unknown += count;
  check.findings.push_back(std::to_string(known) +
                           " programmed units are in Serial-MAC.log.");
  if (unknown > 0) {
    check.findings.push_back(
        std::to_string(unknown) +
        " lines of Serial-MAC.log have no unit in the ledger (units logged "
        "before the ledger was kept, or a log edited by hand).");
  }
  return check;
}

}  // namespace srom::cli
