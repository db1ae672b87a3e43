#include <windows.h>
// After windows.h: winpthreads' pthread_gethandle() returns a HANDLE.
#include <pthread.h>

#include "link/thread_cpu_time.h"

namespace rs485 {

namespace {
// FILETIME counts 100-nanosecond units.
std::chrono::nanoseconds fromFileTime(const FILETIME& time) {
  const auto ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return std::chrono::nanoseconds(static_cast<long long>(ticks) * 100);
}
}  // namespace

std::chrono::nanoseconds threadCpuTime(std::thread& thread) {
  const HANDLE handle = pthread_gethandle(thread.native_handle());
  FILETIME created{}, exited{}, kernel{}, user{};
  if (handle == nullptr || GetThreadTimes(handle, &created, &exited, &kernel, &user) == 0) return {};
  return fromFileTime(kernel) + fromFileTime(user);
}

}  // namespace rs485
