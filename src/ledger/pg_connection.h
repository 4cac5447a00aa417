// One connection to the line's PostgreSQL server, every wait on it bounded:
// the libpq plumbing under the line's ledger. It connects and runs
// statements asynchronously, polling the socket against a deadline and a
// stop request, so that a server that stops answering (a machine that hangs,
// a cable pulled, a process stopped) costs a station seconds, never its
// life. It knows nothing of units or stations.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace srom::pg {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The figures of a station's patience with its server. A unit takes about a
// second on the adapter and a ledger call a few milliseconds on a line's
// network; an operator left without an answer for longer than a few seconds
// takes the station for hung. So:
//
// One ledger call (a reservation's whole transaction, a close, a look-up,
// connecting included) ends within kCallBudget, answered or not.
inline constexpr auto kCallBudget = 5s;
// Connecting to one host of the address may take this long before the next
// host is tried (libpq's own minimum for connect_timeout): a LAN server
// answers a connection in milliseconds.
inline constexpr auto kHostConnectBudget = 2s;
// Set on every session, so that the server itself gives up before the
// station does and says so: a statement (4 s, inside the call's 5 s), a wait
// for another station's lock on the same pool or address (2 s: the others
// hold theirs for milliseconds), and a transaction left open by a station
// that stopped in its middle (10 s: then the pool is free for the rest).
inline constexpr int kStatementTimeoutMs = 4000;
inline constexpr int kLockTimeoutMs = 2000;
inline constexpr int kIdleInTransactionTimeoutMs = 10000;
// TCP keepalives and TCP user timeout on the station's side, so that the
// system itself notices a dead peer (5 s idle, then 3 probes 2 s apart; data
// unacknowledged for 5 s), and on the server's side (10 s idle, then 3
// probes 5 s apart), so that a station whose computer died frees its name
// within about 25 s.
inline constexpr int kKeepalivesIdleSeconds = 5;
inline constexpr int kKeepalivesIntervalSeconds = 2;
inline constexpr int kKeepalivesCount = 3;
inline constexpr int kTcpUserTimeoutMs = 5000;
inline constexpr int kServerKeepalivesIdleSeconds = 10;
inline constexpr int kServerKeepalivesIntervalSeconds = 5;
inline constexpr int kServerKeepalivesCount = 3;
// A stop request (Ctrl-C) ends a wait that has lasted this long: a server
// that answers does so well within it, so a unit's record is never cut off
// by a stop that came while its adapter was being written.
inline constexpr auto kStopGrace = 1s;
// How often a wait looks at the stop request.
inline constexpr auto kStopPollSlice = 100ms;

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Why a connection attempt or a statement gave no answer of the server's.
enum class Cut {
  kNone,
  kLost,      // the connection failed or broke: the server is away
  kTimedOut,  // the deadline passed: the server does not answer
  kStopped,   // the operator asked to stop while it was waited for
  kServer,    // the server refused: `sqlstate` says why
  // TLS did not establish whom the station talks to: the server's
  // certificate did not verify as the address asks (sslmode, sslrootcert),
  // or the station's own (sslcert, sslkey) could not be used or was not
  // taken. A setting or an impostor, not an outage: trying again changes
  // nothing.
  kUntrusted,
};

struct ConnectionError {
  Cut cut = Cut::kNone;
  // The server's SQLSTATE, when it sent one (for a refused connection as
  // well: a database that does not exist, a failed login).
  std::string sqlstate;
  // What the server or libpq said, one line, without "FATAL:" or "ERROR:".
  std::string text;
};

// A wait's end: a point in time, and a stop request polled meanwhile (may
// be empty).
struct Deadline {
  SteadyClock::time_point at;
  const std::function<bool()>* stop = nullptr;
};

class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects to `url` (a libpq URI or keyword string), dropping the
  // connection it had; each host of a multi-host address in turn (a
  // service's hosts as well), each within kHostConnectBudget. The server's
  // notices (WARNING:, NOTICE:) are dropped from the start: they are not the
  // operator's business. False with error() set when no host answers by the
  // deadline.
  bool Open(const std::string& url, const Deadline& deadline);

  bool connected() const;

  // Runs `sql`: with values bound as text (one statement), or without (any
  // number of statements; the first failure or else the last result comes
  // back). A result the server sent, error or not; null with error() set
  // when the connection broke, the deadline passed or a stop came. Past
  // the deadline the statement is cancelled on the server (without waiting
  // for it) and the connection dropped.
  Result Exec(std::string_view sql, std::initializer_list<std::string> params,
              const Deadline& deadline);

  // Ends the session. A statement the server has not answered yet is
  // cancelled first (without waiting for the server to take the cancel).
  void Drop();

  // The server process serving this connection (0 when there is none):
  // how a session that was dropped is found again on the server.
  int backend_pid() const;
  // The host (a socket's folder too) and port it is connected to,
  // "host:port"; empty when there is no connection.
  std::string server() const;

  const ConnectionError& error() const { return error_; }

 private:
  bool OpenHost(const std::string& url, const std::string* host,
                const std::string* port, const std::string* hostaddr,
                const Deadline& deadline);
  Result Fail(Cut cut, std::string text);

  PGconn* connection_ = nullptr;
  bool answer_pending_ = false;
  ConnectionError error_;
};

// The option `key` of a connection string, empty when it sets none.
std::string OptionOf(const std::string& url, std::string_view key);

// The first line of a libpq message, trimmed.
std::string FirstLine(std::string text);

// The SQLSTATE and text of a result the server sent as an error.
ConnectionError ServerError(const PGresult* result);

// True for a SQLSTATE that says the connection, not the statement, failed:
// class 08 and the operator interventions of class 57P (a server shutting
// down, starting up, a session ended).
bool IsConnectionState(std::string_view sqlstate);

// True for a SQLSTATE that says a limit set on the session ran out: a
// statement cancelled by statement_timeout, a lock not granted within
// lock_timeout. The server is busy beyond what a unit may wait.
bool IsTimeoutState(std::string_view sqlstate);

// True for a SQLSTATE that says the server refuses the station's settings:
// a database that does not exist, a failed login, a missing permission, a
// role that may not connect. Waiting does not help; a setting must change.
bool IsSettingsState(std::string_view sqlstate);

}  // namespace srom::pg
