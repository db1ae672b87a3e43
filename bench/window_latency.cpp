// Exchange latency of the window: from the moment the simulator has written
// the last byte of a readings answer (its frame log's "done" time) to the
// moment the window's display shows it. One device, the simulator pacing its
// answers at 2400 baud; the poll's tick handler is driven back to back as
// soon as each answer is on screen, instead of once a second.
//
//   window_latency [--polls N]      (default 1000)
#include <QLineEdit>

#include "bench/bench_window.h"
#include "protocol/frames.h"
#include "protocol/readings.h"

using namespace rs485;
using namespace rs485::bench;

namespace {

constexpr int kDevice = 1;
constexpr std::size_t kCellsPerAnswer = 23;

// Paint events of one widget, noted once it has something new to show.
class PaintWatch : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && armed) {
      armed = false;
      paintedAt = SteadyClock::now();
      painted = true;
      if (onPainted) onPainted();
    }
    return false;
  }
  bool armed = false;
  bool painted = false;
  SteadyClock::time_point paintedAt{};
  std::function<void()> onPainted;
};

void printRow(const char* what, const Summary& s) {
  std::printf("  %-34s min %7.3f  median %7.3f  p99 %7.3f  max %7.3f ms  (%zu)\n", what, s.min, s.median,
              s.p99, s.max, s.count);
}

}  // namespace

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  const int polls = static_cast<int>(option(argc, argv, "--polls", 1000));

  // Frozen readings: every poll sets new ones, so that the cells change.
  BenchRig bus(pacedBus({kDevice}, 0.0));
  if (!bus.openPort()) {
    std::fprintf(stderr, "window_latency: the port did not open\n");
    return 1;
  }
  if (!bus.scanInRealTime(500, 1, 5)) {
    std::fprintf(stderr, "window_latency: the scan found no device\n");
    return 1;
  }
  bus.typeAddress(kDevice);
  bus.startPoll();
  // The ticks come from here, back to back, through the real tick handler.
  bus.window->readTimer.stop();

  BenchForm& window = *bus.window;
  QLineEdit* tempN4 = bus.form().tempN4;
  SteadyClock::time_point changedAt{};
  bool changed = false;
  QObject::connect(tempN4, &QLineEdit::textChanged, tempN4, [&] {
    changedAt = SteadyClock::now();
    changed = true;
  });
  PaintWatch paint;
  tempN4->installEventFilter(&paint);

  std::vector<double> toChanged, toCells, toPainted;
  int missed = 0;
  bool paintsSeen = true;  // offscreen platforms may paint nothing
  const auto started = SteadyClock::now();

  for (int i = 0; i < polls; ++i) {
    ReadingsResponse readings{
        kDevice, CmdReadCurrent, static_cast<std::int16_t>(201 + i % 9), 75, 2, 3, 1, 650, 90, 0};
    bus.sim->setReadings(kDevice, readings);
    const std::size_t answersBefore = bus.sim->answersSent();
    const std::size_t cellsBefore = window.cellWrites;
    changed = false;
    paint.painted = false;
    paint.armed = false;

    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    paint.onPainted = [&] { loop.quit(); };
    window.onCellWritten = [&](DigitCell) {
      if (window.cellWrites - cellsBefore < kCellsPerAnswer) return;
      paint.armed = true;
      // Without paints the wait ends here; with them, at the paint (or soon after).
      if (!paintsSeen)
        loop.quit();
      else
        guard.start(200);
    };
    guard.start(2000);
    window.readTimerTimer();
    loop.exec();
    window.onCellWritten = nullptr;
    paint.onPainted = nullptr;

    const bool answered = bus.sim->waitForAnswers(answersBefore + 1, milliseconds(500));
    if (!answered || window.cellWrites - cellsBefore < kCellsPerAnswer || !changed) {
      ++missed;
    } else {
      const auto answers = bus.sim->log().snapshot(sim::FrameKind::Answer);
      const SteadyClock::time_point done = answers.back().done;
      toChanged.push_back(millisBetween(done, changedAt));
      toCells.push_back(millisBetween(done, window.lastCellWrite));
      if (paint.painted) toPainted.push_back(millisBetween(done, paint.paintedAt));
      if (i == 0 && !paint.painted) paintsSeen = false;
    }
    // The next request may go out once the transmit thread has parked again.
    waitUntil([&] { return window.exchange().transmitParked(); }, milliseconds(1000), milliseconds(1));
  }
  const double elapsed = millisBetween(started, SteadyClock::now()) / 1e3;
  bus.stopAndClose();

  std::printf(
      "window exchange latency: simulator's last answer byte written (frame log 'done') -> display\n");
  std::printf(
      "  %d polls of 1 device over a pty, simulator pacing on (2400 baud); ticks driven back to back\n",
      polls);
  std::printf(
      "  through readTimerTimer as soon as each answer was shown, not 1 s apart (%.1f s, %.1f polls/s)\n",
      elapsed, static_cast<double>(polls) / elapsed);
  printMachine();
  printRow("tempN4 changed (textChanged)", summarize(toChanged));
  printRow("all 23 digit cells written", summarize(toCells));
  if (!toPainted.empty())
    printRow("tempN4 painted (paint event)", summarize(toPainted));
  else
    std::printf("  tempN4 painted: no paint events on this platform\n");
  std::printf("  polls without a displayed answer: %d\n", missed);
  return 0;
}
