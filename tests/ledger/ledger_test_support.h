// Fresh station folders, drafts with distinct MAC addresses, and a plain
// SQLite connection for looking at (or tampering with) a ledger file from
// outside the ledger.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "ledger/sqlite_ledger.h"

#include "support/temp_folder.h"

namespace srom::test {

namespace fs = std::filesystem;

// The ledger file of a station folder.
inline fs::path LedgerFileIn(const TempFolder& folder) {
  return folder.path() / std::string(kLedgerFileName);
}

inline std::string Hex(std::uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
  return text;
}

inline constexpr char kTime[] = "2024-03-01 08:15:00";
inline constexpr char kLaterTime[] = "2024-03-01 08:15:07";

// Unit `n` of a run: MAC address and serial number both count from n.
inline UnitDraft DraftOf(std::uint64_t n) {
  return UnitDraft{Hex(n, 12), Hex(n, 14), 2, "digest-" + std::to_string(n),
                   "Line 1",   kTime};
}

// The ledger at `file`, failing the test when it does not open.
inline std::unique_ptr<SqliteLedger> OpenLedger(const fs::path& file) {
  auto opened = SqliteLedger::Open(file);
  EXPECT_TRUE(opened.ok()) << opened.error;
  return opened.ok() ? std::move(*opened.value) : nullptr;
}

// A plain connection, for what the ledger itself would never do.
struct RawDatabase {
  explicit RawDatabase(const fs::path& file) {
    EXPECT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
  }
  ~RawDatabase() { sqlite3_close(db); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // SQLITE_OK or the (primary) error code of the first failing statement.
  int Exec(const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) & 0xFF;
  }

  sqlite3* db = nullptr;
};

}  // namespace srom::test
