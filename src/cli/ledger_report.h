// What `srom-cli ledger` prints: the units as a table, and the check of the
// ledger against Serial-MAC.log.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace srom::cli {

// One line a unit, under a heading, columns aligned.
std::string UnitsTable(const std::vector<UnitRecord>& units);

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
