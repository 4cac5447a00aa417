// The production ledger's part in a unit and in opening a station: a unit's
// MAC address is reserved in a committed record before the adapter is
// written, the record is closed once the unit passed or failed, and a
// station that opens after a crash or a lost save sets aside interrupted
// units and catches its counters up, so that no MAC address is given twice.
#pragma once

#include <cstdint>
#include <optional>

#include "ledger/ledger.h"
#include "ops/ops_context.h"
#include "ops/outcome.h"
#include "ops/station.h"
#include "ports/clock.h"
#include "ports/reporter.h"

namespace srom {

// The outcome of a ledger call that failed: a MAC address in use, a server
// away or refusing the station's settings, the station's name held by
// another live station, or else a ledger that cannot be used.
Outcome LedgerOutcome(LedgerFault fault);

// With a line pool, before the image is built: the station's "Current" MAC
// address becomes the pool's next value and its maximum the pool's last (the
// serial number follows as usual), shown in the window. kOk without a pool;
// otherwise the message has been shown (unless `say_failures` is false:
// after a unit, when the stepped values may stand) and no unit is written.
Outcome FollowPool(const OpsContext& ctx, bool say_failures = true);

// Right before the first write. A MAC address the ledger holds as given to a
// unit is refused unless the operator confirms a reissue (a rework); on the
// line's ledger one that another station gave is refused outright, naming
// it. Then the unit is reserved; from a line pool, when another station took
// the pool's value first, the pool is read again and the image built anew.
// kOk with `id` set (or without a ledger, kOk and no id); otherwise the
// adapter must not be touched and the operator has been told.
Outcome ReserveUnit(const OpsContext& ctx, std::optional<std::int64_t>& id);

// The unit passed (kProgrammed), failed after a write request went out
// (kFailed: the adapter may hold the address), or failed before anything
// reached the adapter (kReleased). A close the line's server cannot take now
// is kept in the station's outbox and said, and the station is brought into
// step with the server before its next unit (the unit's other ledger calls
// wait for that); one that cannot be kept either is said too, the unit's
// outcome becomes a file failure, and the next start sets its MAC address
// aside.
Outcome CloseUnit(const OpsContext& ctx, std::optional<std::int64_t> id,
                  UnitState to);

// The settings file was saved after unit `id`.
void MarkUnitSettingsSaved(const OpsContext& ctx,
                           std::optional<std::int64_t> id);

// At opening: every unit left reserved by a crash is set aside (said, with
// its MAC address), and when the latest unit's settings save was lost the
// counters move past it and are saved (said too). A deliberate rework, saved
// after the latest unit, is left alone. kOk, or after the message the
// outcome: kLedgerUnreachable when the line's server is away (the station
// may open and do this before its first unit), another failure when the
// station cannot go on (the ledger cannot be read or the caught-up settings
// cannot be saved).
Outcome ReconcileWithLedger(Station& station, Ledger& ledger, Clock& clock,
                            Reporter& reporter);

// The station's counters moved on past `unit`, as stepping after it would
// have left them: the MAC address and, for an EEPROM unit, the serial number.
void StepPastUnit(Station& station, const UnitRecord& unit);

// Before a unit. When the station's own ledger lost its units (ledger_gap)
// LedgerGapRefusal is said and kFileRejected returned. When the line's
// server was away as the station opened, the closes kept in the outbox are
// sent and the station is brought into step with the ledger, as at opening,
// and the window shows the counters. kOk once done (or when nothing waited);
// otherwise no unit is written.
Outcome BringIntoStepWithLedger(const OpsContext& ctx);

// For a station that requires a standby (require_standby=yes), before its
// ledger is written to at opening and before each unit: kOk when a
// synchronous standby acknowledges the line's server's commits (or the
// station does not require one); otherwise, after the message saying why,
// kLedgerUnprotected, or the outcome of a server that cannot tell.
Outcome CheckStandby(const Station& station, Ledger& ledger,
                     Reporter& reporter);

}  // namespace srom
