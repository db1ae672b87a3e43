#pragma once

// A set of timed samples summed up, and the machine they were taken on.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

namespace rs485::bench {

using SteadyClock = std::chrono::steady_clock;

inline double millisBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Summary {
  std::size_t count = 0;
  double min = 0, median = 0, p99 = 0, max = 0, mean = 0;
};

inline Summary summarize(std::vector<double> values) {
  Summary s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    return values[static_cast<std::size_t>(std::lround(q * static_cast<double>(values.size() - 1)))];
  };
  s.count = values.size();
  s.min = values.front();
  s.median = at(0.5);
  s.p99 = at(0.99);
  s.max = values.back();
  s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
  return s;
}

inline void printMachine() {
  double load[3] = {0, 0, 0};
  std::ifstream("/proc/loadavg") >> load[0] >> load[1] >> load[2];
  std::printf("  (load average at start %.2f %.2f %.2f, %u cores)\n", load[0], load[1], load[2],
              std::max(1u, static_cast<unsigned>(std::thread::hardware_concurrency())));
}

}  // namespace rs485::bench
