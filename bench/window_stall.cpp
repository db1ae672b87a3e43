// Event-loop stalls of the window: a 10 ms heartbeat timer (precise) on the
// user-interface thread, and how late its beats come while the port is open
// and idle, during a scan (real readTimer, 8 devices among the probed
// addresses, the question answered "Да" with "Не спрашивать"), and during a
// poll of those 8 devices (real readTimer). Lateness of a beat: the time
// since the previous beat less 10 ms.
//
//   window_stall [--idle S] [--probes N] [--poll S]     (defaults 5, 20, 20)
#include "bench/bench_window.h"

using namespace rs485;
using namespace rs485::bench;

namespace {

constexpr int kBeatMs = 10;

class Heartbeat {
 public:
  Heartbeat() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kBeatMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = SteadyClock::now();
      const double cpu = threadCpuMillis();
      if (beats_ > 0) {
        lateness_.push_back(millisBetween(last_, now) - kBeatMs);
        busy_.push_back(cpu - lastCpu_);
      }
      last_ = now;
      lastCpu_ = cpu;
      ++beats_;
    });
  }
  void start() {
    lateness_.clear();
    busy_.clear();
    beats_ = 0;
    timer_.start();
  }
  void stop() { timer_.stop(); }

  void print(const char* phase, double seconds) const {
    const Summary s = summarize(lateness_);
    const auto late = std::count_if(lateness_.begin(), lateness_.end(), [](double l) { return l > 5.0; });
    std::printf(
        "  %-40s %5zu beats in %5.1f s   worst %6.2f ms   p99 %5.2f ms   median %5.2f ms   >5 ms late: %ld\n",
        phase, beats_, seconds, s.max, s.p99, s.median, static_cast<long>(late));
    if (lateness_.empty()) return;
    // Work on this thread delays a beat; so does a processor taken by others.
    const auto worst =
        static_cast<std::size_t>(std::max_element(lateness_.begin(), lateness_.end()) - lateness_.begin());
    std::printf("    this thread's CPU time in the worst gap %.2f ms; most in any gap %.2f ms\n",
                busy_[worst], *std::max_element(busy_.begin(), busy_.end()));
  }

 private:
  QTimer timer_;
  SteadyClock::time_point last_{};
  double lastCpu_ = 0;
  std::size_t beats_ = 0;
  std::vector<double> lateness_;
  std::vector<double> busy_;  // CPU time of this thread between two beats
};

}  // namespace

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  const auto idleSeconds = option(argc, argv, "--idle", 5);
  const auto probes = static_cast<std::size_t>(option(argc, argv, "--probes", 20));
  const auto pollSeconds = option(argc, argv, "--poll", 20);

  const std::vector<int> devices = {2, 4, 6, 8, 10, 12, 14, 16};
  BenchRig bus(pacedBus(devices));
  if (!bus.openPort()) {
    std::fprintf(stderr, "window_stall: the port did not open\n");
    return 1;
  }

  std::printf("event-loop stall: lateness of a 10 ms precise heartbeat timer on the user-interface thread\n");
  std::printf("  window on a pty to the simulator (pacing on), devices at 2,4,..,16\n");
  printMachine();
  Heartbeat heartbeat;

  heartbeat.start();
  auto started = SteadyClock::now();
  runFor(milliseconds(static_cast<long long>(idleSeconds * 1000)));
  heartbeat.stop();
  heartbeat.print("port open, idle", millisBetween(started, SteadyClock::now()) / 1e3);

  heartbeat.start();
  started = SteadyClock::now();
  const std::size_t requestsBefore = bus.sim->requestsSeen();
  bus.scanInRealTime(500, devices.size() + 1, probes);
  heartbeat.stop();
  char phase[96];
  std::snprintf(phase, sizeof phase, "scan, 500 ms, %zu probes, %zu found",
                bus.sim->requestsSeen() - requestsBefore, bus.deviceCount());
  heartbeat.print(phase, millisBetween(started, SteadyClock::now()) / 1e3);
  std::printf("    (questions answered automatically: %d)\n", static_cast<int>(bus.dialog->asked.size()));
  if (bus.deviceCount() == 0) {
    std::fprintf(stderr, "window_stall: the scan found nothing to poll\n");
    return 1;
  }

  bus.typeAddress(devices.front());
  const std::size_t answersBefore = bus.sim->answersSent();
  heartbeat.start();
  started = SteadyClock::now();
  bus.startPoll();
  runFor(milliseconds(static_cast<long long>(pollSeconds * 1000)));
  heartbeat.stop();
  std::snprintf(phase, sizeof phase, "poll of %zu devices, 1000 ms, %zu answers", bus.deviceCount(),
                bus.sim->answersSent() - answersBefore);
  heartbeat.print(phase, millisBetween(started, SteadyClock::now()) / 1e3);
  bus.stopAndClose();
  return 0;
}
