// Latency of the link: from the moment the device has written the last byte
// of its 16-byte answer on the line to the start of the readings handler on
// the user-interface thread. Prints the median and the 99th percentile.
//
//   link_latency [exchanges]      (default 1000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/readings_exchanges.h"
#include "tests/link/pty_pair.h"

using namespace rs485;

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::atoi(argv[1]) : 1000;
  test::PtyPair pty;
  const auto times = bench::timeReadingsExchanges(pty, pty.slavePath(), exchanges);
  if (!times) return 1;
  std::vector<double> micros;
  for (std::size_t i = 0; i < times->handled.size(); ++i)
    micros.push_back(
        std::chrono::duration<double, std::micro>(times->handled[i] - times->answered[i]).count());
  if (micros.empty()) return 1;
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) {
    return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
  };
  std::printf("link latency, last answer byte written -> readings handler starts, %zu exchanges over a pty\n",
              micros.size());
  std::printf("  min %.0f us   median %.0f us   p99 %.0f us   max %.0f us\n", micros.front(), at(0.5),
              at(0.99), micros.back());
  return 0;
}
