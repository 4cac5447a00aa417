// A station's session with the line's ledger server: everything a ledger
// call needs to reach the server and to say why it failed. It connects (and
// connects again after a loss), sets every new session up (the server's
// limits, the schema, which database answers, the station's name, a
// reservation cut off at its commit), runs statements within the call's
// time, and turns what went wrong into the ledger's faults and the
// operator's words. The ledger's calls are written on it (pg_ledger.cpp);
// the libpq connection itself is pg_connection.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "ledger/ledger.h"
#include "ledger/pg_connection.h"
#include "ledger/pg_ledger.h"

namespace srom::pg {

// A field of a result's row as text, and as a whole number.
std::string Field(const PGresult* result, int row, int column);
std::int64_t IntField(const PGresult* result, int row, int column);

// Why the ledger at `url` cannot be used as written: libpq cannot read the
// address (kSettingsRejected, the address shown without its secrets), or
// nothing.
std::optional<LedgerStatus> UnusableAddress(const std::string& url);

class Session {
 public:
  // A call's body inside Transaction(): sets `commit` to keep what it did
  // although it failed.
  using Body = std::function<LedgerStatus(bool& commit)>;

  // `station` is the name this station reserves under.
  Session(std::string url, std::string station, PgLedgerOptions options);

  const std::string& station() const { return station_; }
  // The server and database, for the operator (never the password).
  const std::string& where() const { return where_; }
  // The host and port of the server the connection is on ("db1:5432"), or
  // empty without one: which of a multi-host address's servers answered.
  std::string server() const { return connection_.server(); }
  const PgLedgerOptions& options() const { return options_; }
  // The database that first answered: see PgLedger::LedgerIdentity().
  const std::string& identity() const { return identity_; }

  // A call begins: everything it waits for, connecting included, ends by
  // kCallBudget from now.
  Session& Begin();

  // Connected, the session set up (limits, schema, identity, the station's
  // name, a cut-off reservation settled): the first step of every call.
  // Nothing, or why the ledger cannot be used (now).
  std::optional<LedgerStatus> Ready();

  // Runs `sql` on the connection as it is, within the call's time.
  Result Exec(std::string_view sql,
              std::initializer_list<std::string> params = {});

  // Exec on a connection that is made ready first, and once more when the
  // statement found it lost: only for a statement that is safe to send twice
  // (a read, BEGIN, an idempotent update). `failed` is set when it did not
  // succeed: the ledger cannot be used now, or the statement failed.
  Result ExecAgainOnce(std::string_view sql,
                       std::initializer_list<std::string> params,
                       std::optional<LedgerStatus>* failed);

  static bool Succeeded(const PGresult* result);

  // Why the last statement or connection attempt failed, for the operator
  // and for what the caller decides: a server away or not answering
  // (kUnreachable), settings it refuses (kSettingsRejected), or else a
  // ledger that failed (kStorage).
  LedgerStatus Failure();

  // Runs `body` in one transaction. It commits when the body succeeds, or
  // when it asks to (`commit` set: a change that stands even though the call
  // failed); rolls back otherwise. `cut_off` is set when the COMMIT was sent
  // but its answer lost: the transaction may or may not stand. `ready`
  // false: on the connection as it is (while it is being set up).
  LedgerStatus Transaction(const Body& body, bool* cut_off = nullptr,
                           bool ready = true);

  // A reservation whose commit was cut off: the caller was told it failed,
  // so its adapter was never written, and its MAC address is free again once
  // the server is reached.
  void RememberCutOff(std::string token, std::string time);

 private:
  // The last statement lost its connection (the server went away or
  // restarted), rather than being refused or left unanswered.
  bool Lost() const;

  LedgerStatus Unreachable(std::string cause) const;
  LedgerStatus NoAnswer() const;
  LedgerStatus SettingsRejected(const std::string& cause) const;
  LedgerStatus Untrusted(const std::string& cause) const;

  // After a wait that ran out its time, the server is left alone for a
  // call's time.
  void NoteNoAnswer();
  Deadline Wait() const;

  // The steps of a session on a new connection, in their order.
  std::optional<LedgerStatus> SetUp();
  LedgerStatus Migrate();
  std::optional<LedgerStatus> Identify();
  std::optional<LedgerStatus> EndOldSession();
  std::optional<LedgerStatus> HoldName();
  LedgerStatus NameInUse();
  std::optional<LedgerStatus> ReleaseCutOffReservation();
  std::optional<LedgerStatus> CommitWithoutStandby(
      std::string_view sql, std::initializer_list<std::string> params);

  std::string url_;
  std::string station_;
  PgLedgerOptions options_;
  std::string where_;
  Connection connection_;
  SteadyClock::time_point deadline_ = SteadyClock::now() + kCallBudget;
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

}  // namespace srom::pg
