#include "ledger/pg_connection.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "ledger/pg_socket.h"

namespace srom::pg {
namespace {

enum class Waited { kReady, kTimedOut, kStopped, kFailed };

// Waits until `socket` is ready for `events`, the deadline passes, or a stop
// was asked for and the wait has lasted kStopGrace. `ready` gets the events
// that came.
Waited WaitForSocket(int socket, short events, const Deadline& deadline,
                     short* ready = nullptr) {
  if (socket < 0) return Waited::kFailed;
  const SteadyClock::time_point began = SteadyClock::now();
  for (;;) {
    const SteadyClock::time_point now = SteadyClock::now();
    if (deadline.stop != nullptr && *deadline.stop &&
        now - began >= kStopGrace && (*deadline.stop)()) {
      return Waited::kStopped;
    }
    if (now >= deadline.at) return Waited::kTimedOut;
    const auto left =
        std::min<SteadyClock::duration>(deadline.at - now, kStopPollSlice);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left);
    const short got = WaitOnSocket(socket, events, ms);
    if (got > 0) {
      if (ready != nullptr) *ready = got;
      return Waited::kReady;
    }
    if (got < 0) return Waited::kFailed;
  }
}

bool IsSqlStateText(std::string_view text) {
  return text.size() >= 7 && text.substr(5, 2) == ": " &&
         std::all_of(text.begin(), text.begin() + 5, [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) ||
                  std::isupper(static_cast<unsigned char>(c));
         });
}

// libpq's own words when TLS fails to establish whom the station talks to,
// from the server's side (its certificate, its host name, no TLS at all)
// and from the station's (the files its address names, a client
// certificate the server turned away with a TLS alert).
bool IsTrustFailure(std::string_view text) {
  for (std::string_view words :
       {"certificate", "private key", "SSL was required", "alert"}) {
    if (text.find(words) != std::string_view::npos) return true;
  }
  return false;
}

// A connection attempt's failure. Its message, made with the verbose error
// style, carries the server's SQLSTATE after the severity when the server
// refused: 'connection to server ... failed: FATAL:  3D000: database "x"
// does not exist'. One without is libpq's own: no server answered.
ConnectionError ConnectFailure(const char* message) {
  ConnectionError error;
  error.cut = Cut::kLost;
  std::string line = FirstLine(message != nullptr ? message : "");
  for (std::string_view heading : {"FATAL:  ", "ERROR:  "}) {
    const std::size_t at = line.find(heading);
    if (at == std::string::npos) continue;
    std::string rest = line.substr(at + heading.size());
    if (IsSqlStateText(rest)) {
      error.cut = Cut::kServer;
      error.sqlstate = rest.substr(0, 5);
      rest.erase(0, 7);
    }
    line = rest;
    break;
  }
  // libpq answers a server's request for a password it has none for
  // itself, without a SQLSTATE: a setting, not an outage.
  if (line.find("fe_sendauth: ") != std::string::npos) {
    error.cut = Cut::kServer;
    error.sqlstate = "28000";
  } else if (error.cut == Cut::kLost && IsTrustFailure(line)) {
    error.cut = Cut::kUntrusted;
  }
  error.text = line.empty() ? "the connection failed" : line;
  return error;
}

// The cancels sent aside that have not reached their server yet.
struct PendingCancels {
  std::mutex mutex;
  std::condition_variable done;
  int count = 0;
};

// Never destroyed: a cancel's thread may outlive the program's end.
PendingCancels& Pending() {
  static auto* pending = new PendingCancels;
  return *pending;
}

// A program that ends gives the cancels it sent aside up to kStopGrace to
// reach their servers: a session whose statement nobody cancels may wait on
// the server long after the station has gone (a commit waits for a
// synchronous standby that is away, and no statement_timeout ends that
// wait), holding its locks and the station's name all the while.
void WaitForPendingCancels() {
  PendingCancels& pending = Pending();
  std::unique_lock<std::mutex> lock(pending.mutex);
  pending.done.wait_for(lock, kStopGrace, [&] { return pending.count == 0; });
}

// Sends a cancel for the statement the server is running, on a thread of
// its own: libpq's PQcancel waits for the server to take it, and a server
// that does not answer would keep the station waiting. The thread ends when
// the server takes it or the program ends.
void CancelAside(PGconn* connection) {
  PGcancel* cancel = PQgetCancel(connection);
  if (cancel == nullptr) return;
  static const bool waited_for_at_exit =
      std::atexit(WaitForPendingCancels) == 0;
  (void)waited_for_at_exit;
  PendingCancels& pending = Pending();
  {
    std::lock_guard<std::mutex> lock(pending.mutex);
    ++pending.count;
  }
  std::thread([cancel, &pending] {
    char error[256];
    (void)PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
    std::lock_guard<std::mutex> lock(pending.mutex);
    --pending.count;
    pending.done.notify_all();
  }).detach();
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

void IgnoreNotice(void*, const char*) {}

// The hosts of an address, one list a keyword, as libpq reads them.
struct HostLists {
  std::string host;
  std::string port;
  std::string hostaddr;
};

// The host lists of `url`, a service's included: a station's service
// (service=line1, or PGSERVICE) may name the line's servers itself
// (host=db1,db2). libpq reads a service only when it starts a connection, so
// one is started for it (it looks up the first host and sends a connect, no
// more) and dropped at once.
HostLists HostsOf(const std::string& url) {
  HostLists lists{OptionOf(url, "host"), OptionOf(url, "port"),
                  OptionOf(url, "hostaddr")};
  const char* service = std::getenv("PGSERVICE");
  if (OptionOf(url, "service").empty() &&
      (service == nullptr || *service == '\0')) {
    return lists;
  }
  const char* keys[] = {"dbname", nullptr};
  const char* values[] = {url.c_str(), nullptr};
  PGconn* probe = PQconnectStartParams(keys, values, 1);
  if (probe == nullptr) return lists;
  PQconninfoOption* options = PQconninfo(probe);
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr;
       ++o) {
    if (o->val == nullptr) continue;
    const std::string_view key = o->keyword;
    if (key == "host") lists.host = o->val;
    if (key == "port") lists.port = o->val;
    if (key == "hostaddr") lists.hostaddr = o->val;
  }
  PQconninfoFree(options);
  PQfinish(probe);
  return lists;
}

}  // namespace

std::string OptionOf(const std::string& url, std::string_view key) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQfreemem(error);
  std::string value;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr;
       ++o) {
    if (key == o->keyword && o->val != nullptr) value = o->val;
  }
  PQconninfoFree(options);
  return value;
}

Connection::~Connection() { Drop(); }

bool Connection::connected() const {
  return connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK;
}

int Connection::backend_pid() const {
  return connection_ != nullptr ? PQbackendPID(connection_) : 0;
}

std::string Connection::server() const {
  if (connection_ == nullptr) return {};
  const char* host = PQhost(connection_);
  const char* port = PQport(connection_);
  return std::string(host != nullptr ? host : "") + ":" +
         (port != nullptr ? port : "");
}

void Connection::Drop() {
  if (connection_ == nullptr) return;
  if (answer_pending_) CancelAside(connection_);
  PQfinish(connection_);
  connection_ = nullptr;
  answer_pending_ = false;
}

bool Connection::Open(const std::string& url, const Deadline& deadline) {
  Drop();
  error_ = {};
  // Each host of a multi-host address with its own share of the time, as
  // libpq's connect_timeout gives it in a blocking connect: one host that
  // hangs must not keep the station from the next.
  const HostLists lists = HostsOf(url);
  const std::vector<std::string> hosts = SplitList(lists.host);
  const std::vector<std::string> ports = SplitList(lists.port);
  const std::vector<std::string> addrs = SplitList(lists.hostaddr);
  const std::size_t count = std::max(hosts.size(), addrs.size());
  if (count <= 1) return OpenHost(url, nullptr, nullptr, nullptr, deadline);
  // A host whose server answered with a refusal, or that could not be
  // trusted: said rather than the others' silence.
  ConnectionError refused;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string* host = i < hosts.size() ? &hosts[i] : nullptr;
    const std::string* port = ports.size() == count ? &ports[i]
                              : ports.size() == 1   ? &ports[0]
                                                    : nullptr;
    const std::string* addr = i < addrs.size() ? &addrs[i] : nullptr;
    if (OpenHost(url, host, port, addr, deadline)) return true;
    if (error_.cut == Cut::kStopped) return false;
    if (error_.cut == Cut::kServer || error_.cut == Cut::kUntrusted) {
      refused = error_;
    }
    if (SteadyClock::now() >= deadline.at) break;
  }
  if (refused.cut != Cut::kNone) error_ = refused;
  return false;
}

bool Connection::OpenHost(const std::string& url, const std::string* host,
                          const std::string* port, const std::string* hostaddr,
                          const Deadline& deadline) {
  const std::string connect_timeout = std::to_string(
      std::chrono::ceil<std::chrono::seconds>(kHostConnectBudget).count());
  const std::string idle = std::to_string(kKeepalivesIdleSeconds);
  const std::string interval = std::to_string(kKeepalivesIntervalSeconds);
  const std::string probes = std::to_string(kKeepalivesCount);
  const std::string user_timeout = std::to_string(kTcpUserTimeoutMs);
  // Keywords before "dbname" give way to what the address says; those after
  // it (one host of several) override it.
  std::vector<const char*> keys = {"connect_timeout",  "keepalives",
                                   "keepalives_idle",  "keepalives_interval",
                                   "keepalives_count", "tcp_user_timeout",
                                   "application_name", "dbname"};
  std::vector<const char*> values = {connect_timeout.c_str(),
                                     "1",
                                     idle.c_str(),
                                     interval.c_str(),
                                     probes.c_str(),
                                     user_timeout.c_str(),
                                     "srom-tool",
                                     url.c_str()};
  const auto put = [&](const char* key, const std::string* value) {
    if (value == nullptr || value->empty()) return;
    keys.push_back(key);
    values.push_back(value->c_str());
  };
  put("host", host);
  put("port", port);
  put("hostaddr", hostaddr);
  keys.push_back(nullptr);
  values.push_back(nullptr);

  connection_ = PQconnectStartParams(keys.data(), values.data(), 1);
  if (connection_ == nullptr) {
    Fail(Cut::kLost, "out of memory");
    return false;
  }
  PQsetNoticeProcessor(connection_, IgnoreNotice, nullptr);
  // The server's refusal then carries its SQLSTATE in the message.
  PQsetErrorVerbosity(connection_, PQERRORS_VERBOSE);
  const Deadline host_deadline{
      std::min(deadline.at, SteadyClock::now() + kHostConnectBudget),
      deadline.stop};
  PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
  while (PQstatus(connection_) != CONNECTION_BAD &&
         polled != PGRES_POLLING_OK && polled != PGRES_POLLING_FAILED) {
    const short events =
        polled == PGRES_POLLING_READING ? kSocketReadable : kSocketWritable;
    const Waited waited =
        WaitForSocket(PQsocket(connection_), events, host_deadline);
    if (waited == Waited::kTimedOut || waited == Waited::kStopped) {
      Fail(waited == Waited::kStopped ? Cut::kStopped : Cut::kTimedOut, "");
      return false;
    }
    polled = PQconnectPoll(connection_);
  }
  if (PQstatus(connection_) != CONNECTION_OK) {
    error_ = ConnectFailure(PQerrorMessage(connection_));
    PQfinish(connection_);
    connection_ = nullptr;
    return false;
  }
  PQsetErrorVerbosity(connection_, PQERRORS_DEFAULT);
  // Sending never waits on a server that has stopped reading either.
  if (PQsetnonblocking(connection_, 1) != 0) {
    Fail(Cut::kLost, PQerrorMessage(connection_));
    return false;
  }
  return true;
}

Result Connection::Fail(Cut cut, std::string text) {
  error_ = {cut, "", FirstLine(std::move(text))};
  Drop();
  return nullptr;
}

Result Connection::Exec(std::string_view sql,
                        std::initializer_list<std::string> params,
                        const Deadline& deadline) {
  error_ = {};
  if (!connected()) return Fail(Cut::kLost, "");
  const std::string text(sql);
  int sent = 0;
  if (params.size() == 0) {
    sent = PQsendQuery(connection_, text.c_str());
  } else {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    sent = PQsendQueryParams(connection_, text.c_str(),
                             static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0);
  }
  if (sent == 0) return Fail(Cut::kLost, PQerrorMessage(connection_));
  answer_pending_ = true;
  const auto cut_by = [this](Waited waited) {
    return Fail(waited == Waited::kTimedOut  ? Cut::kTimedOut
                : waited == Waited::kStopped ? Cut::kStopped
                                             : Cut::kLost,
                waited == Waited::kFailed ? PQerrorMessage(connection_) : "");
  };
  for (;;) {
    const int flushed = PQflush(connection_);
    if (flushed == 0) break;
    if (flushed < 0) return Fail(Cut::kLost, PQerrorMessage(connection_));
    short ready = 0;
    const Waited waited =
        WaitForSocket(PQsocket(connection_), kSocketReadable | kSocketWritable,
                      deadline, &ready);
    if (waited != Waited::kReady) return cut_by(waited);
    if ((ready & kSocketReadable) != 0 && PQconsumeInput(connection_) == 0) {
      return Fail(Cut::kLost, PQerrorMessage(connection_));
    }
  }
  Result first_error;
  Result last;
  for (;;) {
    while (PQisBusy(connection_) != 0) {
      const Waited waited =
          WaitForSocket(PQsocket(connection_), kSocketReadable, deadline);
      if (waited != Waited::kReady) return cut_by(waited);
      if (PQconsumeInput(connection_) == 0) {
        return Fail(Cut::kLost, PQerrorMessage(connection_));
      }
    }
    PGresult* next = PQgetResult(connection_);
    if (next == nullptr) break;
    const ExecStatusType status = PQresultStatus(next);
    if (status == PGRES_FATAL_ERROR && first_error == nullptr) {
      first_error.reset(next);
    } else {
      last.reset(next);
    }
  }
  answer_pending_ = false;
  Result answer =
      first_error != nullptr ? std::move(first_error) : std::move(last);
  if (answer == nullptr) return Fail(Cut::kLost, PQerrorMessage(connection_));
  if (PQresultStatus(answer.get()) == PGRES_FATAL_ERROR) {
    error_ = ServerError(answer.get());
    // An error libpq made up itself (the connection broke) has no SQLSTATE.
    if (error_.sqlstate.empty() || !connected()) {
      error_.cut = Cut::kLost;
      Drop();
    }
  }
  return answer;
}

std::string FirstLine(std::string text) {
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.erase(end);
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

ConnectionError ServerError(const PGresult* result) {
  ConnectionError error;
  error.cut = Cut::kServer;
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  error.sqlstate = state != nullptr ? state : "";
  const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
  error.text =
      FirstLine(primary != nullptr ? primary : PQresultErrorMessage(result));
  return error;
}

bool IsConnectionState(std::string_view sqlstate) {
  return sqlstate.rfind("08", 0) == 0 || sqlstate.rfind("57P", 0) == 0 ||
         // Too many connections now: another moment may find one free.
         sqlstate == "53300";
}

bool IsTimeoutState(std::string_view sqlstate) {
  return sqlstate == "57014" ||  // query_canceled: statement_timeout
         sqlstate == "55P03" ||  // lock_not_available: lock_timeout
         sqlstate == "25P03";    // idle_in_transaction_session_timeout
}

bool IsSettingsState(std::string_view sqlstate) {
  return sqlstate.rfind("28", 0) == 0 ||  // invalid authorization
         sqlstate == "3D000" ||           // no such database
         sqlstate == "3F000" ||           // no such schema
         sqlstate == "42501" ||           // insufficient privilege
         sqlstate == "0A000";             // not supported (a replication
                                          // or other special connection)
}

}  // namespace srom::pg
