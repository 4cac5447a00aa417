#include "ledger/pg_ledger.h"

#include <libpq-fe.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <utility>

#include "ledger/ledger_health.h"
#include "ledger/ledger_rules.h"
#include "ledger/pg_session.h"
#include "model/hex_text.h"

namespace srom {
namespace {

using pg::Field;
using pg::IntField;
using pg::Result;
using pg::Session;

// The columns ReadRecord() reads, in its order.
constexpr std::string_view kColumns =
    "id, mac, serial, device_sel, image_digest, station, reserved_at, "
    "coalesce(closed_at, ''), state, settings_saved, coalesce(pool, '')";

constexpr std::string_view kUniqueViolation = "23505";

std::string SqlState(const PGresult* result) {
  const char* state = result != nullptr
                          ? PQresultErrorField(result, PG_DIAG_SQLSTATE)
                          : nullptr;
  return state != nullptr ? state : "";
}

// False for a state the tool does not know: a row made by hand.
bool ReadRecord(const PGresult* result, int row, UnitRecord* record) {
  record->id = IntField(result, row, 0);
  record->mac = Field(result, row, 1);
  record->serial = Field(result, row, 2);
  record->device_sel = static_cast<int>(IntField(result, row, 3));
  record->image_digest = Field(result, row, 4);
  record->station = Field(result, row, 5);
  record->reserved_at = Field(result, row, 6);
  record->closed_at = Field(result, row, 7);
  record->settings_saved = Field(result, row, 9) == "t";
  record->pool = Field(result, row, 10);
  const std::optional<UnitState> state =
      UnitStateFromName(Field(result, row, 8));
  if (state) record->state = *state;
  return state.has_value();
}

PoolState ReadPool(const PGresult* result, int row) {
  return PoolState{
      Field(result, row, 0),
      MacText(static_cast<std::uint64_t>(IntField(result, row, 1))),
      MacText(static_cast<std::uint64_t>(IntField(result, row, 2))),
      static_cast<int>(IntField(result, row, 3)),
      MacText(static_cast<std::uint64_t>(IntField(result, row, 4)))};
}

// Who holds a MAC address, for the station that wanted it.
std::string HolderText(const UnitRecord& holder) {
  const std::string station = "station \"" + holder.station + "\"";
  switch (holder.state) {
    case UnitState::kReserved:
      return station + " reserved it on " + holder.reserved_at +
             " and is writing it now";
    case UnitState::kInterrupted:
      return station + " reserved it on " + holder.reserved_at +
             ", and its unit was interrupted while being written and may "
             "hold it";
    case UnitState::kFailed:
      return station + " wrote it on " + holder.closed_at +
             " to a unit that failed and may hold it";
    case UnitState::kProgrammed:
    case UnitState::kReleased:
      break;
  }
  return station + " programmed it on " + holder.closed_at;
}

// The refusal of a MAC address that `holder` holds (unknown: null).
LedgerStatus MacInUse(const std::string& mac, const UnitRecord* holder) {
  const std::string who =
      holder != nullptr
          ? HolderText(*holder) + " (unit " + std::to_string(holder->id) + ")"
          : "another station took it a moment ago";
  return LedgerStatus::Failed(
      LedgerFault::kMacInUse,
      "The line's production ledger refuses MAC address " + mac + ": " + who +
          ".");
}

// A token no other reservation carries: how a reservation cut off at its
// commit is found again.
std::string NewToken() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return MacText(random()) + MacText(random());
}

LedgerStatus Refused(const std::string& what) {
  return LedgerStatus::Failed(
      LedgerFault::kRejected,
      "The line's production ledger refuses " + what + ".");
}

// Why unit `unit` did not change: there is no such unit, or its state
// forbids it.
LedgerStatus Unchanged(Session& s, const std::string& unit,
                       const std::string& change) {
  Result now = s.Exec("SELECT state FROM srom_unit WHERE id = $1", {unit});
  if (!Session::Succeeded(now.get())) return s.Failure();
  if (PQntuples(now.get()) == 0) {
    return Refused("unit " + unit + ": there is no such unit");
  }
  return Refused("to mark unit " + unit + " " + change + ": it is " +
                 Field(now.get(), 0, 0));
}

LedgerResult<std::vector<UnitRecord>> ReadRecords(Session& s,
                                                  const PGresult* result) {
  if (!Session::Succeeded(result)) return s.Failure();
  std::vector<UnitRecord> records(static_cast<std::size_t>(PQntuples(result)));
  for (int row = 0; row < PQntuples(result); ++row) {
    UnitRecord& record = records[static_cast<std::size_t>(row)];
    if (!ReadRecord(result, row, &record)) {
      return LedgerStatus::Failed(LedgerFault::kStorage,
                                  "The line's production ledger " + s.where() +
                                      " holds unit " +
                                      std::to_string(record.id) +
                                      " in a state the tool does not know.");
    }
  }
  return records;
}

// The rows of `sql`, or the failure.
LedgerResult<std::vector<UnitRecord>> Records(
    Session& s, std::string_view sql,
    std::initializer_list<std::string> params) {
  std::optional<LedgerStatus> failed;
  Result result = s.ExecAgainOnce(sql, params, &failed);
  if (failed) return *failed;
  return ReadRecords(s, result.get());
}

LedgerResult<std::optional<UnitRecord>> OneRecord(
    Session& s, std::string_view sql,
    std::initializer_list<std::string> params) {
  auto records = Records(s, sql, params);
  if (!records.ok()) return records.status();
  if (records.value->empty()) return std::optional<UnitRecord>();
  return std::optional<UnitRecord>(std::move(records.value->front()));
}

// A statement of the health look: inside a reservation's transaction as it
// stands, or else on a connection made ready, once more if it was lost.
Result HealthStatement(Session& s, bool in_transaction, std::string_view sql,
                       std::optional<LedgerStatus>* failed) {
  if (!in_transaction) return s.ExecAgainOnce(sql, {}, failed);
  Result result = s.Exec(sql);
  if (!Session::Succeeded(result.get())) *failed = s.Failure();
  return result;
}

// What the server the session is on says of its standbys. The lag columns
// and the standbys' states are shown only to a role with pg_monitor (or
// pg_read_all_stats); without it sync_state comes back empty.
LedgerResult<LedgerHealth> ReadHealth(Session& s, bool in_transaction) {
  LedgerHealth health;
  health.where = s.where();
  health.server = s.server();
  std::optional<LedgerStatus> failed;
  Result settings =
      HealthStatement(s, in_transaction,
                      "SELECT pg_is_in_recovery(), "
                      "current_setting('synchronous_standby_names'), "
                      "current_setting('synchronous_commit')",
                      &failed);
  if (failed) return *failed;
  health.primary = Field(settings.get(), 0, 0) == "f";
  health.synchronous_standby_names = Field(settings.get(), 0, 1);
  health.synchronous_commit = Field(settings.get(), 0, 2);
  if (!health.primary) return health;
  Result standbys = HealthStatement(
      s, in_transaction,
      "SELECT coalesce(application_name, ''), coalesce(state, ''), "
      "coalesce(sync_state, ''), "
      "coalesce((extract(epoch FROM replay_lag) * 1000)::bigint, -1), "
      "coalesce(pg_wal_lsn_diff(pg_current_wal_lsn(), replay_lsn)::bigint, "
      "-1) "
      "FROM pg_stat_replication ORDER BY application_name, pid",
      &failed);
  if (failed) return *failed;
  for (int row = 0; row < PQntuples(standbys.get()); ++row) {
    StandbyState standby;
    standby.name = Field(standbys.get(), row, 0);
    standby.state = Field(standbys.get(), row, 1);
    standby.sync_state = Field(standbys.get(), row, 2);
    standby.replay_lag_ms = IntField(standbys.get(), row, 3);
    standby.bytes_behind = IntField(standbys.get(), row, 4);
    if (standby.sync_state.empty()) health.standbys_shown = false;
    health.standbys.push_back(std::move(standby));
  }
  return health;
}

}  // namespace

PgLedger::PgLedger(std::unique_ptr<Session> session)
    : session_(std::move(session)) {}

PgLedger::~PgLedger() = default;

const std::string& PgLedger::where() const { return session_->where(); }

std::string PgLedger::LedgerIdentity() const { return session_->identity(); }

LedgerResult<std::unique_ptr<PgLedger>> PgLedger::Open(
    const std::string& url, const std::string& station, PgLedgerOptions how) {
  if (auto refused = pg::UnusableAddress(url)) return *refused;
  auto session = std::make_unique<Session>(url, station, std::move(how));
  // A server that is away now is reached later, at the first call that
  // needs it; whatever else goes wrong refuses the ledger at once.
  if (auto refused = session->Begin().Ready();
      refused && refused->fault != LedgerFault::kUnreachable) {
    return *refused;
  }
  return std::unique_ptr<PgLedger>(new PgLedger(std::move(session)));
}

LedgerResult<std::int64_t> PgLedger::Reserve(const UnitDraft& draft) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::DraftFault(draft)) return Refused(*fault);
  const std::string token = NewToken();
  std::int64_t id = 0;
  bool taken_by_race = false;
  bool cut_off = false;
  LedgerStatus status = s.Transaction(
      [&](bool& commit) -> LedgerStatus {
        // Looked at in the reservation's own transaction, just before its
        // commit: the closest the station can come to the standby it needs
        // being there when the commit goes out.
        if (s.options().require_standby) {
          const auto health = ReadHealth(s, true);
          if (!health.ok()) return health.status();
          if (auto reason = UnprotectedReason(*health.value)) {
            return LedgerStatus::Failed(
                LedgerFault::kUnprotected,
                UnprotectedText(*health.value, *reason));
          }
        }
        const bool from_pool = !draft.pool.empty();
        if (from_pool) {
          Result pool = s.Exec(
              "SELECT name, first_mac, last_mac, increment, next_mac "
              "FROM srom_pool WHERE name = $1 FOR UPDATE",
              {draft.pool});
          if (!Session::Succeeded(pool.get())) return s.Failure();
          if (PQntuples(pool.get()) == 0) {
            return Refused("the pool \"" + draft.pool +
                           "\": there is no such pool");
          }
          const PoolState state = ReadPool(pool.get(), 0);
          if (state.next != draft.mac) {
            return LedgerStatus::Failed(
                LedgerFault::kPoolMoved,
                "The line pool \"" + draft.pool + "\" gives MAC address " +
                    state.next + " next, not " + draft.mac +
                    ": another station took that one first.");
          }
          if (ledger_rules::PoolUsedUp(state)) {
            return Refused(
                "MAC address " + draft.mac + ": the line pool \"" + draft.pool +
                "\" is used up (its last MAC address is " + state.last + ")");
          }
        }
        auto held = ReadRecords(
            s, s.Exec("SELECT " + std::string(kColumns) +
                          " FROM srom_unit WHERE mac = $1 "
                          "AND state <> 'released' ORDER BY id FOR UPDATE",
                      {draft.mac})
                   .get());
        if (!held.ok()) return held.status();
        std::string reissue_of;
        if (!held.value->empty()) {
          // The unit being written with it, or else the first holder.
          const auto writing = std::find_if(
              held.value->begin(), held.value->end(), [](const UnitRecord& u) {
                return u.state == UnitState::kReserved;
              });
          const UnitRecord& holder =
              writing != held.value->end() ? *writing : held.value->front();
          const bool refused =
              !ledger_rules::MayReissue(draft, holder, LineWide());
          if (refused && from_pool) {
            // The pool's next value is held already (a station outside the
            // pool took it): the pool moves on past it for good.
            Result moved = s.Exec(
                "UPDATE srom_pool SET next_mac = next_mac + increment "
                "WHERE name = $1",
                {draft.pool});
            if (!Session::Succeeded(moved.get())) return s.Failure();
            commit = true;
            return LedgerStatus::Failed(
                LedgerFault::kPoolMoved,
                "MAC address " + draft.mac + " of the line pool \"" +
                    draft.pool + "\" is taken already: " + HolderText(holder) +
                    " (unit " + std::to_string(holder.id) +
                    "). The pool moves on past it.");
          }
          if (refused) return MacInUse(draft.mac, &holder);
          reissue_of = std::to_string(holder.id);
        }
        Result inserted = s.Exec(
            "INSERT INTO srom_unit (mac, serial, device_sel, image_digest, "
            "station, pool, reserved_at, state, reissue_of, token) VALUES "
            "($1, $2, $3, $4, $5, NULLIF($6, ''), $7, 'reserved', "
            "NULLIF($8, '')::bigint, $9) RETURNING id",
            {draft.mac, draft.serial, std::to_string(draft.device_sel),
             draft.image_digest, draft.station, draft.pool, draft.time,
             reissue_of, token});
        if (!Session::Succeeded(inserted.get())) {
          // Another station reserved it between the look and the insert.
          if (SqlState(inserted.get()) == kUniqueViolation) {
            taken_by_race = true;
            return LedgerStatus::Failed(LedgerFault::kMacInUse, "");
          }
          return s.Failure();
        }
        id = IntField(inserted.get(), 0, 0);
        if (from_pool) {
          Result stepped = s.Exec(
              "UPDATE srom_pool SET next_mac = next_mac + increment "
              "WHERE name = $1",
              {draft.pool});
          if (!Session::Succeeded(stepped.get())) {
            return s.Failure();
          }
        }
        return {};
      },
      &cut_off);
  if (cut_off) s.RememberCutOff(token, draft.time);
  if (taken_by_race) {
    if (!draft.pool.empty()) {
      return LedgerStatus::Failed(
          LedgerFault::kPoolMoved,
          "MAC address " + draft.mac + " of the line pool \"" + draft.pool +
              "\" was taken a moment ago by another station.");
    }
    // Name the one that won.
    const auto holder =
        OneRecord(s,
                  "SELECT " + std::string(kColumns) +
                      " FROM srom_unit WHERE mac = $1 AND state <> 'released' "
                      "ORDER BY (state = 'reserved') DESC, id LIMIT 1",
                  {draft.mac});
    if (!holder.ok()) return holder.status();
    return MacInUse(draft.mac, *holder.value ? &**holder.value : nullptr);
  }
  if (!status.ok()) return status;
  return id;
}

LedgerStatus PgLedger::MarkProgrammed(std::int64_t id,
                                      const std::string& time) {
  return Close(id, time, UnitState::kProgrammed);
}

LedgerStatus PgLedger::Release(std::int64_t id, const std::string& time) {
  return Close(id, time, UnitState::kReleased);
}

LedgerStatus PgLedger::MarkFailed(std::int64_t id, const std::string& time) {
  return Close(id, time, UnitState::kFailed);
}

LedgerStatus PgLedger::SetAside(std::int64_t id, const std::string& time) {
  return Close(id, time, UnitState::kInterrupted);
}

LedgerStatus PgLedger::Close(std::int64_t id, const std::string& time,
                             UnitState to) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::TimeFault(time)) return Refused(*fault);
  const std::string unit = std::to_string(id);
  const std::string state(UnitStateName(to));
  // The same close sent again (its answer was lost) finds the row as it
  // left it and succeeds again.
  // Only a unit still being written is set aside; one taken for lost may
  // still be closed by its writer.
  const std::string from = to == UnitState::kInterrupted
                               ? "state IN ('reserved', 'failed')"
                               : "state IN ('reserved', 'interrupted')";
  std::optional<LedgerStatus> failed;
  Result closed = s.ExecAgainOnce(
      "UPDATE srom_unit SET state = $2, closed_at = $3 WHERE id = $1 AND (" +
          from + " OR (state = $2 AND closed_at = $3))",
      {unit, state, time}, &failed);
  if (failed) return *failed;
  if (std::string(PQcmdTuples(closed.get())) == "1") return {};
  return Unchanged(s, unit, state);
}

LedgerStatus PgLedger::MarkSettingsSaved(std::int64_t id) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  const std::string unit = std::to_string(id);
  std::optional<LedgerStatus> failed;
  Result saved = s.ExecAgainOnce(
      "UPDATE srom_unit SET settings_saved = true WHERE id = $1 "
      "AND state IN ('programmed', 'interrupted')",
      {unit}, &failed);
  if (failed) return *failed;
  if (std::string(PQcmdTuples(saved.get())) == "1") return {};
  return Unchanged(s, unit, "with its settings saved");
}

LedgerResult<std::vector<UnitRecord>> PgLedger::RecoverInterrupted(
    const std::string& time) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::TimeFault(time)) return Refused(*fault);
  // In a transaction of its own: a server that stops answering in the
  // middle then takes none of it when it goes on, and the next call finds
  // the units, and tells them, again.
  LedgerResult<std::vector<UnitRecord>> recovered;
  const LedgerStatus done = s.Transaction([&](bool&) -> LedgerStatus {
    recovered = ReadRecords(
        s, s.Exec("UPDATE srom_unit SET state = 'interrupted', closed_at = $1 "
                  "WHERE station = $2 AND state = 'reserved' RETURNING " +
                      std::string(kColumns),
                  {time, s.station()})
               .get());
    return recovered.status();
  });
  if (!done.ok()) return done;
  // RETURNING gives no order.
  std::sort(
      recovered.value->begin(), recovered.value->end(),
      [](const UnitRecord& a, const UnitRecord& b) { return a.id < b.id; });
  return recovered;
}

LedgerResult<std::optional<UnitRecord>> PgLedger::FindUsed(
    const std::string& mac) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::MacFault(mac)) {
    return Refused(*fault);
  }
  return OneRecord(
      s,
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE mac = $1 AND state IN ('programmed', "
          "'interrupted', 'failed') ORDER BY id DESC LIMIT 1",
      {mac});
}

LedgerResult<std::optional<UnitRecord>> PgLedger::LatestUsed() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return OneRecord(
      s,
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE station = $1 AND state IN ('programmed', "
          "'interrupted') ORDER BY id DESC LIMIT 1",
      {s.station()});
}

LedgerResult<std::vector<UnitRecord>> PgLedger::Units() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return Records(
      s, "SELECT " + std::string(kColumns) + " FROM srom_unit ORDER BY id", {});
}

LedgerResult<std::optional<UnitRecord>> PgLedger::Unit(std::int64_t id) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return OneRecord(
      s, "SELECT " + std::string(kColumns) + " FROM srom_unit WHERE id = $1",
      {std::to_string(id)});
}

LedgerResult<LedgerHealth> PgLedger::Health() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return ReadHealth(s, false);
}

LedgerResult<PoolState> PgLedger::Pool(const std::string& name) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::PoolNameFault(name)) return Refused(*fault);
  std::optional<LedgerStatus> failed;
  Result pool = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "WHERE name = $1",
      {name}, &failed);
  if (failed) return *failed;
  if (PQntuples(pool.get()) == 0) {
    return Refused("the pool \"" + name + "\": there is no such pool");
  }
  return ReadPool(pool.get(), 0);
}

LedgerResult<std::vector<PoolState>> PgLedger::Pools() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  std::optional<LedgerStatus> failed;
  Result pools = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "ORDER BY name",
      {}, &failed);
  if (failed) return *failed;
  std::vector<PoolState> all;
  for (int row = 0; row < PQntuples(pools.get()); ++row) {
    all.push_back(ReadPool(pools.get(), row));
  }
  return all;
}

LedgerStatus PgLedger::CreatePool(const PoolState& pool) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::PoolFault(pool)) return Refused(*fault);
  const std::string first = std::to_string(MacValue(pool.first));
  const std::string last = std::to_string(MacValue(pool.last));
  return s.Transaction([&](bool&) -> LedgerStatus {
    // Pools whose ranges overlap would hand out the same addresses; the
    // lock keeps two stations from making two such pools at once.
    Result locked = s.Exec("LOCK TABLE srom_pool IN SHARE ROW EXCLUSIVE MODE");
    if (!Session::Succeeded(locked.get())) return s.Failure();
    Result overlap = s.Exec(
        "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
        "WHERE name = $1 OR (first_mac <= $3 AND last_mac >= $2) "
        "ORDER BY name <> $1, name LIMIT 1",
        {pool.name, first, last});
    if (!Session::Succeeded(overlap.get())) return s.Failure();
    if (PQntuples(overlap.get()) == 1) {
      const PoolState other = ReadPool(overlap.get(), 0);
      if (other.name == pool.name) {
        return Refused("the pool \"" + pool.name +
                       "\": a pool of that name exists already");
      }
      return Refused("the pool \"" + pool.name + "\": its range overlaps " +
                     "that of pool \"" + other.name + "\" (" + other.first +
                     " to " + other.last + ")");
    }
    Result created = s.Exec(
        "INSERT INTO srom_pool (name, first_mac, last_mac, increment, "
        "next_mac) VALUES ($1, $2, $3, $4, $2)",
        {pool.name, first, last, std::to_string(pool.increment)});
    if (!Session::Succeeded(created.get())) return s.Failure();
    return {};
  });
}

}  // namespace srom
