#include "ledger/pg_ledger.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <string_view>
#include <utility>

#include "ledger/ledger_address.h"
#include "ledger/ledger_rules.h"
#include "ledger/pg_schema.h"

namespace srom {
namespace {

using ledger_rules::MacText;
using ledger_rules::MacValue;

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct ConnectionDeleter {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionDeleter>;

// The columns ReadRecord() reads, in its order.
constexpr std::string_view kColumns =
    "id, mac, serial, device_sel, image_digest, station, reserved_at, "
    "coalesce(closed_at, ''), state, settings_saved, coalesce(pool, '')";

constexpr std::string_view kUniqueViolation = "23505";

// The server's message as one line, without its "ERROR:" heading.
std::string FirstLine(std::string text) {
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.erase(end);
  for (std::string_view heading : {"ERROR:  ", "FATAL:  "}) {
    if (text.rfind(heading, 0) == 0) text.erase(0, heading.size());
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string Field(const PGresult* result, int row, int column) {
  return PQgetvalue(result, row, column);
}

std::int64_t IntField(const PGresult* result, int row, int column) {
  return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

std::string SqlState(const PGresult* result) {
  const char* state =
      result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
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
  const std::optional<UnitState> state = UnitStateFromName(Field(result, row, 8));
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
      holder != nullptr ? HolderText(*holder) + " (unit " +
                              std::to_string(holder->id) + ")"
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

std::string ConnectionOption(const std::string& url, std::string_view key) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQfreemem(error);
  std::string value;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr;
       ++o) {
    if (key == o->keyword && o->val != nullptr) value = o->val;
  }
  PQconninfoFree(options);
  return value;
}

}  // namespace

class PgLedger::Session {
 public:
  Session(std::string url, std::string station)
      : url_(std::move(url)), station_(std::move(station)) {
    const std::string database = ConnectionOption(url_, "dbname");
    const std::string service = ConnectionOption(url_, "service");
    std::string host = ConnectionOption(url_, "host");
    if (host.empty()) host = "the local server";
    // libpq's reading of an address can put part of a password elsewhere
    // (an unencoded '@' makes the host); the secret stays out all the same.
    where_ = WithoutLedgerSecrets(
        database.empty() && !service.empty()
            ? "(service \"" + service + "\")"
            : "(database \"" + (database.empty() ? "?" : database) + "\" on " +
                  host + ")",
        url_);
  }

  const std::string& station() const { return station_; }
  const std::string& where() const { return where_; }

  // Connects for the first time; the failure's status otherwise.
  std::optional<LedgerStatus> ConnectFirst() {
    // Keywords after "dbname" override what the URI says; those before it
    // give way to it.
    const char* keys[] = {"connect_timeout", "application_name", "dbname",
                          nullptr};
    const char* values[] = {"5", "srom-tool", url_.c_str(), nullptr};
    connection_.reset(PQconnectdbParams(keys, values, 1));
    if (connection_ == nullptr) return Unreachable("out of memory");
    if (PQstatus(connection_.get()) != CONNECTION_OK) return Unreachable();
    Quiet();
    return std::nullopt;
  }

  // Connected, with the schema created or brought up to date: the first
  // step of every call. Nothing, or why the ledger cannot be used (now).
  std::optional<LedgerStatus> Ready() {
    if (ready_) return std::nullopt;
    if (connection_ == nullptr) {
      if (auto down = ConnectFirst()) return down;
    } else if (auto down = Connect()) {
      return down;
    }
    LedgerStatus migrated = Migrate();
    if (!migrated.ok()) return migrated;
    ready_ = true;
    return std::nullopt;
  }

  // Stations starting together: one creates or moves the schema on while
  // the others wait for its lock, then find it done.
  LedgerStatus Migrate() {
    Session& s = *this;
    const auto steps = pg::SchemaSteps();
    const auto refuse = [&s](const std::string& why) {
      return LedgerStatus::Failed(LedgerFault::kStorage,
                                  "The line's production ledger " + s.where() +
                                      " cannot be used: " + why + ".");
    };
    return s.Transaction([&](bool&) -> LedgerStatus {
      Result locked = s.Exec("SELECT pg_advisory_xact_lock($1)",
                             {std::to_string(pg::kSchemaLockKey)});
      if (!Session::Succeeded(locked.get())) return s.Failure(locked.get());
      Result found = s.Exec(
          "SELECT to_regclass('srom_schema') IS NOT NULL, "
          "to_regclass('srom_unit') IS NOT NULL");
      if (!Session::Succeeded(found.get())) return s.Failure(found.get());
      const bool versioned = Field(found.get(), 0, 0) == "t";
      if (!versioned) {
        if (Field(found.get(), 0, 1) == "t") {
          return refuse(
              "it holds a table srom_unit but no schema version (not a "
              "production ledger of this tool)");
        }
        Result created = s.Exec(
            "CREATE TABLE srom_schema (version integer NOT NULL); "
            "INSERT INTO srom_schema VALUES (0)");
        if (!Session::Succeeded(created.get())) return s.Failure(created.get());
      }
      Result version = s.Exec("SELECT version FROM srom_schema");
      if (!Session::Succeeded(version.get())) return s.Failure(version.get());
      if (PQntuples(version.get()) != 1) {
        return refuse("its table srom_schema does not hold one version");
      }
      const auto known = static_cast<std::int64_t>(steps.size());
      const std::int64_t at = IntField(version.get(), 0, 0);
      if (at > known) {
        return refuse("it was written by a newer version of srom-tool (ledger "
                      "schema " +
                      std::to_string(at) + ", this one knows up to " +
                      std::to_string(known) + ")");
      }
      for (auto step = static_cast<std::size_t>(at); step < steps.size();
           ++step) {
        Result done = s.Exec(steps[step]);
        if (!Session::Succeeded(done.get())) return s.Failure(done.get());
        Result counted = s.Exec("UPDATE srom_schema SET version = $1",
                                {std::to_string(step + 1)});
        if (!Session::Succeeded(counted.get())) return s.Failure(counted.get());
      }
      return {};
    });
  }

  // Connected, reconnecting when the connection was lost.
  std::optional<LedgerStatus> Connect() {
    if (PQstatus(connection_.get()) == CONNECTION_OK) return std::nullopt;
    PQreset(connection_.get());
    if (PQstatus(connection_.get()) != CONNECTION_OK) return Unreachable();
    Quiet();
    return ReleaseCutOffReservation();
  }

  // Runs one statement with its bound values as text, or (without values)
  // any number of them.
  Result Exec(std::string_view sql,
              std::initializer_list<std::string> params = {}) {
    if (params.size() == 0) {
      return Result(PQexec(connection_.get(), std::string(sql).c_str()));
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    return Result(PQexecParams(connection_.get(), std::string(sql).c_str(),
                               static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
  }

  // Exec on a connection that is reconnected first, and once more when the
  // statement found it lost: only for a statement that is safe to send twice
  // (a read, BEGIN, an idempotent update).
  Result ExecAgainOnce(std::string_view sql,
                       std::initializer_list<std::string> params,
                       std::optional<LedgerStatus>* down) {
    *down = Connect();
    if (*down) return nullptr;
    Result result = Exec(sql, params);
    if (Succeeded(result.get()) || !Lost(result.get())) return result;
    *down = Connect();
    if (*down) return nullptr;
    return Exec(sql, params);
  }

  static bool Succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return result != nullptr &&
           (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
  }

  // The connection, not the statement, failed. An error the server sent
  // has its SQLSTATE; one libpq made up itself (the server went away) has
  // none.
  bool Lost(const PGresult* result) const {
    if (PQstatus(connection_.get()) != CONNECTION_OK) return true;
    const std::string state = SqlState(result);
    return result == nullptr || state.empty() || state.rfind("08", 0) == 0 ||
           state.rfind("57P", 0) == 0;
  }

  // Why `result` failed, for the operator.
  LedgerStatus Failure(const PGresult* result) {
    if (Lost(result)) return Unreachable();
    return LedgerStatus::Failed(
        LedgerFault::kStorage,
        "The line's production ledger " + where_ + " failed: " +
            FirstLine(PQresultErrorMessage(result)) + ".");
  }

  LedgerStatus Unreachable(std::string cause = {}) {
    if (cause.empty()) {
      cause = WithoutLedgerSecrets(FirstLine(PQerrorMessage(connection_.get())),
                                   url_);
    }
    if (cause.empty()) cause = "the connection was lost";
    return LedgerStatus::Failed(
        LedgerFault::kUnreachable,
        "The line's production ledger " + where_ +
            " cannot be reached: " + cause +
            ". No unit is programmed until it answers; every unit tries it "
            "again.");
  }

  // Why unit `unit` did not change: there is no such unit, or its state
  // forbids it.
  LedgerStatus Unchanged(const std::string& unit, const std::string& change) {
    Result now = Exec("SELECT state FROM srom_unit WHERE id = $1", {unit});
    if (!Succeeded(now.get())) return Failure(now.get());
    if (PQntuples(now.get()) == 0) {
      return Refused("unit " + unit + ": there is no such unit");
    }
    return Refused("to mark unit " + unit + " " + change + ": it is " +
                   Field(now.get(), 0, 0));
  }

  LedgerStatus Refused(const std::string& what) const {
    return LedgerStatus::Failed(
        LedgerFault::kRejected,
        "The line's production ledger refuses " + what + ".");
  }

  // Runs `body` in one transaction. It commits when the body succeeds, or
  // when it asks to (`commit` set: a change that stands even though the call
  // failed); rolls back otherwise. `cut_off` is set when the COMMIT was sent
  // but its answer lost: the transaction may or may not stand.
  template <class Body>
  LedgerStatus Transaction(Body body, bool* cut_off = nullptr) {
    std::optional<LedgerStatus> down;
    Result begun = ExecAgainOnce("BEGIN", {}, &down);
    if (down) return *down;
    if (!Succeeded(begun.get())) return Failure(begun.get());
    bool commit = false;
    LedgerStatus status = body(commit);
    if (status.ok() || commit) {
      Result committed = Exec("COMMIT");
      if (Succeeded(committed.get())) return status;
      if (cut_off != nullptr && Lost(committed.get())) *cut_off = true;
      return Failure(committed.get());
    }
    if (PQstatus(connection_.get()) == CONNECTION_OK) Exec("ROLLBACK");
    return status;
  }

  // A reservation whose commit was cut off: the caller was told it failed,
  // so its adapter was never written, and its MAC address is free again once
  // the server is reached.
  void RememberCutOff(std::string token, std::string time) {
    cut_off_token_ = std::move(token);
    cut_off_time_ = std::move(time);
  }

  std::optional<LedgerStatus> ReleaseCutOffReservation() {
    if (cut_off_token_.empty()) return std::nullopt;
    Result released = Exec(
        "UPDATE srom_unit SET state = 'released', closed_at = $2 "
        "WHERE token = $1 AND state IN ('reserved', 'interrupted')",
        {cut_off_token_, cut_off_time_});
    if (!Succeeded(released.get())) return Failure(released.get());
    cut_off_token_.clear();
    return std::nullopt;
  }

  // The rows of `sql`, or the failure.
  LedgerResult<std::vector<UnitRecord>> Records(
      std::string_view sql, std::initializer_list<std::string> params) {
    std::optional<LedgerStatus> down;
    Result result = ExecAgainOnce(sql, params, &down);
    if (down) return *down;
    return ReadRecords(result.get());
  }

  LedgerResult<std::vector<UnitRecord>> ReadRecords(const PGresult* result) {
    if (!Succeeded(result)) return Failure(result);
    std::vector<UnitRecord> records(
        static_cast<std::size_t>(PQntuples(result)));
    for (int row = 0; row < PQntuples(result); ++row) {
      UnitRecord& record = records[static_cast<std::size_t>(row)];
      if (!ReadRecord(result, row, &record)) {
        return LedgerStatus::Failed(
            LedgerFault::kStorage,
            "The line's production ledger " + where_ + " holds unit " +
                std::to_string(record.id) +
                " in a state the tool does not know.");
      }
    }
    return records;
  }

  LedgerResult<std::optional<UnitRecord>> OneRecord(
      std::string_view sql, std::initializer_list<std::string> params) {
    auto records = Records(sql, params);
    if (!records.ok()) return records.status();
    if (records.value->empty()) return std::optional<UnitRecord>();
    return std::optional<UnitRecord>(std::move(records.value->front()));
  }

 private:
  // The server's notices (a table that exists already) are not the
  // operator's business.
  void Quiet() {
    PQsetNoticeProcessor(
        connection_.get(), [](void*, const char*) {}, nullptr);
  }

  std::string url_;
  std::string station_;
  std::string where_;
  Connection connection_;
  std::string cut_off_token_;
  std::string cut_off_time_;
  bool ready_ = false;
};

PgLedger::PgLedger(std::unique_ptr<Session> session)
    : session_(std::move(session)) {}

PgLedger::~PgLedger() = default;

const std::string& PgLedger::where() const { return session_->where(); }

LedgerResult<std::unique_ptr<PgLedger>> PgLedger::Open(
    const std::string& url, const std::string& station) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQconninfoFree(options);
  if (options == nullptr) {
    std::string cause = error != nullptr ? FirstLine(error) : "out of memory";
    PQfreemem(error);
    return LedgerStatus::Failed(
        LedgerFault::kStorage,
        "The address of the line's production ledger \"" +
            RedactedLedgerAddress(url) +
            "\" cannot be used: " + WithoutLedgerSecrets(cause, url) + ".");
  }
  auto session = std::make_unique<Session>(url, station);
  // A server that is away now is reached later, at the first call that
  // needs it; whatever else goes wrong refuses the ledger at once.
  if (auto refused = session->Ready();
      refused && refused->fault != LedgerFault::kUnreachable) {
    return *refused;
  }
  return std::unique_ptr<PgLedger>(new PgLedger(std::move(session)));
}

LedgerResult<std::int64_t> PgLedger::Reserve(const UnitDraft& draft) {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  if (auto fault = ledger_rules::DraftFault(draft)) return s.Refused(*fault);
  const std::string token = NewToken();
  std::int64_t id = 0;
  bool taken_by_race = false;
  bool cut_off = false;
  LedgerStatus status = s.Transaction(
      [&](bool& commit) -> LedgerStatus {
        const bool from_pool = !draft.pool.empty();
        if (from_pool) {
          Result pool = s.Exec(
              "SELECT name, first_mac, last_mac, increment, next_mac "
              "FROM srom_pool WHERE name = $1 FOR UPDATE",
              {draft.pool});
          if (!Session::Succeeded(pool.get())) return s.Failure(pool.get());
          if (PQntuples(pool.get()) == 0) {
            return s.Refused("the pool \"" + draft.pool +
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
          if (MacValue(state.next) > MacValue(state.last)) {
            return s.Refused("MAC address " + draft.mac + ": the line pool \"" +
                             draft.pool +
                             "\" is used up (its last MAC address is " +
                             state.last + ")");
          }
        }
        auto held = s.ReadRecords(
            s.Exec("SELECT " + std::string(kColumns) +
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
          const UnitRecord& holder = writing != held.value->end()
                                         ? *writing
                                         : held.value->front();
          const bool refused = !draft.reissue ||
                               writing != held.value->end() ||
                               holder.station != draft.station;
          if (refused && from_pool) {
            // The pool's next value is held already (a station outside the
            // pool took it): the pool moves on past it for good.
            Result moved = s.Exec(
                "UPDATE srom_pool SET next_mac = next_mac + increment "
                "WHERE name = $1",
                {draft.pool});
            if (!Session::Succeeded(moved.get())) return s.Failure(moved.get());
            commit = true;
            return LedgerStatus::Failed(
                LedgerFault::kPoolMoved,
                "MAC address " + draft.mac + " of the line pool \"" +
                    draft.pool + "\" is taken already: " +
                    HolderText(holder) + " (unit " + std::to_string(holder.id) +
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
          return s.Failure(inserted.get());
        }
        id = IntField(inserted.get(), 0, 0);
        if (from_pool) {
          Result stepped = s.Exec(
              "UPDATE srom_pool SET next_mac = next_mac + increment "
              "WHERE name = $1",
              {draft.pool});
          if (!Session::Succeeded(stepped.get())) {
            return s.Failure(stepped.get());
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
    const auto holder = s.OneRecord(
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
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  if (auto fault = ledger_rules::TimeFault(time)) return s.Refused(*fault);
  const std::string unit = std::to_string(id);
  const std::string state(UnitStateName(to));
  // The same close sent again (its answer was lost) finds the row as it
  // left it and succeeds again.
  // Only a unit still being written is set aside; one taken for lost may
  // still be closed by its writer.
  const std::string from = to == UnitState::kInterrupted
                               ? "state IN ('reserved', 'failed')"
                               : "state IN ('reserved', 'interrupted')";
  std::optional<LedgerStatus> down;
  Result closed = s.ExecAgainOnce(
      "UPDATE srom_unit SET state = $2, closed_at = $3 WHERE id = $1 AND (" +
          from + " OR (state = $2 AND closed_at = $3))",
      {unit, state, time}, &down);
  if (down) return *down;
  if (!Session::Succeeded(closed.get())) return s.Failure(closed.get());
  if (std::string(PQcmdTuples(closed.get())) == "1") return {};
  return s.Unchanged(unit, state);
}

LedgerStatus PgLedger::MarkSettingsSaved(std::int64_t id) {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  const std::string unit = std::to_string(id);
  std::optional<LedgerStatus> down;
  Result saved = s.ExecAgainOnce(
      "UPDATE srom_unit SET settings_saved = true WHERE id = $1 "
      "AND state IN ('programmed', 'interrupted')",
      {unit}, &down);
  if (down) return *down;
  if (!Session::Succeeded(saved.get())) return s.Failure(saved.get());
  if (std::string(PQcmdTuples(saved.get())) == "1") return {};
  return s.Unchanged(unit, "with its settings saved");
}

LedgerResult<std::vector<UnitRecord>> PgLedger::RecoverInterrupted(
    const std::string& time) {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  if (auto fault = ledger_rules::TimeFault(time)) return s.Refused(*fault);
  auto recovered = s.Records(
      "UPDATE srom_unit SET state = 'interrupted', closed_at = $1 "
      "WHERE station = $2 AND state = 'reserved' RETURNING " +
          std::string(kColumns),
      {time, s.station()});
  if (!recovered.ok()) return recovered;
  // RETURNING gives no order.
  std::sort(
      recovered.value->begin(), recovered.value->end(),
      [](const UnitRecord& a, const UnitRecord& b) { return a.id < b.id; });
  return recovered;
}

LedgerResult<std::optional<UnitRecord>> PgLedger::FindUsed(
    const std::string& mac) {
  if (auto down = session_->Ready()) return *down;
  if (auto fault = ledger_rules::MacFault(mac)) {
    return session_->Refused(*fault);
  }
  return session_->OneRecord(
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE mac = $1 AND state IN ('programmed', "
          "'interrupted', 'failed') ORDER BY id DESC LIMIT 1",
      {mac});
}

LedgerResult<std::optional<UnitRecord>> PgLedger::LatestUsed() {
  if (auto down = session_->Ready()) return *down;
  return session_->OneRecord(
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE station = $1 AND state IN ('programmed', "
          "'interrupted') ORDER BY id DESC LIMIT 1",
      {session_->station()});
}

LedgerResult<std::vector<UnitRecord>> PgLedger::Units() {
  if (auto down = session_->Ready()) return *down;
  return session_->Records(
      "SELECT " + std::string(kColumns) + " FROM srom_unit ORDER BY id", {});
}

LedgerResult<PoolState> PgLedger::Pool(const std::string& name) {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  if (auto fault = ledger_rules::PoolNameFault(name)) return s.Refused(*fault);
  std::optional<LedgerStatus> down;
  Result pool = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "WHERE name = $1",
      {name}, &down);
  if (down) return *down;
  if (!Session::Succeeded(pool.get())) return s.Failure(pool.get());
  if (PQntuples(pool.get()) == 0) {
    return s.Refused("the pool \"" + name + "\": there is no such pool");
  }
  return ReadPool(pool.get(), 0);
}

LedgerResult<std::vector<PoolState>> PgLedger::Pools() {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  std::optional<LedgerStatus> down;
  Result pools = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "ORDER BY name",
      {}, &down);
  if (down) return *down;
  if (!Session::Succeeded(pools.get())) return s.Failure(pools.get());
  std::vector<PoolState> all;
  for (int row = 0; row < PQntuples(pools.get()); ++row) {
    all.push_back(ReadPool(pools.get(), row));
  }
  return all;
}

LedgerStatus PgLedger::CreatePool(const PoolState& pool) {
  if (auto down = session_->Ready()) return *down;
  Session& s = *session_;
  if (auto fault = ledger_rules::PoolFault(pool)) return s.Refused(*fault);
  const std::string first = std::to_string(MacValue(pool.first));
  const std::string last = std::to_string(MacValue(pool.last));
  return s.Transaction([&](bool&) -> LedgerStatus {
    // Pools whose ranges overlap would hand out the same addresses; the
    // lock keeps two stations from making two such pools at once.
    Result locked =
        s.Exec("LOCK TABLE srom_pool IN SHARE ROW EXCLUSIVE MODE");
    if (!Session::Succeeded(locked.get())) return s.Failure(locked.get());
    Result overlap = s.Exec(
        "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
        "WHERE name = $1 OR (first_mac <= $3 AND last_mac >= $2) "
        "ORDER BY name <> $1, name LIMIT 1",
        {pool.name, first, last});
    if (!Session::Succeeded(overlap.get())) return s.Failure(overlap.get());
    if (PQntuples(overlap.get()) == 1) {
      const PoolState other = ReadPool(overlap.get(), 0);
      if (other.name == pool.name) {
        return s.Refused("the pool \"" + pool.name +
                         "\": a pool of that name exists already");
      }
      return s.Refused("the pool \"" + pool.name + "\": its range overlaps " +
                       "that of pool \"" + other.name + "\" (" + other.first +
                       " to " + other.last + ")");
    }
    Result created = s.Exec(
        "INSERT INTO srom_pool (name, first_mac, last_mac, increment, "
        "next_mac) VALUES ($1, $2, $3, $4, $2)",
        {pool.name, first, last, std::to_string(pool.increment)});
    if (!Session::Succeeded(created.get())) return s.Failure(created.get());
    return {};
  });
}

}  // namespace srom
