#include "link/thread_cpu_time.h"

#include <pthread.h>
#include <time.h>

namespace rs485 {

std::chrono::nanoseconds threadCpuTime(std::thread& thread) {
  clockid_t clock{};
  timespec used{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 || clock_gettime(clock, &used) != 0) {
    return {};
  }
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

}  // namespace rs485
