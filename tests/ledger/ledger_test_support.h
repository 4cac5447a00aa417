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

namespace srom::testing {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ =
        fs::temp_directory_path() /
        ("srom-ledger-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add,
                    ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  fs::path ledger() const { return path_ / std::string(kLedgerFileName); }

  // The names in the folder, to show that nothing was added or removed.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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

}  // namespace srom::testing
