// The production ledger: one row per unit that was given a MAC address, kept
// where a crash cannot lose it. A row is committed before the adapter is
// written, so that after a kill or a power cut the station still knows which
// addresses may sit on an adapter and never gives one of them out again.
//
// Standard library only: the SQLite file of a station and the line's
// PostgreSQL server both stand behind this port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace srom {

// reserved    the row is committed, the adapter is being written
// programmed  written and verified: the MAC address is on that unit
// released    nothing reached the adapter (its control device did not open):
//             the address is free again
// interrupted still reserved when a station started again, or set aside: the
//             adapter may hold the address, so it counts as given for good
// failed      a write request went out but the unit did not verify: the
//             adapter may hold the address, which may go again only to that
//             same adapter (a retry), and is set aside otherwise
enum class UnitState { kReserved, kProgrammed, kReleased, kInterrupted,
                       kFailed };

constexpr std::string_view UnitStateName(UnitState state) {
  switch (state) {
    case UnitState::kReserved:
      return "reserved";
    case UnitState::kProgrammed:
      return "programmed";
    case UnitState::kReleased:
      return "released";
    case UnitState::kInterrupted:
      return "interrupted";
    case UnitState::kFailed:
      return "failed";
  }
  return "unknown";
}

constexpr std::optional<UnitState> UnitStateFromName(std::string_view name) {
  for (UnitState s : {UnitState::kReserved, UnitState::kProgrammed,
                      UnitState::kReleased, UnitState::kInterrupted,
                      UnitState::kFailed}) {
    if (UnitStateName(s) == name) return s;
  }
  return std::nullopt;
}

// A unit about to be written. `mac` is 12 and `serial` 14 upper-case hex
// digits, `device_sel` one of the four selections, `time` the caller's local
// time as "YYYY-MM-DD HH:MM:SS" (the ledger reads no clock: tests set it).
struct UnitDraft {
  std::string mac;
  std::string serial;
  int device_sel = 0;
  std::string image_digest;
  std::string station;
  std::string time;
  // The operator asked to program this MAC address again on purpose (a
  // rework): a programmed or interrupted unit no longer refuses it; a unit
  // still being written with it does.
  bool reissue = false;
  // The line pool to take the MAC address from, or empty. With a pool, `mac`
  // is the pool's next value as the station last read it (Pool()): the take
  // and the reservation are one transaction, refused with kPoolMoved when
  // another station took that value first.
  std::string pool = {};
};

struct UnitRecord {
  std::int64_t id = 0;  // grows with every reservation; never reused
  std::string mac;
  std::string serial;
  int device_sel = 0;
  std::string image_digest;
  std::string station;
  std::string reserved_at;
  std::string closed_at;  // empty while reserved
  UnitState state = UnitState::kReserved;
  bool settings_saved = false;  // EEPROM.dat was saved after this unit
  std::string pool = {};  // the line pool it came from, or empty

  friend bool operator==(const UnitRecord&, const UnitRecord&) = default;
};

// Why a call failed: what the caller decides on. The error text is for the
// operator and names the file and the cause.
enum class LedgerFault {
  kNone,
  // The ledger cannot be opened, read or written: disk full, read-only,
  // locked by another program, corrupt, or not a production ledger at all.
  kStorage,
  // Reserve: the MAC address is reserved, programmed, interrupted or failed
  // already.
  kMacInUse,
  // The call breaks a rule of the ledger: a malformed field, an unknown unit,
  // a unit whose state does not allow the change.
  kRejected,
  // The ledger's server cannot be reached now: nothing was committed, or
  // (for a call cut off at its commit) what was is set aside at the next
  // call. The station waits; the ledger connects again by itself.
  kUnreachable,
  // Reserve from a pool: the pool's next value is no longer the draft's MAC
  // address (another station took it, or it was held elsewhere and the pool
  // moved past it). Read the pool again and build the unit anew.
  kPoolMoved,
  // The ledger's server answers, and refuses the station's settings: a
  // database that does not exist, a failed login, a missing permission, a
  // ledger written by a newer tool. Waiting does not help; a setting must
  // change.
  kSettingsRejected,
  // Another live station holds this station's name on the line's ledger:
  // two stations under one name would take each other's units for
  // interrupted.
  kStationInUse,
  // The station asks for a synchronous standby (require_standby=yes in
  // station.ini) and none acknowledges the server's commits now: a unit
  // reserved now would be on one machine only, and given again if that
  // machine died. Nothing was committed; it is tried again later.
  kUnprotected,
};

struct [[nodiscard]] LedgerStatus {
  LedgerFault fault = LedgerFault::kNone;
  std::string error;
  // A call that succeeded only in part, for the operator: a close kept in
  // the station's outbox until the server is back.
  std::string note;

  bool ok() const { return fault == LedgerFault::kNone; }
  static LedgerStatus Failed(LedgerFault fault, std::string error) {
    return {fault, std::move(error), {}};
  }
};

// A line pool: the MAC addresses from `first` to `last` (12 hex digits
// each), given in steps of `increment`; `next` is the one the pool gives
// next, past `last` once it is used up.
struct PoolState {
  std::string name;
  std::string first;
  std::string last;
  int increment = 1;
  std::string next;

  friend bool operator==(const PoolState&, const PoolState&) = default;
};

// A value exactly when the call succeeded; otherwise the fault and its text.
template <class T>
struct [[nodiscard]] LedgerResult {
  std::optional<T> value;
  LedgerFault fault = LedgerFault::kNone;
  std::string error;

  LedgerResult() = default;
  LedgerResult(T v) : value(std::move(v)) {}  // NOLINT: success converts
  LedgerResult(LedgerStatus failure)          // NOLINT: so does a failure
      : fault(failure.fault), error(std::move(failure.error)) {}

  bool ok() const { return value.has_value(); }
  LedgerStatus status() const { return {fault, error, {}}; }
};

// A standby of the line's server as the primary sees it.
struct StandbyState {
  std::string name;        // its application_name
  std::string state;       // "streaming", "catchup", ...; empty: not shown
  std::string sync_state;  // "sync", "quorum", "potential", "async"; empty:
                           // not shown to the station's role
  std::int64_t replay_lag_ms = -1;  // -1: unknown (caught up and idle)
  std::int64_t bytes_behind = -1;   // WAL not replayed yet; -1: unknown
};

// What keeps the line's ledger when its server machine dies, as the server
// the station is on tells it.
struct LedgerHealth {
  std::string where;   // the address's server and database, no secrets
  std::string server;  // the host and port that answered ("db1:5432")
  bool primary = false;  // false: a standby, in recovery, read-only
  // The server's synchronous_standby_names and the station's session's
  // synchronous_commit.
  std::string synchronous_standby_names;
  std::string synchronous_commit;
  // Whether the station's role may read the standbys' state (pg_monitor).
  bool standbys_shown = true;
  std::vector<StandbyState> standbys;  // on a primary only
};

// The refusal of a ledger that keeps no line pools.
LedgerStatus NoLinePools();
// The refusal of a health look at a ledger that has no server.
LedgerStatus NoStandbys();

// Every call is one transaction: it happens whole or not at all, and what it
// committed survives a crash once it returns. Calls from several processes
// on the same ledger are safe. Nothing throws.
class Ledger {
 public:
  virtual ~Ledger() = default;

  // Commits a row in state reserved for the unit about to be written and
  // returns its id. Refuses (kMacInUse) a MAC address that another row holds
  // reserved, programmed or interrupted: the check and the insert are one
  // transaction, so two stations never both get the same address.
  virtual LedgerResult<std::int64_t> Reserve(const UnitDraft& draft) = 0;

  // The unit was written and verified. Also closes an interrupted row: a
  // station that started meanwhile took it for lost, but its writer finished.
  virtual LedgerStatus MarkProgrammed(std::int64_t id,
                                      const std::string& time) = 0;

  // Nothing reached the adapter: the address may be given again. Reserved
  // and interrupted rows only.
  virtual LedgerStatus Release(std::int64_t id, const std::string& time) = 0;

  // A write request went out but the unit did not verify: the adapter may
  // hold the address. Reserved and interrupted rows only.
  virtual LedgerStatus MarkFailed(std::int64_t id, const std::string& time) = 0;

  // The address is set aside for good, since an adapter may hold it: a unit
  // stopped while being written (its image changed under it), or a failed
  // unit whose adapter is not the one programmed next. Reserved and failed
  // rows only; the row becomes interrupted.
  virtual LedgerStatus SetAside(std::int64_t id, const std::string& time) = 0;

  // EEPROM.dat with the stepped counters was saved after this programmed
  // unit, or past this interrupted one.
  virtual LedgerStatus MarkSettingsSaved(std::int64_t id) = 0;

  // At start: every row still reserved becomes interrupted (its adapter may
  // hold the address) and is returned in id order, for the operator to check.
  // A row that another live process is still writing is taken too; that
  // writer's MarkProgrammed or Release still closes it.
  virtual LedgerResult<std::vector<UnitRecord>> RecoverInterrupted(
      const std::string& time) = 0;

  // The latest programmed, interrupted or failed row holding `mac`, if any.
  virtual LedgerResult<std::optional<UnitRecord>> FindUsed(
      const std::string& mac) = 0;

  // The latest programmed or interrupted row by id, if any. When its
  // settings_saved is false the save after it was lost, and the station
  // catches its counters up past it.
  virtual LedgerResult<std::optional<UnitRecord>> LatestUsed() = 0;

  // Every row in id order.
  virtual LedgerResult<std::vector<UnitRecord>> Units() = 0;

  // The row `id`, if any. This base looks through Units().
  virtual LedgerResult<std::optional<UnitRecord>> Unit(std::int64_t id);

  // What tells this ledger from every other one: the same text on every
  // connection to it, another for any other ledger (another database, or a
  // copy of one restored elsewhere). Empty for a ledger that keeps none (a
  // station's own file) and for a server not reached yet.
  virtual std::string LedgerIdentity() const { return {}; }

  // True when stations other than this one reserve in the same ledger (the
  // line's server): a MAC address another station holds is never reissued
  // here, and the calls above that speak of "the station" speak of this one.
  virtual bool LineWide() const { return false; }

  // The line pools, kept on the line's server only; a station's own ledger
  // refuses them (kRejected).
  virtual LedgerResult<PoolState> Pool(const std::string& name);
  virtual LedgerResult<std::vector<PoolState>> Pools();
  // A new pool; `next` is ignored (the pool starts at `first`).
  virtual LedgerStatus CreatePool(const PoolState& pool);

  // The line's server's standbys and whether they acknowledge its commits;
  // a station's own ledger has none (kRejected).
  virtual LedgerResult<LedgerHealth> Health();
};

}  // namespace srom
