// Pace of the scan's readTimer as the bus sees it: a scan of a bus where no
// probed address answers, at 500 and at 750 ms per address, and the spacing
// of the probes in the simulator's frame log (the time each request's last
// byte was read) against the interval set: the mean, the median and the
// worst spacing, and the delay of the first probe after the click on Find.
// A timer that keeps its pace has a median within 15 ms of the interval and
// a first probe no sooner than the interval, less those 15 ms.
//
//   timer_pace [--probes N]      (default 20)
#include <cmath>

#include "bench/bench_window.h"

using namespace rs485;
using namespace rs485::bench;

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  const auto probes = static_cast<std::size_t>(option(argc, argv, "--probes", 20));

  // A device far above the probed addresses: the bus is live but silent.
  BenchRig bus(pacedBus({247}));
  if (!bus.openPort()) {
    std::fprintf(stderr, "timer_pace: the port did not open\n");
    return 1;
  }
  std::printf("timer pace: spacing of scan probes as the simulator saw them (request's last byte read)\n");
  printMachine();
  for (const int interval : {500, 750}) {
    const std::size_t before = bus.sim->requestsSeen();
    const auto started = std::chrono::steady_clock::now();
    bus.scanInRealTime(interval, 1, probes);
    const auto requests = bus.sim->log().snapshot(sim::FrameKind::Request);
    const std::size_t seen = bus.sim->requestsSeen() - before;
    if (seen < 2 || requests.size() < seen) {
      std::fprintf(stderr, "timer_pace: only %zu probes at %d ms\n", seen, interval);
      return 1;
    }
    std::vector<double> deviation;
    for (std::size_t i = requests.size() - seen + 1; i < requests.size(); ++i) {
      deviation.push_back(millisBetween(requests[i - 1].at, requests[i].at) - interval);
    }
    const Summary s = summarize(deviation);
    const double worst = std::fabs(s.min) > std::fabs(s.max) ? s.min : s.max;
    const double first = millisBetween(started, requests[requests.size() - seen].at);
    std::printf(
        "  %3d ms per address, %2zu probes (%2zu spacings): mean spacing %8.3f ms, mean deviation %+7.3f ms, "
        "worst deviation %+7.3f ms (spacings %.3f .. %.3f ms)\n",
        interval, seen, deviation.size(), interval + s.mean, s.mean, worst, interval + s.min,
        interval + s.max);
    std::printf(
        "      median spacing %8.3f ms (deviation %+7.3f ms, %s 15 ms); first probe %8.3f ms after Find\n",
        interval + s.median, s.median, std::fabs(s.median) <= 15.0 ? "within" : "OUTSIDE", first);
  }
  bus.stopAndClose();
  return 0;
}
