// CPU time of the whole process (getrusage) while the window polls, with the
// real timers:
//   1. 8 simulated devices answering at 2400 baud, for --seconds (default 60);
//   2. a line whose devices answer every readings request with only 10 of
//      its 16 bytes, so a partial frame waits in the input queue between
//      the ticks, for --stuck-seconds (default 10);
//   3. the poll stopped with 10 bytes of a frame left in the queue and no
//      tick to purge them, for --stuck-seconds.
// The process figure includes the simulator's thread (phase 1) or the
// bench's device thread (phases 2, 3); the user-interface thread and the
// link's two workers are shown apart.
//
//   window_cpu [--seconds N] [--stuck-seconds N]
#include <atomic>
#include <thread>

#include "bench/bench_window.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/link/pty_pair.h"

using namespace rs485;
using namespace rs485::bench;

namespace {

constexpr int kDevices = 8;
constexpr std::size_t kShortLength = 10;
constexpr auto kByteTime = std::chrono::microseconds(4167);

struct CpuMark {
  double process = 0, ui = 0, workers = 0;
  static CpuMark take(const Exchange& exchange) {
    return {processCpuMillis(), threadCpuMillis(),
            std::chrono::duration<double, std::milli>(exchange.receiveThreadCpuTime() +
                                                      exchange.transmitThreadCpuTime())
                .count()};
  }
};

void printPhase(const char* name, const CpuMark& from, const CpuMark& to, double seconds,
                const char* traffic) {
  const double process = to.process - from.process;
  const double ui = to.ui - from.ui;
  const double workers = to.workers - from.workers;
  std::printf("  %s\n", name);
  std::printf(
      "    process %8.1f ms in %5.1f s = %.3f %% of one core   (user-interface thread %.1f ms, link workers "
      "%.1f ms, rest %.1f ms)\n",
      process, seconds, process / (seconds * 10.0), ui, workers, process - ui - workers);
  std::printf("    %s\n", traffic);
}

// Devices on the master end of a pty that answer probes properly and every
// readings request with the first bytes of its answer only, at line speed.
class ShortAnswerDevices {
 public:
  explicit ShortAnswerDevices(test::PtyPair& pty) : pty_(pty), thread_([this] { run(); }) {}
  ~ShortAnswerDevices() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<int> requests{0};

 private:
  void paced(const std::uint8_t* bytes, std::size_t count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (std::size_t i = 0; i < count && !stop_; ++i) {
      pty_.write({bytes[i]});
      std::this_thread::sleep_for(kByteTime);
    }
  }
  void run() {
    while (!stop_) {
      const test::Bytes request = pty_.read(kBusRequestLength, std::chrono::milliseconds(100));
      if (request.size() != kBusRequestLength) continue;
      ++requests;
      if (request[0] < 1 || request[0] > kDevices) continue;
      std::uint8_t frame[kReadingsResponseLength];
      if (request[1] == CmdProbe) {
        encodeStatusResponse(StatusResponse{request[0], CmdProbe, 0}, frame);
        paced(frame, kStatusResponseLength);
      } else if (request[1] == CmdReadCurrent) {
        encodeReadingsResponse(ReadingsResponse{request[0], CmdReadCurrent, 215, 75, 2, 3, 1, 650, 90, 0},
                               frame);
        paced(frame, kShortLength);
      }
    }
  }
  test::PtyPair& pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Opens the port and scans for the devices; `scan` runs the scan. An
// answer later than the next tick is lost, as on a real bus, so a loaded
// machine may find fewer.
template <typename Rig, typename Scan>
bool scanned(Rig& bus, const Scan& scan) {
  if (!bus.openPort()) {
    std::fprintf(stderr, "window_cpu: the port did not open\n");
    return false;
  }
  scan();
  if (bus.deviceCount() == 0) {
    std::fprintf(stderr, "window_cpu: the scan found no device\n");
    return false;
  }
  if (bus.deviceCount() != kDevices)
    std::printf("  note: the scan found %zu of %d devices\n", bus.deviceCount(), kDevices);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  const double seconds = option(argc, argv, "--seconds", 60);
  const double stuckSeconds = option(argc, argv, "--stuck-seconds", 10);
  const auto length = [](double s) { return milliseconds(static_cast<long long>(s * 1000)); };
  char traffic[160];

  std::printf("window CPU time, process getrusage, real readTimer (1000 ms) and dotTimer\n");
  printMachine();
  {
    BenchRig bus(pacedBus(addressRange(1, kDevices)));
    if (!scanned(bus, [&] { bus.scanInRealTime(500, kDevices, 20); })) return 1;
    bus.typeAddress(1);
    bus.startPoll();
    const std::size_t answers = bus.sim->answersSent();
    const CpuMark from = CpuMark::take(bus.window->exchange());
    const auto started = SteadyClock::now();
    runFor(length(seconds));
    const CpuMark to = CpuMark::take(bus.window->exchange());
    const double elapsed = millisBetween(started, SteadyClock::now()) / 1e3;
    std::snprintf(traffic, sizeof traffic,
                  "%zu answers displayed or passed over; rest = the simulator's thread",
                  bus.sim->answersSent() - answers);
    char name[96];
    std::snprintf(name, sizeof name, "1. polling %zu simulated devices (pacing on)", bus.deviceCount());
    printPhase(name, from, to, elapsed, traffic);
  }
  {
    test::PtyPair pty;
    ShortAnswerDevices devices(pty);
    BenchLineRig bus(PortNames({{"COM1", pty.slavePath()}}));
    const auto requestsSeen = [&] { return static_cast<std::size_t>(devices.requests.load()); };
    if (!scanned(bus, [&] { bus.scanInRealTime(500, kDevices, 20, requestsSeen); })) return 1;
    bus.typeAddress(1);
    bus.startPoll();
    const int requests = devices.requests;
    CpuMark from = CpuMark::take(bus.window->exchange());
    auto started = SteadyClock::now();
    runFor(length(stuckSeconds));
    CpuMark to = CpuMark::take(bus.window->exchange());
    std::snprintf(
        traffic, sizeof traffic,
        "%d requests, each answered with %zu of 16 bytes that wait in the queue until the next tick",
        devices.requests - requests, kShortLength);
    printPhase("2. polling while every answer stops short (partial frame queued between ticks)", from, to,
               millisBetween(started, SteadyClock::now()) / 1e3, traffic);

    bus.stopPoll();
    runFor(milliseconds(300));  // the last answer's bytes come in and are purged by nothing
    const int queuedAfterStop = bus.window->exchange().inputQueued();
    test::Bytes partial(kShortLength, 0x5A);
    if (queuedAfterStop == 0) pty.write(partial);
    waitUntil([&] { return bus.window->exchange().inputQueued() > 0; }, milliseconds(1000), milliseconds(1));
    const int queued = bus.window->exchange().inputQueued();
    from = CpuMark::take(bus.window->exchange());
    started = SteadyClock::now();
    runFor(length(stuckSeconds));
    to = CpuMark::take(bus.window->exchange());
    std::snprintf(traffic, sizeof traffic,
                  "%d bytes in the input queue at the start, %d at the end, 16 expected", queued,
                  bus.window->exchange().inputQueued());
    printPhase("3. poll stopped, a partial frame stuck in the input queue, no tick", from, to,
               millisBetween(started, SteadyClock::now()) / 1e3, traffic);
  }
  return 0;
}
