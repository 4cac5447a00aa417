// The station's outbox for the line's ledger: a unit whose reservation is
// committed on the server but whose close could not be sent (the server
// went away, or stopped answering, while the unit was written) keeps its
// close here, in the station folder, and it is sent when the server answers
// again. The unit's MAC address stays reserved on the server meanwhile, so
// nothing is lost and nothing given twice.
//
// Each line names its unit, the close, the unit's MAC address and the
// ledger the unit was reserved in:
//
//   1234 programmed 2024-03-01 08:15:07 mac=00E04C000701 ledger=<identity>
//
// A close is sent only to the ledger it names, and only when the unit there
// holds the MAC address it names. A line without them (written by an older
// srom-tool, or by hand) is sent only when its unit is this station's own
// and still open (reserved or interrupted), or already closed just as the
// line says. Every other line stays in the file, and the operator is told
// once per run why.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ledger/ledger.h"
#include "ops/station.h"
#include "ports/reporter.h"

namespace srom {

inline constexpr std::string_view kLedgerOutboxFileName = "ledger-outbox.txt";

// Closes unit `id` as `to` (programmed, failed or released) at `time`.
LedgerStatus CloseAs(Ledger& ledger, std::int64_t id, UnitState to,
                     const std::string& time);

// Keeps the close of unit `id` (to programmed, failed or released, at
// `time`), which holds MAC address `mac` in the ledger `ledger_identity`:
// one line flushed to the disk. False when it cannot be written.
bool KeepCloseInOutbox(const std::filesystem::path& folder, std::int64_t id,
                       UnitState to, const std::string& time,
                       const std::string& mac,
                       const std::string& ledger_identity);

// Sends every kept close meant for `ledger`, oldest first, from the outbox
// in the station's folder, and keeps what the ledger cannot take yet and
// what is meant for another ledger. A close the ledger refuses (the unit
// was closed meanwhile, or there is no such unit) is said and dropped. The
// failure of the ledger call that stopped the sending (the server away, its
// settings refused), or success; a file that cannot be read or rewritten is
// said and is no failure of the ledger's.
LedgerStatus SendOutbox(Station& station, Ledger& ledger, Reporter& reporter);

}  // namespace srom
