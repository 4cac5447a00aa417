// The station's outbox for the line's ledger: a unit whose reservation is
// committed on the server but whose close could not be sent (the server
// went away while the unit was written) keeps its close here, in the
// station folder, and it is sent when the server answers again. The unit's
// MAC address stays reserved on the server meanwhile, so nothing is lost and
// nothing given twice.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ledger/ledger.h"
#include "ports/reporter.h"

namespace srom {

inline constexpr std::string_view kLedgerOutboxFileName = "ledger-outbox.txt";

// Closes unit `id` as `to` (programmed, failed or released) at `time`.
LedgerStatus CloseAs(Ledger& ledger, std::int64_t id, UnitState to,
                     const std::string& time);

// Keeps the close of unit `id` (to programmed, failed or released, at
// `time`), one line flushed to the disk. False when it cannot be written.
bool KeepCloseInOutbox(const std::filesystem::path& folder, std::int64_t id,
                       UnitState to, const std::string& time);

// Sends every kept close, oldest first, and keeps what the ledger cannot
// take yet. A close the ledger refuses (the unit was closed meanwhile) is
// said and dropped. True when the outbox is empty afterwards.
bool SendOutbox(const std::filesystem::path& folder, Ledger& ledger,
                Reporter& reporter);

}  // namespace srom
