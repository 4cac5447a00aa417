// Owning handles for the SQLite C API, one run of a prepared statement, and
// the operator's words for SQLite's error codes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace srom::sqlite {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Prepares `sql` for running many times; null with `*rc` set on failure.
Statement Prepare(sqlite3* db, std::string_view sql, int* rc);

// One run of a prepared statement: parameters bound in order, rows stepped
// through, and the statement reset when the run goes, so that a kept
// statement holds no read snapshot and no stale binding afterwards.
class Run {
 public:
  explicit Run(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Run() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // The first failing bind is kept and returned by Step().
  Run& Bind(std::int64_t value);
  Run& Bind(std::string_view text);

  // SQLITE_ROW, SQLITE_DONE or the error code.
  int Step();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;  // empty for NULL

 private:
  sqlite3_stmt* stmt_;
  int next_parameter_ = 1;
  int bind_rc_ = SQLITE_OK;
};

// Less free space than this on the ledger's disk makes a failed write a full
// disk: SQLite reports a short write as one, but not every failure the disk
// gives when it fills up (a failed flush, a quota).
inline constexpr std::uintmax_t kNearlyFull = 1024 * 1024;

// Why `rc` failed on the ledger at `file`, in the operator's words: "the disk
// is full", "its folder is read-only for this user", ...
std::string Cause(sqlite3* db, const std::filesystem::path& file, int rc);

// "The production ledger <file> cannot be <verb>: <cause>."
std::string StorageError(const std::filesystem::path& file,
                         std::string_view verb, std::string_view cause);

}  // namespace srom::sqlite
