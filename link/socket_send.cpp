#include "link/socket_send.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "link/poll_until.h"
#include "link/tcp_connect.h"

namespace rs485 {

bool sendAll(int socket, std::span<const std::uint8_t> bytes, int wakeFd) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    // A peer that takes nothing any more is cut off by the user time-out.
    const auto deadline = std::chrono::steady_clock::now() + 2 * kUserTimeout;
    switch (pollUntil(socket, POLLOUT, wakeFd, deadline)) {
      case PollOutcome::Ready:
        break;
      case PollOutcome::Woken:
        errno = ECANCELED;
        return false;
      case PollOutcome::TimedOut:
        errno = ETIMEDOUT;
        return false;
    }
  }
  return true;
}

}  // namespace rs485
