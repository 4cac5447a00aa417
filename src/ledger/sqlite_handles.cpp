#include "ledger/sqlite_handles.h"

#include <cerrno>
#include <climits>
#include <optional>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace srom::sqlite {

Statement Prepare(sqlite3* db, std::string_view sql, int* rc) {
  sqlite3_stmt* stmt = nullptr;
  *rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (*rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  return Statement(stmt);
}

Run& Run::Bind(std::int64_t value) {
  const int rc = sqlite3_bind_int64(stmt_, next_parameter_++, value);
  if (bind_rc_ == SQLITE_OK) bind_rc_ = rc;
  return *this;
}

Run& Run::Bind(std::string_view text) {
  int rc = SQLITE_TOOBIG;
  if (text.size() <= static_cast<std::size_t>(INT_MAX)) {
    rc = sqlite3_bind_text(stmt_, next_parameter_, text.data(),
                           static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  ++next_parameter_;
  if (bind_rc_ == SQLITE_OK) bind_rc_ = rc;
  return *this;
}

int Run::Step() {
  if (bind_rc_ != SQLITE_OK) return bind_rc_;
  return sqlite3_step(stmt_);
}

std::int64_t Run::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string Run::Text(int column) const {
  const auto* text =
      reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  if (text == nullptr) return {};
  return std::string(
      text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

namespace {

constexpr std::string_view kDiskFull = "the disk is full";

// Looks at the folder and the file themselves: SQLite's own record of the
// system's error is often that of a later, harmless call (it retries an
// open read-only, for one) and would name the wrong cause.
std::optional<std::string> FolderCause(const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error)) return "its folder does not exist";
#ifndef _WIN32
  if (access(folder.c_str(), W_OK) != 0) {
    return errno == EROFS ? "the disk is read-only"
                          : "its folder is read-only for this user";
  }
  if (access(file.c_str(), F_OK) == 0 && access(file.c_str(), W_OK) != 0) {
    return errno == EROFS ? "the disk is read-only"
                          : "the file is read-only for this user";
  }
#endif
  const fs::space_info space = fs::space(folder, error);
  if (!error && space.available < kNearlyFull) return std::string(kDiskFull);
  return std::nullopt;
}

}  // namespace

std::string Cause(sqlite3* db, const std::filesystem::path& file, int rc) {
  const std::string sqlite_text =
      db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xFF) {
    case SQLITE_FULL:
      return std::string(kDiskFull);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "another program keeps it locked";
    case SQLITE_CORRUPT:
      return "the database is corrupt";
    case SQLITE_NOTADB:
      return "the file is not a database";
    case SQLITE_NOMEM:
      return "the computer is out of memory";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return FolderCause(file).value_or("the file or its folder is read-only");
    case SQLITE_CANTOPEN:
      return FolderCause(file).value_or("the file cannot be opened");
    case SQLITE_IOERR:
      return FolderCause(file).value_or("a disk read or write failed (" +
                                        sqlite_text + ")");
    default:
      return "SQLite reports: " + sqlite_text;
  }
}

std::string StorageError(const std::filesystem::path& file,
                         std::string_view verb, std::string_view cause) {
  std::string text = "The production ledger ";
  text += file.string();
  text += " cannot be ";
  text += verb;
  text += ": ";
  text += cause;
  text += '.';
  return text;
}

}  // namespace srom::sqlite
