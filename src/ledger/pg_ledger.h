// The production ledger of a line of stations: one PostgreSQL database that
// every station reserves its units in, so that no MAC address is given twice
// anywhere on the line. Each station opens it under its own name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/ledger_place.h"

namespace srom {

// A call that loses its connection reconnects once by itself; one that finds
// the server gone reports kUnreachable and the next call tries again. Closes
// are idempotent (sending one twice is harmless), and a reservation cut off
// at its commit, of which the caller was told it failed, is released by the
// next call that reaches the server.
class PgLedger final : public Ledger {
 public:
  // The ledger at `url` (a libpq URI; a connection waits at most 5 s for a
  // server that does not answer, unless the URI says otherwise). It
  // connects, and creates the schema or brings an older one up to date, at
  // once, or when the server is away at the first call that reaches it.
  // Refuses an address libpq cannot read, a database that holds other
  // tables of ours without a schema version, or one from a newer version of
  // the tool. `station` is the name this station reserves under: the one
  // RecoverInterrupted and LatestUsed speak of.
  static LedgerResult<std::unique_ptr<PgLedger>> Open(const std::string& url,
                                                      const std::string& station);

  ~PgLedger() override;
  PgLedger(const PgLedger&) = delete;
  PgLedger& operator=(const PgLedger&) = delete;

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
  bool LineWide() const override { return true; }
  LedgerResult<PoolState> Pool(const std::string& name) override;
  LedgerResult<std::vector<PoolState>> Pools() override;
  LedgerStatus CreatePool(const PoolState& pool) override;

  // The server and database, for the operator (never the password).
  const std::string& where() const;

 private:
  class Session;  // the connection and its statements
  explicit PgLedger(std::unique_ptr<Session> session);

  LedgerStatus Close(std::int64_t id, const std::string& time, UnitState to);

  std::unique_ptr<Session> session_;
};

}  // namespace srom
