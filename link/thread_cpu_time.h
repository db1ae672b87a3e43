#pragma once

#include <chrono>
#include <thread>

namespace rs485 {

// The processor time `thread` has used so far; zero when the system cannot
// tell. For the benchmarks' figures of the engine's workers.
std::chrono::nanoseconds threadCpuTime(std::thread& thread);

}  // namespace rs485
