// Whether a standby keeps the line's ledger when its server machine dies:
// the server's own figures (LedgerHealth) judged and put into words, for
// `srom-cli ledger --health`, for a station that requires a standby before
// it programs a unit, and for the window that says so.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ledger/ledger.h"

namespace srom {

// How many synchronous standbys a commit waits for under `names` (the
// server's synchronous_standby_names): "FIRST 2 (a, b, c)", "ANY 2 (a, b)"
// and "2 (a, b)" wait for 2; "a, b", "a" and "*" for 1; an empty setting for
// none.
int SyncStandbysAwaited(std::string_view names);

// Why a commit of the station's session is not acknowledged by the
// synchronous standbys it needs now, or nothing when it is: the server is a
// standby itself, the session does not wait, the server names no standby,
// the station's role may not see them, or too few are streaming in step.
std::optional<std::string> UnprotectedReason(const LedgerHealth& health);

// The refusal of a unit on a station that requires a standby, `reason`
// being UnprotectedReason's.
std::string UnprotectedText(const LedgerHealth& health,
                            const std::string& reason);

// The report of `srom-cli ledger --health`: the server the station is on,
// its part, what a commit waits for, each standby with its lag, and the
// verdict with its reason.
std::string HealthReport(const LedgerHealth& health);

}  // namespace srom
