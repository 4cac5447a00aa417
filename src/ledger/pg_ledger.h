// The production ledger of a line of stations: one PostgreSQL database that
// every station reserves its units in, so that no MAC address is given twice
// anywhere on the line. Each station opens it under its own name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/ledger_place.h"

namespace srom {

namespace pg {
class Session;  // the connection, its set-up and its faults: pg_session.h
}  // namespace pg

struct PgLedgerOptions {
  // Hold the station's name on the server while the ledger is open (and
  // take it again whenever the connection is made anew): a second live
  // station under the same name is refused (kStationInUse), naming the
  // computer and process that hold it and since when. A station holds its
  // name; the line's tools and tests that open several connections under
  // one name do not.
  bool hold_station_name = false;
  // This computer's name, for that refusal.
  std::string computer = {};
  // Refuse every reservation (kUnprotected) while no synchronous standby
  // acknowledges the server's commits: a unit is then never kept on one
  // server machine alone.
  bool require_standby = false;
  // Asked while the ledger waits for its server: true ends the wait (Ctrl-C
  // in srom-cli). May be empty.
  std::function<bool()> stop_requested = {};
};

// Every call ends within pg::kCallBudget (5 s), answered or not: a server
// that does not answer is reported as kUnreachable, its connection dropped
// and made anew at a later call, and for the next few seconds the calls are
// told so at once instead of waiting again. A call that loses its
// connection reconnects once by itself; one that finds the server gone
// reports kUnreachable and the next call tries again. Closes are idempotent
// (sending one twice is harmless), and a reservation cut off at its commit,
// of which the caller was told it failed, is released by the next call that
// reaches the server, once the cut-off session has ended there.
class PgLedger final : public Ledger {
 public:
  // The ledger at `url` (a libpq URI). It connects, and creates the schema
  // or brings an older one up to date, at once, or when the server is away
  // at the first call that reaches it. Refuses an address libpq cannot
  // read, a server that refuses the settings (a database that does not
  // exist, a failed login, a missing permission: kSettingsRejected), a
  // database that holds other tables of ours without a schema version, or
  // one from a newer version of the tool. `station` is the name this
  // station reserves under: the one RecoverInterrupted and LatestUsed speak
  // of.
  static LedgerResult<std::unique_ptr<PgLedger>> Open(
      const std::string& url, const std::string& station,
      PgLedgerOptions options = {});

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
  LedgerResult<std::optional<UnitRecord>> Unit(std::int64_t id) override;
  // The database's ledger id (written once when its schema was made) and
  // the server's system identifier: "<ledger id>@<system identifier>". The
  // one this ledger first reached; it refuses to go on with another
  // database that later answers at the same address.
  std::string LedgerIdentity() const override;
  bool LineWide() const override { return true; }
  LedgerResult<PoolState> Pool(const std::string& name) override;
  LedgerResult<std::vector<PoolState>> Pools() override;
  LedgerStatus CreatePool(const PoolState& pool) override;
  LedgerResult<LedgerHealth> Health() override;

  // The server and database, for the operator (never the password).
  const std::string& where() const;

 private:
  explicit PgLedger(std::unique_ptr<pg::Session> session);

  LedgerStatus Close(std::int64_t id, const std::string& time, UnitState to);

  std::unique_ptr<pg::Session> session_;
};

}  // namespace srom
