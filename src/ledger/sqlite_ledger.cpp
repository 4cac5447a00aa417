#include "ledger/sqlite_ledger.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "ledger/ledger_rules.h"
#include "ledger/sqlite_handles.h"
#include "ledger/sqlite_schema.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using sqlite::Cause;
using sqlite::Run;
using sqlite::StorageError;

// The columns ReadRecord() reads, in its order.
constexpr std::string_view kColumns =
    "id, mac, serial, device_sel, image_digest, station, reserved_at, "
    "closed_at, state, settings_saved";

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

LedgerStatus Storage(const fs::path& file, std::string_view verb,
                     std::string_view cause) {
  return LedgerStatus::Failed(LedgerFault::kStorage,
                              StorageError(file, verb, cause));
}

LedgerStatus Refused(const fs::path& file, std::string_view what) {
  return LedgerStatus::Failed(LedgerFault::kRejected,
                              "The production ledger " + file.string() +
                                  " refuses " + std::string(what) + ".");
}

std::optional<LedgerStatus> Refusal(const fs::path& file,
                                    const std::optional<std::string>& fault) {
  if (!fault) return std::nullopt;
  return Refused(file, *fault);
}

std::optional<LedgerStatus> CheckTime(const fs::path& file,
                                      const std::string& time) {
  return Refusal(file, ledger_rules::TimeFault(time));
}

// False for a state the tool does not know: a file edited by hand.
bool ReadRecord(const Run& run, UnitRecord* record) {
  record->id = run.Int(0);
  record->mac = run.Text(1);
  record->serial = run.Text(2);
  record->device_sel = static_cast<int>(run.Int(3));
  record->image_digest = run.Text(4);
  record->station = run.Text(5);
  record->reserved_at = run.Text(6);
  record->closed_at = run.Text(7);
  record->settings_saved = run.Int(9) != 0;
  const std::optional<UnitState> state = UnitStateFromName(run.Text(8));
  if (state) record->state = *state;
  return state.has_value();
}

LedgerStatus UnknownState(const fs::path& file, const UnitRecord& record) {
  return Storage(file, "read",
                 "the database is corrupt (unit " + std::to_string(record.id) +
                     " has a state the tool does not know)");
}

}  // namespace

struct SqliteLedger::Connection {
  sqlite::Database db;
  sqlite::Statement begin, commit, rollback;
  sqlite::Statement mac_holder, insert, to_programmed, to_released,
      to_failed, to_interrupted,
      settings_saved, state_of, recover, find_used, latest_used, units;

  // Prepares every statement the calls run; SQLITE_OK or the first error.
  int PrepareAll() {
    const std::string select = "SELECT " + std::string(kColumns) + " FROM unit";
    const std::pair<sqlite::Statement*, std::string> statements[] = {
        {&mac_holder, select + " WHERE mac = ?1 AND state <> 'released' "
                               "ORDER BY id DESC LIMIT 1"},
        {&insert,
         "INSERT INTO unit (mac, serial, device_sel, image_digest, station, "
         "reserved_at, state) VALUES (?1, ?2, ?3, ?4, ?5, ?6, 'reserved')"},
        {&to_programmed,
         "UPDATE unit SET state = 'programmed', closed_at = ?2 WHERE id = ?1 "
         "AND state IN ('reserved', 'interrupted')"},
        {&to_released,
         "UPDATE unit SET state = 'released', closed_at = ?2 WHERE id = ?1 "
         "AND state IN ('reserved', 'interrupted')"},
        {&to_failed,
         "UPDATE unit SET state = 'failed', closed_at = ?2 WHERE id = ?1 "
         "AND state IN ('reserved', 'interrupted')"},
        {&to_interrupted,
         "UPDATE unit SET state = 'interrupted', closed_at = ?2 WHERE id = ?1 "
         "AND state IN ('reserved', 'failed')"},
        {&settings_saved,
         "UPDATE unit SET settings_saved = 1 WHERE id = ?1 "
         "AND state IN ('programmed', 'interrupted')"},
        {&state_of, "SELECT state FROM unit WHERE id = ?1"},
        {&recover,
         "UPDATE unit SET state = 'interrupted', closed_at = ?1 "
         "WHERE state = 'reserved' RETURNING " +
             std::string(kColumns)},
        {&find_used, select + " WHERE mac = ?1 AND state IN ('programmed', "
                              "'interrupted', 'failed') ORDER BY id DESC "
                              "LIMIT 1"},
        {&latest_used, select + " WHERE state IN ('programmed', 'interrupted') "
                                "ORDER BY id DESC LIMIT 1"},
        {&units, select + " ORDER BY id"},
    };
    for (const auto& [statement, sql] : statements) {
      int rc = SQLITE_OK;
      *statement = sqlite::Prepare(db.get(), sql, &rc);
      if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
  }

  int PrepareTransactions() {
    int rc = SQLITE_OK;
    // IMMEDIATE takes the write lock at once, waiting for it under the busy
    // timeout: a read that later turned into a write could not wait and
    // would fail with "database is locked" instead.
    begin = sqlite::Prepare(db.get(), "BEGIN IMMEDIATE", &rc);
    if (rc == SQLITE_OK) commit = sqlite::Prepare(db.get(), "COMMIT", &rc);
    if (rc == SQLITE_OK) rollback = sqlite::Prepare(db.get(), "ROLLBACK", &rc);
    return rc;
  }

  // Runs `body` in one write transaction; rolls back when the body or the
  // commit fails.
  template <class Body>
  LedgerStatus Write(const fs::path& file, Body body) {
    int rc = Run(begin.get()).Step();
    if (rc != SQLITE_DONE) {
      return Storage(file, "written", Cause(db.get(), file, rc));
    }
    LedgerStatus status = body();
    if (status.ok()) {
      rc = Run(commit.get()).Step();
      if (rc == SQLITE_DONE) return status;
      status = Storage(file, "written", Cause(db.get(), file, rc));
    }
    // SQLite may have rolled back already (a full disk does that).
    if (sqlite3_get_autocommit(db.get()) == 0) Run(rollback.get()).Step();
    return status;
  }

  // Why `id` did not change: there is no such unit, or its state forbids it.
  LedgerStatus Unchanged(const fs::path& file, std::int64_t id,
                         std::string_view change) {
    Run run(state_of.get());
    run.Bind(id);
    const int rc = run.Step();
    const std::string unit = "unit " + std::to_string(id);
    if (rc == SQLITE_DONE) {
      return Refused(file, unit + ": there is no such unit");
    }
    if (rc != SQLITE_ROW) {
      return Storage(file, "read", Cause(db.get(), file, rc));
    }
    return Refused(file, "to mark " + unit + " " + std::string(change) +
                             ": it is " + run.Text(0));
  }

  // One row or none from `run`.
  LedgerResult<std::optional<UnitRecord>> ReadOne(const fs::path& file,
                                                  Run& run) {
    const int rc = run.Step();
    if (rc == SQLITE_DONE) return std::optional<UnitRecord>();
    if (rc != SQLITE_ROW) {
      return Storage(file, "read", Cause(db.get(), file, rc));
    }
    UnitRecord record;
    if (!ReadRecord(run, &record)) return UnknownState(file, record);
    return std::optional<UnitRecord>(std::move(record));
  }
};

SqliteLedger::SqliteLedger(fs::path file,
                           std::unique_ptr<Connection> connection)
    : file_(std::move(file)), connection_(std::move(connection)) {}

SqliteLedger::~SqliteLedger() = default;

namespace {

struct Identity {
  std::int64_t application_id = 0;
  std::int64_t user_version = 0;
  std::int64_t schema_objects = 0;
};

int ReadIdentity(sqlite3* db, Identity* identity) {
  int rc = SQLITE_OK;
  const sqlite::Statement statement = sqlite::Prepare(
      db,
      "SELECT (SELECT application_id FROM pragma_application_id), "
      "(SELECT user_version FROM pragma_user_version), "
      "(SELECT count(*) FROM sqlite_schema)",
      &rc);
  if (rc != SQLITE_OK) return rc;
  Run run(statement.get());
  rc = run.Step();
  if (rc != SQLITE_ROW) return rc;
  *identity = {run.Int(0), run.Int(1), run.Int(2)};
  return SQLITE_OK;
}

// Why a file is not one this tool may open and write, or nothing.
std::optional<std::string> Foreign(const Identity& identity) {
  const auto known = static_cast<std::int64_t>(sqlite::SchemaSteps().size());
  if (identity.application_id == sqlite::kLedgerApplicationId) {
    if (identity.user_version <= known) return std::nullopt;
    return "it was written by a newer version of srom-tool (ledger schema " +
           std::to_string(identity.user_version) + ", this one knows up to " +
           std::to_string(known) + ")";
  }
  // A new file, or one with nothing in it.
  if (identity.application_id == 0 && identity.user_version == 0 &&
      identity.schema_objects == 0) {
    return std::nullopt;
  }
  return std::string(
      "it is not a production ledger (another program's "
      "database)");
}

// The text of the single row of a PRAGMA, or the error code.
int PragmaText(sqlite3* db, std::string_view pragma, std::string* text) {
  int rc = SQLITE_OK;
  const sqlite::Statement statement = sqlite::Prepare(db, pragma, &rc);
  if (rc != SQLITE_OK) return rc;
  Run run(statement.get());
  rc = run.Step();
  if (rc != SQLITE_ROW) return rc;
  *text = run.Text(0);
  return SQLITE_OK;
}

}  // namespace

LedgerResult<std::unique_ptr<SqliteLedger>> SqliteLedger::Open(
    const fs::path& file, std::chrono::milliseconds busy_timeout) {
  const auto refuse = [&file](std::string_view cause) {
    return Storage(file, "opened", cause);
  };
  auto connection = std::make_unique<Connection>();
  sqlite3* raw = nullptr;
  // NOFOLLOW: a link planted under the ledger's name would keep the units
  // in whatever file it leads to; the tool writes no station file through
  // a link.
  int rc = sqlite3_open_v2(Utf8(file).c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                               SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
  connection->db.reset(raw);
  sqlite3* db = raw;
  if (rc == SQLITE_CANTOPEN_SYMLINK) {
    return refuse(
        "it is a symbolic link, and the tool never writes through one. "
        "Remove the link; a station's files must be plain files in its "
        "folder");
  }
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  sqlite3_busy_timeout(db, static_cast<int>(busy_timeout.count()));
  // SQLite falls back to reading a file it may not write.
  if (sqlite3_db_readonly(db, "main") == 1) {
    return refuse(Cause(db, file, SQLITE_READONLY));
  }

  // Nothing is written before the file is known to be ours or new.
  Identity identity;
  rc = ReadIdentity(db, &identity);
  if ((rc & 0xFF) == SQLITE_NOTADB) {
    return refuse("it is not a production ledger (not a database at all)");
  }
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  if (auto foreign = Foreign(identity)) return refuse(*foreign);
  std::string check;
  rc = PragmaText(db, "PRAGMA quick_check(1)", &check);
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  if (check != "ok") {
    // One line for the operator: SQLite heads its report with the schema
    // name and breaks it into lines.
    constexpr std::string_view kHeading = "*** in database main ***\n";
    if (check.rfind(kHeading, 0) == 0) check.erase(0, kHeading.size());
    std::replace(check.begin(), check.end(), '\n', ' ');
    return refuse("the database is corrupt (" + check + ")");
  }

  // The write-ahead log lets readers go on while one process writes, and
  // FULL flushes it at every commit: a committed row survives a power cut.
  std::string journal_mode;
  rc = PragmaText(db, "PRAGMA journal_mode = WAL", &journal_mode);
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  if (journal_mode != "wal") {
    return refuse(
        "its folder's file system cannot hold SQLite's "
        "write-ahead log (a network folder?)");
  }
  rc = sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  rc = connection->PrepareTransactions();
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));

  // Another process may have created or moved the schema on since the look
  // above: look again under the write lock, then add the missing steps.
  const auto steps = sqlite::SchemaSteps();
  LedgerStatus migrated = connection->Write(file, [&]() -> LedgerStatus {
    int step_rc = ReadIdentity(db, &identity);
    if (step_rc != SQLITE_OK) return refuse(Cause(db, file, step_rc));
    if (auto foreign = Foreign(identity)) return refuse(*foreign);
    for (auto step = static_cast<std::size_t>(identity.user_version);
         step < steps.size(); ++step) {
      step_rc = sqlite3_exec(db, std::string(steps[step]).c_str(), nullptr,
                             nullptr, nullptr);
      // PRAGMA takes no bound parameters; the number is the tool's own.
      const std::string version =
          "PRAGMA user_version = " + std::to_string(step + 1);
      if (step_rc == SQLITE_OK) {
        step_rc = sqlite3_exec(db, version.c_str(), nullptr, nullptr, nullptr);
      }
      if (step_rc != SQLITE_OK) return refuse(Cause(db, file, step_rc));
    }
    return {};
  });
  if (!migrated.ok()) return migrated;

  rc = connection->PrepareAll();
  if (rc != SQLITE_OK) return refuse(Cause(db, file, rc));
  return std::unique_ptr<SqliteLedger>(
      new SqliteLedger(file, std::move(connection)));
}

LedgerResult<std::int64_t> SqliteLedger::Reserve(const UnitDraft& draft) {
  if (auto refusal = Refusal(file_, ledger_rules::DraftFault(draft))) {
    return *refusal;
  }
  if (!draft.pool.empty()) return NoLinePools();
  Connection& c = *connection_;
  std::int64_t id = 0;
  LedgerStatus status = c.Write(file_, [&]() -> LedgerStatus {
    {
      // The latest unit holding the address: the one being written with it
      // when there is one, since the file keeps one reserved row per address
      // and a reservation comes after every unit before it.
      Run run(c.mac_holder.get());
      run.Bind(draft.mac);
      const auto holder = c.ReadOne(file_, run);
      if (!holder.ok()) return holder.status();
      // A station's own file (not LineWide()) compares no station names:
      // every row in it was written in this station's folder, under the
      // name the station had then, and a station renamed in station.ini
      // still reworks its own units.
      if (*holder.value &&
          !ledger_rules::MayReissue(draft, **holder.value, LineWide())) {
        const UnitRecord& unit = **holder.value;
        return LedgerStatus::Failed(
            LedgerFault::kMacInUse,
            "The production ledger " + file_.string() +
                " refuses MAC address " + draft.mac + ": unit " +
                std::to_string(unit.id) + " holds it (" +
                std::string(UnitStateName(unit.state)) + ").");
      }
    }
    Run insert(c.insert.get());
    insert.Bind(draft.mac)
        .Bind(draft.serial)
        .Bind(std::int64_t{draft.device_sel})
        .Bind(draft.image_digest)
        .Bind(draft.station)
        .Bind(draft.time);
    const int rc = insert.Step();
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
      return Refused(file_,
                     std::string("the unit: ") + sqlite3_errmsg(c.db.get()));
    }
    if (rc != SQLITE_DONE) {
      return Storage(file_, "written", Cause(c.db.get(), file_, rc));
    }
    id = sqlite3_last_insert_rowid(c.db.get());
    return {};
  });
  if (!status.ok()) return status;
  return id;
}

LedgerStatus SqliteLedger::MarkProgrammed(std::int64_t id,
                                          const std::string& time) {
  return Close(id, time, UnitState::kProgrammed);
}

LedgerStatus SqliteLedger::Release(std::int64_t id, const std::string& time) {
  return Close(id, time, UnitState::kReleased);
}

LedgerStatus SqliteLedger::MarkFailed(std::int64_t id,
                                      const std::string& time) {
  return Close(id, time, UnitState::kFailed);
}

LedgerStatus SqliteLedger::SetAside(std::int64_t id, const std::string& time) {
  return Close(id, time, UnitState::kInterrupted);
}

LedgerStatus SqliteLedger::Close(std::int64_t id, const std::string& time,
                                 UnitState to) {
  if (auto refusal = CheckTime(file_, time)) return *refusal;
  Connection& c = *connection_;
  return c.Write(file_, [&]() -> LedgerStatus {
    sqlite3_stmt* statement = c.to_released.get();
    if (to == UnitState::kProgrammed) statement = c.to_programmed.get();
    if (to == UnitState::kFailed) statement = c.to_failed.get();
    if (to == UnitState::kInterrupted) statement = c.to_interrupted.get();
    {
      Run run(statement);
      run.Bind(id).Bind(time);
      const int rc = run.Step();
      if (rc != SQLITE_DONE) {
        return Storage(file_, "written", Cause(c.db.get(), file_, rc));
      }
    }
    if (sqlite3_changes64(c.db.get()) == 1) return {};
    return c.Unchanged(file_, id, UnitStateName(to));
  });
}

LedgerStatus SqliteLedger::MarkSettingsSaved(std::int64_t id) {
  Connection& c = *connection_;
  return c.Write(file_, [&]() -> LedgerStatus {
    {
      Run run(c.settings_saved.get());
      run.Bind(id);
      const int rc = run.Step();
      if (rc != SQLITE_DONE) {
        return Storage(file_, "written", Cause(c.db.get(), file_, rc));
      }
    }
    if (sqlite3_changes64(c.db.get()) == 1) return {};
    return c.Unchanged(file_, id, "with its settings saved");
  });
}

LedgerResult<std::vector<UnitRecord>> SqliteLedger::RecoverInterrupted(
    const std::string& time) {
  if (auto refusal = CheckTime(file_, time)) return *refusal;
  Connection& c = *connection_;
  std::vector<UnitRecord> recovered;
  LedgerStatus status = c.Write(file_, [&]() -> LedgerStatus {
    Run run(c.recover.get());
    run.Bind(time);
    int rc = SQLITE_OK;
    while ((rc = run.Step()) == SQLITE_ROW) {
      UnitRecord record;
      if (!ReadRecord(run, &record)) return UnknownState(file_, record);
      recovered.push_back(std::move(record));
    }
    if (rc != SQLITE_DONE) {
      return Storage(file_, "written", Cause(c.db.get(), file_, rc));
    }
    return {};
  });
  if (!status.ok()) return status;
  // RETURNING gives no order.
  std::sort(
      recovered.begin(), recovered.end(),
      [](const UnitRecord& a, const UnitRecord& b) { return a.id < b.id; });
  return recovered;
}

LedgerResult<std::optional<UnitRecord>> SqliteLedger::FindUsed(
    const std::string& mac) {
  if (auto refusal = Refusal(file_, ledger_rules::MacFault(mac))) {
    return *refusal;
  }
  Run run(connection_->find_used.get());
  run.Bind(mac);
  return connection_->ReadOne(file_, run);
}

LedgerResult<std::optional<UnitRecord>> SqliteLedger::LatestUsed() {
  Run run(connection_->latest_used.get());
  return connection_->ReadOne(file_, run);
}

LedgerResult<std::vector<UnitRecord>> SqliteLedger::Units() {
  Run run(connection_->units.get());
  std::vector<UnitRecord> records;
  int rc = SQLITE_OK;
  while ((rc = run.Step()) == SQLITE_ROW) {
    UnitRecord record;
    if (!ReadRecord(run, &record)) return UnknownState(file_, record);
    records.push_back(std::move(record));
  }
  if (rc != SQLITE_DONE) {
    return Storage(file_, "read", Cause(connection_->db.get(), file_, rc));
  }
  return records;
}

}  // namespace srom
