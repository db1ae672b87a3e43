#include "link/poll_until.h"

#include <poll.h>

#include <cerrno>
#include <climits>

namespace rs485 {

PollOutcome pollUntil(int fd, short events, int wakeFd, std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return PollOutcome::TimedOut;
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
    const int n = poll(fds, 2, left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (n < 0 && errno != EINTR) return PollOutcome::Woken;  // nothing can be waited on any more
    if (n <= 0) continue;
    if (fds[0].revents != 0) return PollOutcome::Woken;
    if (fds[1].revents != 0) return PollOutcome::Ready;
  }
}

}  // namespace rs485
