#include "ledger/pg_session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "ledger/ledger_address.h"
#include "ledger/pg_schema.h"

namespace srom::pg {
namespace {

// SQLSTATE read_only_sql_transaction: a write sent to a standby.
constexpr std::string_view kReadOnlyTransaction = "25006";

using namespace std::chrono_literals;

// What a station's name is hashed with into the key of the advisory lock
// that holds it: no other lock of the tool's is taken on such a key.
constexpr std::string_view kStationLockPrefix = "srom-tool station ";

// How long a station waits for its name: the session of a station that has
// just ended (or been killed) frees it within milliseconds.
constexpr auto kNameWait = 1500ms;
// How often a wait for a session or a name looks again.
constexpr auto kLookAgain = 50ms;

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

std::string Field(const PGresult* result, int row, int column) {
  return PQgetvalue(result, row, column);
}

std::int64_t IntField(const PGresult* result, int row, int column) {
  return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

std::optional<LedgerStatus> UnusableAddress(const std::string& url) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQconninfoFree(options);
  if (options != nullptr) return std::nullopt;
  std::string cause = error != nullptr ? FirstLine(error) : "out of memory";
  PQfreemem(error);
  return LedgerStatus::Failed(
      LedgerFault::kSettingsRejected,
      "The address of the line's production ledger \"" +
          RedactedLedgerAddress(url) +
          "\" cannot be used: " + WithoutLedgerSecrets(cause, url) + ".");
}

Session::Session(std::string url, std::string station, PgLedgerOptions options)
    : url_(std::move(url)),
      station_(std::move(station)),
      options_(std::move(options)) {
  const std::string database = OptionOf(url_, "dbname");
  const std::string service = OptionOf(url_, "service");
  std::string host = OptionOf(url_, "host");
  if (host.empty()) host = "the local server";
  // libpq's reading of an address can put part of a password elsewhere
  // (an unencoded '@' makes the host); the secret stays out all the same.
  where_ = WithoutLedgerSecrets(database.empty() && !service.empty()
                                    ? "(service \"" + service + "\")"
                                    : "(database \"" +
                                          (database.empty() ? "?" : database) +
                                          "\" on " + host + ")",
                                url_);
}

Session& Session::Begin() {
  deadline_ = SteadyClock::now() + kCallBudget;
  return *this;
}

std::optional<LedgerStatus> Session::Ready() {
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

Result Session::Exec(std::string_view sql,
                     std::initializer_list<std::string> params) {
  Result result = connection_.Exec(sql, params, Wait());
  NoteNoAnswer();
  return result;
}

Result Session::ExecAgainOnce(std::string_view sql,
                              std::initializer_list<std::string> params,
                              std::optional<LedgerStatus>* failed) {
  *failed = Ready();
  if (*failed) return nullptr;
  Result result = Exec(sql, params);
  if (!Succeeded(result.get()) && Lost()) {
    *failed = Ready();
    if (*failed) return nullptr;
    result = Exec(sql, params);
  }
  if (!Succeeded(result.get())) *failed = Failure();
  return result;
}

bool Session::Succeeded(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return result != nullptr &&
         (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

bool Session::Lost() const {
  const ConnectionError& e = connection_.error();
  return e.cut == Cut::kLost ||
         (e.cut == Cut::kServer && IsConnectionState(e.sqlstate));
}

LedgerStatus Session::Failure() {
  // libpq may quote the address, password and all, in its own text.
  ConnectionError e = connection_.error();
  e.text = WithoutLedgerSecrets(e.text, url_);
  switch (e.cut) {
    case Cut::kTimedOut:
      return NoAnswer();
    case Cut::kStopped:
      return LedgerStatus::Failed(
          LedgerFault::kUnreachable,
          "The wait for the line's production ledger " + where_ +
              " was stopped before it answered. No unit is programmed "
              "until it answers.");
    case Cut::kNone:
    case Cut::kLost:
      return Unreachable(e.text);
    case Cut::kUntrusted:
      return Untrusted(e.text);
    case Cut::kServer:
      break;
  }
  if (IsConnectionState(e.sqlstate)) return Unreachable(e.text);
  if (IsTimeoutState(e.sqlstate)) {
    return Unreachable("it is too busy to answer in time (" + e.text + ")");
  }
  if (IsSettingsState(e.sqlstate)) return SettingsRejected(e.text);
  // A standby answered (an address without target_session_attrs=read-write
  // takes whichever server answers first): it takes no write until it is
  // promoted, and the station waits for that as for a server away.
  if (e.sqlstate == kReadOnlyTransaction) {
    return Unreachable("the server that answered, " + server() +
                       ", is a standby and takes no unit until it is promoted "
                       "(an address naming both servers with "
                       "target_session_attrs=read-write finds the primary)");
  }
  return LedgerStatus::Failed(
      LedgerFault::kStorage,
      "The line's production ledger " + where_ + " failed: " + e.text + ".");
}

LedgerStatus Session::Unreachable(std::string cause) const {
  if (cause.empty()) cause = "the connection was lost";
  return LedgerStatus::Failed(
      LedgerFault::kUnreachable,
      "The line's production ledger " + where_ +
          " cannot be reached: " + cause +
          ". No unit is programmed until it answers; every unit tries it "
          "again.");
}

LedgerStatus Session::NoAnswer() const {
  return LedgerStatus::Failed(
      LedgerFault::kUnreachable,
      "The line's production ledger " + where_ +
          " does not answer: nothing came back within " + Seconds(kCallBudget) +
          " s (the server or its network hangs, or it waits for a "
          "synchronous standby that is away). No unit is programmed until it "
          "answers; every unit tries it again.");
}

LedgerStatus Session::Untrusted(const std::string& cause) const {
  return LedgerStatus::Failed(
      LedgerFault::kSettingsRejected,
      "The line's production ledger " + where_ + " is not trusted: " + cause +
          ". No unit is programmed until its TLS certificate verifies as the "
          "station's settings ask (sslmode, sslrootcert, sslcert and sslkey "
          "of \"ledger=\" in station.ini or --ledger).");
}

LedgerStatus Session::SettingsRejected(const std::string& cause) const {
  return LedgerStatus::Failed(
      LedgerFault::kSettingsRejected,
      "The settings of the line's production ledger are rejected by the "
      "server " +
          where_ + ": " + cause +
          ". No unit is programmed until they are corrected (\"ledger=\" "
          "in station.ini or --ledger, or the server's own settings).");
}

LedgerStatus Session::Transaction(const Body& body, bool* cut_off, bool ready) {
  Result begun;
  if (ready) {
    std::optional<LedgerStatus> failed;
    begun = ExecAgainOnce("BEGIN", {}, &failed);
    if (failed) return *failed;
  } else {
    begun = Exec("BEGIN");
  }
  if (!Succeeded(begun.get())) return Failure();
  bool commit = false;
  LedgerStatus status = body(commit);
  if (status.ok() || commit) {
    Result committed = Exec("COMMIT");
    if (Succeeded(committed.get())) return status;
    if (cut_off != nullptr && connection_.error().cut != Cut::kServer) {
      *cut_off = true;
    }
    return Failure();
  }
  if (connection_.connected()) Exec("ROLLBACK");
  return status;
}

void Session::RememberCutOff(std::string token, std::string time) {
  cut_off_token_ = std::move(token);
  cut_off_time_ = std::move(time);
}

void Session::NoteNoAnswer() {
  if (connection_.error().cut == Cut::kTimedOut) {
    quiet_until_ = SteadyClock::now() + kCallBudget;
  }
}

Deadline Session::Wait() const {
  return {deadline_,
          options_.stop_requested ? &options_.stop_requested : nullptr};
}

std::optional<LedgerStatus> Session::SetUp() {
  // The server gives up on a statement, a lock or a stalled transaction
  // before the station does, and notices a dead station by itself.
  Result set = Exec(
      "SET statement_timeout = " + std::to_string(kStatementTimeoutMs) +
      "; SET lock_timeout = " + std::to_string(kLockTimeoutMs) +
      "; SET idle_in_transaction_session_timeout = " +
      std::to_string(kIdleInTransactionTimeoutMs) +
      "; SET tcp_keepalives_idle = " +
      std::to_string(kServerKeepalivesIdleSeconds) +
      "; SET tcp_keepalives_interval = " +
      std::to_string(kServerKeepalivesIntervalSeconds) +
      "; SET tcp_keepalives_count = " + std::to_string(kServerKeepalivesCount) +
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
LedgerStatus Session::Migrate() {
  Session& s = *this;
  const auto steps = SchemaSteps();
  const auto refuse = [&s](const std::string& why) {
    return s.SettingsRejected(why);
  };
  return s.Transaction(
      [&](bool&) -> LedgerStatus {
        Result locked = s.Exec("SELECT pg_advisory_xact_lock($1)",
                               {std::to_string(kSchemaLockKey)});
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
std::optional<LedgerStatus> Session::Identify() {
  Result read = Exec(
      "SELECT (SELECT id FROM srom_ledger_id), "
      "(SELECT system_identifier::text FROM pg_control_system())");
  if (!Succeeded(read.get()) && !Lost() &&
      connection_.error().cut == Cut::kServer) {
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
std::optional<LedgerStatus> Session::EndOldSession() {
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
std::optional<LedgerStatus> Session::HoldName() {
  const std::string key = std::string(kStationLockPrefix) + station_;
  const SteadyClock::time_point give_up =
      std::min(deadline_, SteadyClock::now() + kNameWait);
  for (;;) {
    Result taken =
        Exec("SELECT pg_try_advisory_lock(hashtextextended($1, 0))", {key});
    if (!Succeeded(taken.get())) return Failure();
    if (Field(taken.get(), 0, 0) == "t") break;
    if (SteadyClock::now() + kLookAgain >= give_up) return NameInUse();
    std::this_thread::sleep_for(kLookAgain);
  }
  return CommitWithoutStandby(
      "INSERT INTO srom_station AS s (name, computer, pid, since) "
      "VALUES ($1, $2, $3, now()) ON CONFLICT (name) DO UPDATE SET "
      "computer = EXCLUDED.computer, pid = EXCLUDED.pid, since = CASE "
      "WHEN s.computer = EXCLUDED.computer AND s.pid = EXCLUDED.pid "
      "THEN s.since ELSE EXCLUDED.since END",
      {station_, options_.computer, std::to_string(ThisProcess())});
}

// The session's own bookkeeping commits without waiting for a synchronous
// standby: a failover that loses it loses nothing a unit relies on (the
// name is taken again on the new primary; a reservation not given back
// stays held there, and is set aside), and a standby that is away keeps no
// station from opening and saying so. SET LOCAL ends with the transaction,
// whatever becomes of it: a unit's own commits always wait.
std::optional<LedgerStatus> Session::CommitWithoutStandby(
    std::string_view sql, std::initializer_list<std::string> params) {
  const LedgerStatus done = Transaction(
      [&](bool&) -> LedgerStatus {
        Result local = Exec("SET LOCAL synchronous_commit = local");
        if (!Succeeded(local.get())) return Failure();
        Result changed = Exec(sql, params);
        if (!Succeeded(changed.get())) return Failure();
        return {};
      },
      nullptr, /*ready=*/false);
  if (!done.ok()) return done;
  return std::nullopt;
}

LedgerStatus Session::NameInUse() {
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

std::optional<LedgerStatus> Session::ReleaseCutOffReservation() {
  if (cut_off_token_.empty()) return std::nullopt;
  if (auto failed = CommitWithoutStandby(
          "UPDATE srom_unit SET state = 'released', closed_at = $2 "
          "WHERE token = $1 AND state IN ('reserved', 'interrupted')",
          {cut_off_token_, cut_off_time_})) {
    return failed;
  }
  cut_off_token_.clear();
  return std::nullopt;
}

}  // namespace srom::pg
