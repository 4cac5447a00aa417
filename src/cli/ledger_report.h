// What `srom-cli ledger` prints: the units as a table, the units counted by
// station, pool or hour, the interrupted units, and the check of the ledger
// against Serial-MAC.log.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace srom::cli {

// One line a unit, under a heading, columns aligned.
std::string UnitsTable(const std::vector<UnitRecord>& units);

// The units counted by station, by line pool ("(none)" for the units that
// came from no pool) and by the hour they were reserved in ("YYYY-MM-DD HH"):
// one line a group in sorted order, with how many units it holds and how
// many of them are programmed, interrupted, released and still reserved,
// then a total line. A sentence when there are no units.
std::string UnitsPerStation(const std::vector<UnitRecord>& units);
std::string UnitsPerPool(const std::vector<UnitRecord>& units);
std::string UnitsPerHour(const std::vector<UnitRecord>& units);

// The interrupted units as UnitsTable lists them (the adapters to check), or
// a sentence when there are none.
std::string InterruptedUnits(const std::vector<UnitRecord>& units);

struct LogCheck {
  // Every programmed unit has its line in the log.
  bool consistent = true;
  // What the operator should know, one sentence each.
  std::vector<std::string> findings;
};

// Compares the ledger's programmed units with the MAC addresses the log
// lists. Lines the ledger does not know (units logged before it was kept)
// are counted, not failed.
LogCheck CheckAgainstLog(const std::vector<UnitRecord>& units,
                         const std::filesystem::path& log);

}  // namespace srom::cli
