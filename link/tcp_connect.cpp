#include "link/tcp_connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "link/name_lookup.h"
#include "link/poll_until.h"

namespace rs485 {

namespace {

bool setOption(int fd, int level, int name, int value) {
  return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Each request goes out at once, not held back to be joined with the next.
bool configure(int fd) {
  using std::chrono::seconds;
  return setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1) && setOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1) &&
         setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(kKeepAliveIdle.count())) &&
         setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(kKeepAliveInterval.count())) &&
         setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveCount) &&
         setOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(kUserTimeout.count()));
}

Connection connectOne(const SocketAddress& address, int wakeFd,
                      std::chrono::steady_clock::time_point deadline) {
  Connection c;
  c.socket = UniqueFd(socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!c.socket.valid() || !configure(c.socket.get())) {
    c.error = errno;
    c.socket = UniqueFd();
    return c;
  }
  const auto* target = reinterpret_cast<const sockaddr*>(&address.address);
  if (connect(c.socket.get(), target, address.length) != 0 && errno != EINPROGRESS) {
    c.error = errno;
  } else {
    switch (pollUntil(c.socket.get(), POLLOUT, wakeFd, deadline)) {
      case PollOutcome::Ready: {
        socklen_t length = sizeof c.error;
        if (getsockopt(c.socket.get(), SOL_SOCKET, SO_ERROR, &c.error, &length) != 0) c.error = errno;
        break;
      }
      case PollOutcome::Woken:
        c.error = ECANCELED;
        break;
      case PollOutcome::TimedOut:
        c.error = ETIMEDOUT;
        break;
    }
  }
  if (c.error != 0) c.socket = UniqueFd();
  return c;
}

}  // namespace

Connection connectTcp(const std::string& host, const std::string& port, int wakeFd,
                      std::chrono::steady_clock::time_point deadline) {
  const LookupResult found = lookUp(host, port, wakeFd, deadline);
  if (found.error != 0) return {UniqueFd(), found.error};
  Connection last{UniqueFd(), EADDRNOTAVAIL};
  for (const SocketAddress& address : found.addresses) {
    last = connectOne(address, wakeFd, deadline);
    if (last.socket.valid() || last.error == ECANCELED || last.error == ETIMEDOUT) break;
  }
  return last;
}

OpenError openErrorFromConnect(int error) {
  switch (error) {
    case 0:
      return OpenError::None;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EADDRNOTAVAIL:
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_SERVICE:
      return OpenError::NotFound;
    default:
      return OpenError::Other;
  }
}

}  // namespace rs485
