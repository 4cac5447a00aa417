// A station whose own ledger file lost its units (deleted, emptied, swapped
// for a fresh one) while its log or its settings show that units were
// programmed: a ledger started afresh would not know the MAC addresses given
// before, refuse none of them as a rework, and pass every check. Such a
// station opens, says so, and programs no unit until the ledger is rebuilt
// from Serial-MAC.log.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "ledger/ledger.h"
#include "ops/outcome.h"
#include "ops/station.h"
#include "ports/reporter.h"

namespace srom {

// The command that rebuilds a station's ledger; the window has no button
// for it, so its message names this.
inline constexpr char kRebuildLedgerCommand[] =
    "srom-cli ledger --rebuild-from-log";

// How the station's own ledger file stands before it is opened.
enum class LedgerFileState { kPresent, kMissing, kEmpty };
LedgerFileState LedgerFileStateOf(const std::filesystem::path& ledger_file);

// Whether the station in `folder` shows units its ledger does not hold, and
// the message that says so (what is missing, what to do); nothing when it
// does not. "Shows units" means:
//  - Serial-MAC.log has at least one unit line, or cannot be read at all
//    (a log past kLogReadCap, a pipe: it may hold units), whatever the state
//    of the ledger file; or
//  - the ledger file is missing or empty (0 bytes), the station has been
//    opened before (`opened_before`: its station.lock was there, and every
//    opening leaves the ledger file behind, so it was lost since), and
//    EEPROM.dat's current MAC address lies past the initial settings'
//    (000000000001): the counter has moved, so units were programmed.
// A new folder whose operator put in an EEPROM.dat with the first MAC
// address of a range has no station.lock yet, and a ledger file that is
// there with no units and no log is a new station's: both open as always.
// `ledger_holds_units` says whether the opened ledger holds any unit; pass
// false for a ledger file not opened.
std::optional<std::string> LedgerGap(const std::filesystem::path& folder,
                                     const Station& station,
                                     LedgerFileState file_state,
                                     bool opened_before,
                                     bool ledger_holds_units);

// What a unit refused for a ledger that lost its units says: the message at
// opening explained why.
std::string LedgerGapRefusal();

struct RebuildResult {
  Outcome outcome = Outcome::kOk;
  // The ledger holds units already: nothing was changed.
  bool refused_not_empty = false;
  int entered = 0;
};

// Enters every unit line of the station's Serial-MAC.log into `ledger`, in
// the log's order, as programmed at its logged time (a MAC address logged
// again is entered as a rework), then moves the station's counters past the
// highest MAC address entered when they stand at or before it (as the
// start-up catch-up steps past a unit) and saves EEPROM.dat. Refused,
// changing nothing, when the ledger holds any unit, when the log cannot be
// read, or when one of its unit lines cannot be entered (the line is
// named). Every outcome is said.
RebuildResult RebuildLedgerFromLog(Station& station, Ledger& ledger,
                                   Reporter& reporter);

}  // namespace srom
