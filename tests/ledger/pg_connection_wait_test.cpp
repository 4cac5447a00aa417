// Connecting to the line's server ends by its deadline however the server
// fails, on the socket wait of each system (poll on POSIX, select on
// Windows, run there under wine): a server that takes the connection and
// never answers, a port nobody listens on, and a stop asked for meanwhile.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "ledger/pg_connection.h"

namespace srom::pg {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
#else
using Socket = int;
void CloseSocket(Socket s) { close(s); }
#endif

// A TCP socket on 127.0.0.1 at a port of the system's choice. Listening, it
// is a server that hangs: the system completes each connection to it and
// nothing is ever said on it. Not listening, its port refuses connections.
class LocalPort {
 public:
  explicit LocalPort(bool listening) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (listening) listen(socket_, 8);
#ifdef _WIN32
    int length = sizeof address;
#else
    socklen_t length = sizeof address;
#endif
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LocalPort() {
    CloseSocket(socket_);
#ifdef _WIN32
    WSACleanup();
#endif
  }
  LocalPort(const LocalPort&) = delete;
  LocalPort& operator=(const LocalPort&) = delete;

  std::string Url() const {
    return "host=127.0.0.1 port=" + std::to_string(port_) +
           " user=srom dbname=srom";
  }

 private:
  Socket socket_;
  int port_ = 0;
};

struct WaitCase {
  const char* name;
  bool listening;
  bool stop;  // a stop is asked for from the start
  Cut cut;
};

class ConnectionWait : public ::testing::TestWithParam<WaitCase> {};

TEST_P(ConnectionWait, EndsByTheDeadlineWithTheCauseNamed) {
  const WaitCase& c = GetParam();
  LocalPort port(c.listening);
  const std::function<bool()> stop = [] { return true; };
  const SteadyClock::time_point began = SteadyClock::now();
  const Deadline deadline{began + kCallBudget, c.stop ? &stop : nullptr};
  Connection connection;

  EXPECT_FALSE(connection.Open(port.Url(), deadline));

  EXPECT_EQ(connection.error().cut, c.cut) << connection.error().text;
  EXPECT_FALSE(connection.connected());
  // Never past the call's deadline (a slice of the wait's polling aside).
  EXPECT_LT(SteadyClock::now(), deadline.at + kStopPollSlice);
}

INSTANTIATE_TEST_SUITE_P(
    ServerFailures, ConnectionWait,
    ::testing::Values(
        // A hung server holds a host no longer than its connect budget.
        WaitCase{"ServerThatNeverAnswers", true, false, Cut::kTimedOut},
        // A refused connect is seen at once (on Windows, only select's
        // failure set shows it) and named an outage.
        WaitCase{"PortNobodyListensOn", false, false, Cut::kLost},
        // A stop ends the wait after its grace, before the host's budget.
        WaitCase{"StopAskedForMeanwhile", true, true, Cut::kStopped}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom::pg
