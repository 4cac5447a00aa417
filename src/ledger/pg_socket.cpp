#include "ledger/pg_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>

#include <cerrno>
#endif

namespace srom::pg {

#ifdef _WIN32

// select, not WSAPoll: WSAPoll never reports a connect that the server
// refused on some Windows releases, which would hold the station until the
// deadline instead of moving on. One socket is far inside FD_SETSIZE.
short WaitOnSocket(int socket, short events, std::chrono::milliseconds within) {
  // PQsocket gives Windows' SOCKET as an int.
  const auto handle = static_cast<SOCKET>(socket);
  fd_set readable;
  fd_set writable;
  fd_set broken;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&broken);
  if ((events & kSocketReadable) != 0) FD_SET(handle, &readable);
  if ((events & kSocketWritable) != 0) FD_SET(handle, &writable);
  // A connect that failed shows up here only.
  FD_SET(handle, &broken);
  const long ms = static_cast<long>(within.count());
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  const int got = select(0, &readable, &writable, &broken, &limit);
  if (got == SOCKET_ERROR) return -1;
  short ready = 0;
  if (FD_ISSET(handle, &readable)) ready |= kSocketReadable;
  if (FD_ISSET(handle, &writable)) ready |= kSocketWritable;
  if (FD_ISSET(handle, &broken)) ready |= kSocketBroken;
  return ready;
}

#else

short WaitOnSocket(int socket, short events, std::chrono::milliseconds within) {
  short asked = 0;
  if ((events & kSocketReadable) != 0) asked |= POLLIN;
  if ((events & kSocketWritable) != 0) asked |= POLLOUT;
  pollfd fd{socket, asked, 0};
  const int got = poll(&fd, 1, static_cast<int>(within.count()));
  if (got < 0) return errno == EINTR ? 0 : -1;
  short ready = 0;
  if ((fd.revents & POLLIN) != 0) ready |= kSocketReadable;
  if ((fd.revents & POLLOUT) != 0) ready |= kSocketWritable;
  if ((fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
    ready |= kSocketBroken;
  return ready;
}

#endif

}  // namespace srom::pg
