// One look at libpq's socket, with what the system offers for it: poll on
// POSIX, select on Windows' SOCKET. The deadlines and stop requests around
// it live in pg_connection.cpp, the same on both.
#pragma once

#include <chrono>

namespace srom::pg {

// The events a look at the socket asks for and finds.
inline constexpr short kSocketReadable = 1;
inline constexpr short kSocketWritable = 2;
// Found only: the socket failed (a connect refused, a connection reset).
// libpq says why when it is called again.
inline constexpr short kSocketBroken = 4;

// Waits at most `within` for `socket` (PQsocket's answer) to be ready for
// `events`. The events that came, 0 when the time ran out (or a signal cut
// the wait short), -1 when the socket cannot be waited on.
short WaitOnSocket(int socket, short events, std::chrono::milliseconds within);

}  // namespace srom::pg
