#pragma once

#include <chrono>

namespace rs485 {

enum class PollOutcome { Ready, Woken, TimedOut };

// Waits until `fd` reports one of `events` (or an error or hang-up), the
// wake-up descriptor `wakeFd` becomes readable, or `deadline` passes.
PollOutcome pollUntil(int fd, short events, int wakeFd, std::chrono::steady_clock::time_point deadline);

}  // namespace rs485
