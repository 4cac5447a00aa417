// What `srom-cli ledger` prints: the units as a table, the units counted by
// station, pool or hour, the interrupted units, and the check of the ledger
// against Serial-MAC.log.
#pragma once

#include <string>
#include <string_view>
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
  // The ledger and the log agree on every unit.
  bool consistent = true;
  // What the operator should know, one sentence each: first every unit
  // found wrong, in id order, then how many units the log lists.
  std::vector<std::string> findings;
};

// Compares the ledger's units with the unit lines of Serial-MAC.log (its
// bytes, `log`). Found wrong, one finding each naming the unit and its MAC
// address: a programmed unit missing from the log; a MAC address the log
// lists more often than the ledger programmed it; a unit that did not pass
// (released, failed, interrupted: any state but programmed) whose MAC
// address the log lists while no unit with it passed. Lines the ledger does
// not know at all (units logged before it was kept) are counted, not failed.
LogCheck CheckAgainstLog(const std::vector<UnitRecord>& units,
                         std::string_view log);

}  // namespace srom::cli
