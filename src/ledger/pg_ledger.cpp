#include "ledger/pg_ledger.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string_view>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "ledger/ledger_address.h"
#include "ledger/ledger_rules.h"
#include "ledger/pg_connection.h"
#include "ledger/pg_schema.h"

namespace srom {
namespace {

using ledger_rules::MacText;
using ledger_rules::MacValue;
using pg::Result;
using pg::SteadyClock;
using namespace std::chrono_literals;

// The columns ReadRecord() reads, in its order.
constexpr std::string_view kColumns =
    "id, mac, serial, device_sel, image_digest, station, reserved_at, "
    "coalesce(closed_at, ''), state, settings_saved, coalesce(pool, '')";

constexpr std::string_view kUniqueViolation = "23505";

// What a station's name is hashed with into the key of the advisory lock
// that holds it: no other lock of the tool's is taken on such a key.
constexpr std::string_view kStationLockPrefix = "srom-tool station ";

// How long a station waits for its name: the session of a station that has
// just ended (or been killed) frees it within milliseconds.
constexpr auto kNameWait = 1500ms;
// How often a wait for a session or a name looks again.
constexpr auto kLookAgain = 50ms;

// The first line of libpq's message, without its "ERROR:" heading.
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

long ThisProcess() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

// Seconds since 1970 as this computer's local "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeText(std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string Seconds(SteadyClock::duration duration) {
  return std::to_string(
      std::chrono::ceil<std::chrono::seconds>(duration).count());
}

}  // namespace

class PgLedger::Session {
 public:
  Session(std::string url, std::string station, PgLedgerOptions options)
      : url_(std::move(url)),
        station_(std::move(station)),
        options_(std::move(options)) {
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
  const std::string& identity() const { return identity_; }

  // A call begins: everything it waits for, connecting included, ends by
  // kCallBudget from now.
  Session& Begin() {
    deadline_ = SteadyClock::now() + pg::kCallBudget;
    return *this;
  }

  // Connected, the session set up (limits, schema, identity, the station's
  // name, a cut-off reservation settled): the first step of every call.
  // Nothing, or why the ledger cannot be used (now).
  std::optional<LedgerStatus> Ready() {
    if (gone_) return *gone_;
    if (set_up_ && connection_.connected()) return std::nullopt;
    set_up_ = false;
    if (!connection_.connected()) {
      // A server that just let a call run out its time is not waited for
      // again at once: the calls of the same unit or opening are told in
      // one wait, not one each.
      if (SteadyClock::now() < quiet_until_) return NoAnswer();
      if (backend_pid_ != 0) {
        // The session before this one may still live on the server (it
        // stopped answering): it is ended before anything else, since it
        // may hold the station's name or a reservation cut off at its
        // commit.
        old_backend_pid_ = backend_pid_;
        old_backend_start_ = backend_start_;
        backend_pid_ = 0;
      }
      if (!connection_.Open(url_, Wait())) {
        NoteNoAnswer();
        return Failure();
      }
    }
    if (auto failed = SetUp()) return failed;
    set_up_ = true;
    return std::nullopt;
  }

  // Runs `sql` on the connection as it is, within the call's time.
  Result Exec(std::string_view sql,
              std::initializer_list<std::string> params = {}) {
    Result result = connection_.Exec(sql, params, Wait());
    NoteNoAnswer();
    return result;
  }

  // Exec on a connection that is made ready first, and once more when the
  // statement found it lost: only for a statement that is safe to send twice
  // (a read, BEGIN, an idempotent update).
  Result ExecAgainOnce(std::string_view sql,
                       std::initializer_list<std::string> params,
                       std::optional<LedgerStatus>* down) {
    *down = Ready();
    if (*down) return nullptr;
    Result result = Exec(sql, params);
    if (Succeeded(result.get()) || !Lost()) return result;
    *down = Ready();
    if (*down) return nullptr;
    return Exec(sql, params);
  }

  static bool Succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return result != nullptr &&
           (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
  }

  // The last statement lost its connection (the server went away or
  // restarted), rather than being refused or left unanswered.
  bool Lost() const {
    const pg::ConnectionError& e = connection_.error();
    return e.cut == pg::Cut::kLost ||
           (e.cut == pg::Cut::kServer && pg::IsConnectionState(e.sqlstate));
  }

  // Why the last statement or connection attempt failed, for the operator
  // and for what the caller decides: a server away or not answering
  // (kUnreachable), settings it refuses (kSettingsRejected), or else a
  // ledger that failed (kStorage).
  LedgerStatus Failure() {
    // libpq may quote the address, password and all, in its own text.
    pg::ConnectionError e = connection_.error();
    e.text = WithoutLedgerSecrets(e.text, url_);
    switch (e.cut) {
      case pg::Cut::kTimedOut:
        return NoAnswer();
      case pg::Cut::kStopped:
        return LedgerStatus::Failed(
            LedgerFault::kUnreachable,
            "The wait for the line's production ledger " + where_ +
                " was stopped before it answered. No unit is programmed "
                "until it answers.");
      case pg::Cut::kNone:
      case pg::Cut::kLost:
        return Unreachable(e.text);
      case pg::Cut::kServer:
        break;
    }
    if (pg::IsConnectionState(e.sqlstate)) return Unreachable(e.text);
    if (pg::IsTimeoutState(e.sqlstate)) {
      return Unreachable("it is too busy to answer in time (" + e.text + ")");
    }
    if (pg::IsSettingsState(e.sqlstate)) return SettingsRejected(e.text);
    return LedgerStatus::Failed(
        LedgerFault::kStorage,
        "The line's production ledger " + where_ + " failed: " + e.text + ".");
  }

  LedgerStatus Unreachable(std::string cause) const {
    if (cause.empty()) cause = "the connection was lost";
    return LedgerStatus::Failed(
        LedgerFault::kUnreachable,
        "The line's production ledger " + where_ +
            " cannot be reached: " + cause +
            ". No unit is programmed until it answers; every unit tries it "
            "again.");
  }

  LedgerStatus NoAnswer() const {
    return LedgerStatus::Failed(
        LedgerFault::kUnreachable,
        "The line's production ledger " + where_ +
            " does not answer: nothing came back within " +
            Seconds(pg::kCallBudget) +
            " s (the server or its network hangs). No unit is programmed "
            "until it answers; every unit tries it again.");
  }

  LedgerStatus SettingsRejected(const std::string& cause) const {
    return LedgerStatus::Failed(
        LedgerFault::kSettingsRejected,
        "The settings of the line's production ledger are rejected by the "
        "server " +
            where_ + ": " + cause +
            ". No unit is programmed until they are corrected (\"ledger=\" "
            "in station.ini or --ledger, or the server's own settings).");
  }

  // Why unit `unit` did not change: there is no such unit, or its state
  // forbids it.
  LedgerStatus Unchanged(const std::string& unit, const std::string& change) {
    Result now = Exec("SELECT state FROM srom_unit WHERE id = $1", {unit});
    if (!Succeeded(now.get())) return Failure();
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
  // but its answer lost: the transaction may or may not stand. `ready`
  // false: on the connection as it is (while it is being set up).
  template <class Body>
  LedgerStatus Transaction(Body body, bool* cut_off = nullptr,
                           bool ready = true) {
    Result begun;
    if (ready) {
      std::optional<LedgerStatus> down;
      begun = ExecAgainOnce("BEGIN", {}, &down);
      if (down) return *down;
    } else {
      begun = Exec("BEGIN");
    }
    if (!Succeeded(begun.get())) return Failure();
    bool commit = false;
    LedgerStatus status = body(commit);
    if (status.ok() || commit) {
      Result committed = Exec("COMMIT");
      if (Succeeded(committed.get())) return status;
      if (cut_off != nullptr && connection_.error().cut != pg::Cut::kServer) {
        *cut_off = true;
      }
      return Failure();
    }
    if (connection_.connected()) Exec("ROLLBACK");
    return status;
  }

  // A reservation whose commit was cut off: the caller was told it failed,
  // so its adapter was never written, and its MAC address is free again once
  // the server is reached.
  void RememberCutOff(std::string token, std::string time) {
    cut_off_token_ = std::move(token);
    cut_off_time_ = std::move(time);
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
    if (!Succeeded(result)) return Failure();
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
  // After a wait that ran out its time, the server is left alone for a
  // call's time.
  void NoteNoAnswer() {
    if (connection_.error().cut == pg::Cut::kTimedOut) {
      quiet_until_ = SteadyClock::now() + pg::kCallBudget;
    }
  }

  pg::Deadline Wait() const {
    return {deadline_, options_.stop_requested ? &options_.stop_requested
                                               : nullptr};
  }

  // The steps of a session on a new connection, in their order.
  std::optional<LedgerStatus> SetUp() {
    // The server gives up on a statement, a lock or a stalled transaction
    // before the station does, and notices a dead station by itself.
    Result set = Exec(
        "SET statement_timeout = " + std::to_string(pg::kStatementTimeoutMs) +
        "; SET lock_timeout = " + std::to_string(pg::kLockTimeoutMs) +
        "; SET idle_in_transaction_session_timeout = " +
        std::to_string(pg::kIdleInTransactionTimeoutMs) +
        "; SET tcp_keepalives_idle = " +
        std::to_string(pg::kServerKeepalivesIdleSeconds) +
        "; SET tcp_keepalives_interval = " +
        std::to_string(pg::kServerKeepalivesIntervalSeconds) +
        "; SET tcp_keepalives_count = " +
        std::to_string(pg::kServerKeepalivesCount) +
        "; SELECT backend_start::text FROM pg_stat_activity "
        "WHERE pid = pg_backend_pid()");
    if (!Succeeded(set.get())) return Failure();
    const std::string started =
        PQntuples(set.get()) == 1 ? Field(set.get(), 0, 0) : std::string();
    if (!migrated_) {
      LedgerStatus migrated = Migrate();
      if (!migrated.ok()) return migrated;
      migrated_ = true;
    }
    if (auto failed = Identify()) return failed;
    if (auto failed = EndOldSession()) return failed;
    backend_pid_ = connection_.backend_pid();
    backend_start_ = started;
    if (options_.hold_station_name) {
      if (auto failed = HoldName()) return failed;
    }
    return ReleaseCutOffReservation();
  }

  // Stations starting together: one creates or moves the schema on while
  // the others wait for its lock, then find it done.
  LedgerStatus Migrate() {
    Session& s = *this;
    const auto steps = pg::SchemaSteps();
    const auto refuse = [&s](const std::string& why) {
      return s.SettingsRejected(why);
    };
    return s.Transaction(
        [&](bool&) -> LedgerStatus {
          Result locked = s.Exec("SELECT pg_advisory_xact_lock($1)",
                                 {std::to_string(pg::kSchemaLockKey)});
          if (!Session::Succeeded(locked.get())) return s.Failure();
          Result found = s.Exec(
              "SELECT to_regclass('srom_schema') IS NOT NULL, "
              "to_regclass('srom_unit') IS NOT NULL");
          if (!Session::Succeeded(found.get())) return s.Failure();
          const bool versioned = Field(found.get(), 0, 0) == "t";
          if (!versioned) {
            if (Field(found.get(), 0, 1) == "t") {
              return refuse(
                  "the database holds a table srom_unit but no schema "
                  "version (not a production ledger of this tool)");
            }
            Result created = s.Exec(
                "CREATE TABLE srom_schema (version integer NOT NULL); "
                "INSERT INTO srom_schema VALUES (0)");
            if (!Session::Succeeded(created.get())) return s.Failure();
          }
          Result version = s.Exec("SELECT version FROM srom_schema");
          if (!Session::Succeeded(version.get())) return s.Failure();
          if (PQntuples(version.get()) != 1) {
            return refuse("its table srom_schema does not hold one version");
          }
          const auto known = static_cast<std::int64_t>(steps.size());
          const std::int64_t at = IntField(version.get(), 0, 0);
          if (at > known) {
            return refuse(
                "it was written by a newer version of srom-tool (ledger "
                "schema " +
                std::to_string(at) + ", this one knows up to " +
                std::to_string(known) + ")");
          }
          for (auto step = static_cast<std::size_t>(at); step < steps.size();
               ++step) {
            Result done = s.Exec(steps[step]);
            if (!Session::Succeeded(done.get())) return s.Failure();
            Result counted = s.Exec("UPDATE srom_schema SET version = $1",
                                    {std::to_string(step + 1)});
            if (!Session::Succeeded(counted.get())) return s.Failure();
          }
          return {};
        },
        nullptr, /*ready=*/false);
  }

  // Which database answers: its ledger id and its server's system
  // identifier. The first answer is kept; a different one later (the
  // address now leads to another database) stops the ledger for good, since
  // what it knows of its units, its name and its outbox belongs to the
  // first.
  std::optional<LedgerStatus> Identify() {
    Result read = Exec(
        "SELECT (SELECT id FROM srom_ledger_id), "
        "(SELECT system_identifier::text FROM pg_control_system())");
    if (!Succeeded(read.get()) && !Lost() &&
        connection_.error().cut == pg::Cut::kServer) {
      // A server that keeps its control data to itself: the ledger id
      // alone.
      read = Exec("SELECT (SELECT id FROM srom_ledger_id), '-'");
    }
    if (!Succeeded(read.get())) return Failure();
    const std::string identity =
        Field(read.get(), 0, 0) + "@" + Field(read.get(), 0, 1);
    if (identity_.empty()) {
      identity_ = identity;
    } else if (identity != identity_) {
      gone_ = SettingsRejected(
          "the address now leads to another ledger database (" + identity +
          ", not " + identity_ +
          " as when the station opened); start the station again");
      return *gone_;
    }
    return std::nullopt;
  }

  // Ends on the server the session of the connection this one replaces, and
  // waits until it has ended: its transaction (a reservation cut off at its
  // commit) is then settled one way or the other, and its locks (the
  // station's name) are free.
  std::optional<LedgerStatus> EndOldSession() {
    if (old_backend_pid_ == 0) return std::nullopt;
    const std::string pid = std::to_string(old_backend_pid_);
    Result ended = Exec(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
        "WHERE pid = $1 AND backend_start::text = $2",
        {pid, old_backend_start_});
    if (!Succeeded(ended.get()) && Lost()) return Failure();
    for (;;) {
      Result left = Exec(
          "SELECT count(*) FROM pg_stat_activity "
          "WHERE pid = $1 AND backend_start::text = $2",
          {pid, old_backend_start_});
      if (!Succeeded(left.get())) return Failure();
      if (IntField(left.get(), 0, 0) == 0) break;
      if (SteadyClock::now() + kLookAgain >= deadline_) return NoAnswer();
      std::this_thread::sleep_for(kLookAgain);
    }
    old_backend_pid_ = 0;
    old_backend_start_.clear();
    return std::nullopt;
  }

  // Takes the station's name on the line for as long as this session
  // lives, and says who holds it: or refuses, naming the station that holds
  // it already.
  std::optional<LedgerStatus> HoldName() {
    const std::string key = std::string(kStationLockPrefix) + station_;
    const SteadyClock::time_point give_up =
        std::min(deadline_, SteadyClock::now() + kNameWait);
    for (;;) {
      Result taken = Exec(
          "SELECT pg_try_advisory_lock(hashtextextended($1, 0))", {key});
      if (!Succeeded(taken.get())) return Failure();
      if (Field(taken.get(), 0, 0) == "t") break;
      if (SteadyClock::now() + kLookAgain >= give_up) return NameInUse();
      std::this_thread::sleep_for(kLookAgain);
    }
    Result noted = Exec(
        "INSERT INTO srom_station AS s (name, computer, pid, since) "
        "VALUES ($1, $2, $3, now()) ON CONFLICT (name) DO UPDATE SET "
        "computer = EXCLUDED.computer, pid = EXCLUDED.pid, since = CASE "
        "WHEN s.computer = EXCLUDED.computer AND s.pid = EXCLUDED.pid "
        "THEN s.since ELSE EXCLUDED.since END",
        {station_, options_.computer, std::to_string(ThisProcess())});
    if (!Succeeded(noted.get())) return Failure();
    return std::nullopt;
  }

  LedgerStatus NameInUse() {
    Result holder = Exec(
        "SELECT computer, pid, extract(epoch FROM since)::bigint "
        "FROM srom_station WHERE name = $1",
        {station_});
    if (!Succeeded(holder.get())) return Failure();
    std::string who = "another station";
    if (PQntuples(holder.get()) == 1) {
      who = "computer \"" + Field(holder.get(), 0, 0) + "\" (process " +
            Field(holder.get(), 0, 1) + ") since " +
            LocalTimeText(IntField(holder.get(), 0, 2));
    }
    return LedgerStatus::Failed(
        LedgerFault::kStationInUse,
        "Station \"" + station_ + "\" is open already on the line's ledger " +
            where_ + ", on " + who +
            ". One name is one station: a second one under it would take "
            "the first one's units for interrupted. Close that station, or "
            "give this one a name of its own (\"station=\" in station.ini, "
            "or --station).");
  }

  std::optional<LedgerStatus> ReleaseCutOffReservation() {
    if (cut_off_token_.empty()) return std::nullopt;
    Result released = Exec(
        "UPDATE srom_unit SET state = 'released', closed_at = $2 "
        "WHERE token = $1 AND state IN ('reserved', 'interrupted')",
        {cut_off_token_, cut_off_time_});
    if (!Succeeded(released.get())) return Failure();
    cut_off_token_.clear();
    return std::nullopt;
  }

  std::string url_;
  std::string station_;
  PgLedgerOptions options_;
  std::string where_;
  pg::Connection connection_;
  SteadyClock::time_point deadline_ = SteadyClock::now() + pg::kCallBudget;
  // Until then a new connection is not tried: the server let the last call
  // run out its time.
  SteadyClock::time_point quiet_until_{};
  bool set_up_ = false;
  bool migrated_ = false;
  std::string identity_;
  // Set when the ledger cannot go on at all (another database answers).
  std::optional<LedgerStatus> gone_;
  // The server's process of the current session, and of the one it
  // replaces until that has ended there.
  int backend_pid_ = 0;
  std::string backend_start_;
  int old_backend_pid_ = 0;
  std::string old_backend_start_;
  std::string cut_off_token_;
  std::string cut_off_time_;
};

PgLedger::PgLedger(std::unique_ptr<Session> session)
    : session_(std::move(session)) {}

PgLedger::~PgLedger() = default;

const std::string& PgLedger::where() const { return session_->where(); }

std::string PgLedger::LedgerIdentity() const { return session_->identity(); }

LedgerResult<std::unique_ptr<PgLedger>> PgLedger::Open(
    const std::string& url, const std::string& station,
    PgLedgerOptions how) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQconninfoFree(options);
  if (options == nullptr) {
    std::string cause = error != nullptr ? FirstLine(error) : "out of memory";
    PQfreemem(error);
    return LedgerStatus::Failed(
        LedgerFault::kSettingsRejected,
        "The address of the line's production ledger \"" +
            RedactedLedgerAddress(url) +
            "\" cannot be used: " + WithoutLedgerSecrets(cause, url) + ".");
  }
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
          if (!Session::Succeeded(pool.get())) return s.Failure();
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
            if (!Session::Succeeded(moved.get())) return s.Failure();
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
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
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
  if (!Session::Succeeded(closed.get())) return s.Failure();
  if (std::string(PQcmdTuples(closed.get())) == "1") return {};
  return s.Unchanged(unit, state);
}

LedgerStatus PgLedger::MarkSettingsSaved(std::int64_t id) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  const std::string unit = std::to_string(id);
  std::optional<LedgerStatus> down;
  Result saved = s.ExecAgainOnce(
      "UPDATE srom_unit SET settings_saved = true WHERE id = $1 "
      "AND state IN ('programmed', 'interrupted')",
      {unit}, &down);
  if (down) return *down;
  if (!Session::Succeeded(saved.get())) return s.Failure();
  if (std::string(PQcmdTuples(saved.get())) == "1") return {};
  return s.Unchanged(unit, "with its settings saved");
}

LedgerResult<std::vector<UnitRecord>> PgLedger::RecoverInterrupted(
    const std::string& time) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::TimeFault(time)) return s.Refused(*fault);
  // In a transaction of its own: a server that stops answering in the
  // middle then takes none of it when it goes on, and the next call finds
  // the units, and tells them, again.
  LedgerResult<std::vector<UnitRecord>> recovered;
  const LedgerStatus done = s.Transaction([&](bool&) -> LedgerStatus {
    recovered = s.ReadRecords(
        s.Exec("UPDATE srom_unit SET state = 'interrupted', closed_at = $1 "
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
    return s.Refused(*fault);
  }
  return s.OneRecord(
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE mac = $1 AND state IN ('programmed', "
          "'interrupted', 'failed') ORDER BY id DESC LIMIT 1",
      {mac});
}

LedgerResult<std::optional<UnitRecord>> PgLedger::LatestUsed() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return s.OneRecord(
      "SELECT " + std::string(kColumns) +
          " FROM srom_unit WHERE station = $1 AND state IN ('programmed', "
          "'interrupted') ORDER BY id DESC LIMIT 1",
      {s.station()});
}

LedgerResult<std::vector<UnitRecord>> PgLedger::Units() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return s.Records(
      "SELECT " + std::string(kColumns) + " FROM srom_unit ORDER BY id", {});
}

LedgerResult<std::optional<UnitRecord>> PgLedger::Unit(std::int64_t id) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  return s.OneRecord("SELECT " + std::string(kColumns) +
                         " FROM srom_unit WHERE id = $1",
                     {std::to_string(id)});
}

LedgerResult<PoolState> PgLedger::Pool(const std::string& name) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::PoolNameFault(name)) return s.Refused(*fault);
  std::optional<LedgerStatus> down;
  Result pool = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "WHERE name = $1",
      {name}, &down);
  if (down) return *down;
  if (!Session::Succeeded(pool.get())) return s.Failure();
  if (PQntuples(pool.get()) == 0) {
    return s.Refused("the pool \"" + name + "\": there is no such pool");
  }
  return ReadPool(pool.get(), 0);
}

LedgerResult<std::vector<PoolState>> PgLedger::Pools() {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  std::optional<LedgerStatus> down;
  Result pools = s.ExecAgainOnce(
      "SELECT name, first_mac, last_mac, increment, next_mac FROM srom_pool "
      "ORDER BY name",
      {}, &down);
  if (down) return *down;
  if (!Session::Succeeded(pools.get())) return s.Failure();
  std::vector<PoolState> all;
  for (int row = 0; row < PQntuples(pools.get()); ++row) {
    all.push_back(ReadPool(pools.get(), row));
  }
  return all;
}

LedgerStatus PgLedger::CreatePool(const PoolState& pool) {
  Session& s = session_->Begin();
  if (auto down = s.Ready()) return *down;
  if (auto fault = ledger_rules::PoolFault(pool)) return s.Refused(*fault);
  const std::string first = std::to_string(MacValue(pool.first));
  const std::string last = std::to_string(MacValue(pool.last));
  return s.Transaction([&](bool&) -> LedgerStatus {
    // Pools whose ranges overlap would hand out the same addresses; the
    // lock keeps two stations from making two such pools at once.
    Result locked =
        s.Exec("LOCK TABLE srom_pool IN SHARE ROW EXCLUSIVE MODE");
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
    if (!Session::Succeeded(created.get())) return s.Failure();
    return {};
  });
}

}  // namespace srom
