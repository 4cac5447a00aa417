// What a line's stations' logs and its ledger's units say together: every
// MAC address that reached an adapter logged once across the line, and
// recorded on the ledger as programmed by the station that logged it. The
// line's tests and benchmarks judge a run by it.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ledger/ledger.h"
#include "support/logged_macs.h"
#include "support/temp_folder.h"

namespace srom::test {

struct LineFindings {
  int units = 0;  // distinct MAC addresses logged
  // "<MAC> logged by <station> and <station>"
  std::vector<std::string> twice;
  // A logged MAC address without its unit on the server, or with a unit of
  // another station or not programmed.
  std::vector<std::string> unrecorded;
  std::vector<std::string> held_twice;  // two open units on the server

  bool clean() const {
    return twice.empty() && unrecorded.empty() && held_twice.empty();
  }
};

// A station of the line: its name and its folder.
struct LineStation {
  std::string name;
  fs::path dir;
};

// The stations' logs set against `units`, the ledger's.
inline LineFindings FindOnLine(const std::vector<LineStation>& stations,
                               const std::vector<UnitRecord>& units) {
  LineFindings findings;
  std::map<std::string, std::string> given;  // MAC -> station
  for (const LineStation& station : stations) {
    for (const std::string& mac : LoggedMacs(station.dir)) {
      const auto [at, fresh] = given.emplace(mac, station.name);
      if (!fresh) {
        findings.twice.push_back(mac + " logged by " + at->second + " and " +
                                 station.name);
      }
    }
  }
  std::map<std::string, const UnitRecord*> held;
  for (const UnitRecord& u : units) {
    if (u.state == UnitState::kReleased) continue;
    if (!held.emplace(u.mac, &u).second) findings.held_twice.push_back(u.mac);
  }
  for (const auto& [mac, station] : given) {
    const auto unit = held.find(mac);
    if (unit == held.end()) {
      findings.unrecorded.push_back(mac + " reached an adapter unreserved");
    } else if (unit->second->station != station ||
               unit->second->state != UnitState::kProgrammed) {
      findings.unrecorded.push_back(
          mac + " of " + station + " is " +
          std::string(UnitStateName(unit->second->state)) + " by " +
          unit->second->station + " on the server");
    }
  }
  findings.units = static_cast<int>(given.size());
  return findings;
}

}  // namespace srom::test
