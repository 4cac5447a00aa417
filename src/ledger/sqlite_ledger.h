// The production ledger of one station: a SQLite file in the station folder,
// shared safely by every process of the station.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger.h"
#include "ports/station_files.h"

namespace srom {

inline constexpr std::string_view kLedgerFileName = station_file::kLedger;

// How long a call waits for another process's transaction before it reports
// the ledger locked. Transactions here last milliseconds; only a hung program
// holds one this long.
inline constexpr std::chrono::milliseconds kLedgerBusyTimeout{10000};

// Every write commits with the write-ahead log flushed to the disk (WAL,
// synchronous=FULL), so a row is on the disk when its call returns. One
// object is for one thread at a time; each process opens its own.
class SqliteLedger final : public Ledger {
 public:
  // Opens the ledger at `file`, creating it with its schema when there is no
  // file (or an empty one) and bringing an older schema up to date. Refuses,
  // without writing a byte to it, a file that is not a production ledger, is
  // corrupt, comes from a newer version of the tool, or cannot be written.
  static LedgerResult<std::unique_ptr<SqliteLedger>> Open(
      const std::filesystem::path& file,
      std::chrono::milliseconds busy_timeout = kLedgerBusyTimeout);

  ~SqliteLedger() override;
  SqliteLedger(const SqliteLedger&) = delete;
  SqliteLedger& operator=(const SqliteLedger&) = delete;

  LedgerResult<std::int64_t> Reserve(const UnitDraft& draft) override;
  LedgerStatus MarkProgrammed(std::int64_t id,
                              const std::string& time) override;
  LedgerStatus Release(std::int64_t id, const std::string& time) override;
  LedgerStatus MarkFailed(std::int64_t id, const std::string& time) override;
  LedgerStatus SetAside(std::int64_t id, const std::string& time) override;
  LedgerStatus MarkSettingsSaved(std::int64_t id) override;
  LedgerResult<std::vector<UnitRecord>> RecoverInterrupted(
      const std::string& time) override;
  LedgerResult<std::optional<UnitRecord>> FindUsed(
      const std::string& mac) override;
  LedgerResult<std::optional<UnitRecord>> LatestUsed() override;
  LedgerResult<std::vector<UnitRecord>> Units() override;

  const std::filesystem::path& file() const { return file_; }

 private:
  struct Connection;  // the database and its prepared statements
  SqliteLedger(std::filesystem::path file,
               std::unique_ptr<Connection> connection);

  // Moves `id` to `to` when it is in one of `from`, in one transaction.
  LedgerStatus Close(std::int64_t id, const std::string& time, UnitState to);

  std::filesystem::path file_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace srom
