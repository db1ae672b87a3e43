// Recovery after an unplug: the window polls one device once a second with
// the real readTimer while the simulator pulls its line out and plugs it
// back behind the same path. Measures the time from the line coming back
// (the simulator's "back") to the first answer on the display.
//
//   replug [--replugs N] [--outage MS]      (defaults 20 and 2000)
#include <QApplication>

#include "bench/bench_window.h"

using namespace rs485;
using namespace rs485::bench;

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  const int replugs = static_cast<int>(option(argc, argv, "--replugs", 20));
  const milliseconds outage(static_cast<long long>(option(argc, argv, "--outage", 2000)));

  QTemporaryDir dir;
  sim::SimOptions options = pacedBus({1}, 0.0);
  options.linkPath = dir.filePath(QStringLiteral("ttyUSB-link")).toStdString();
  BenchRig bus(options);  // COM1 is the link, as a by-id path would be
  if (!bus.openPort() || !bus.scanInRealTime(500, 1, 5)) {
    std::fprintf(stderr, "replug: the port did not open or the scan found nothing\n");
    bus.dump();
    return 1;
  }
  bus.typeAddress(1);
  bus.startPoll();

  BenchForm& window = *bus.window;
  std::optional<SteadyClock::time_point> firstShown;
  bool armed = false;
  window.onCellWritten = [&](DigitCell) {
    if (armed && !firstShown) firstShown = SteadyClock::now();
  };

  std::vector<double> recovery;
  for (int i = 0; i < replugs; ++i) {
    if (!waitUntil([&] { return window.cellWrites > 0; }, milliseconds(5000))) break;
    if (!bus.sim->unplugFor(outage)) break;
    armed = true;
    firstShown.reset();
    // New readings, so that the first answer after the outage changes the cells.
    ReadingsResponse r{1, CmdReadCurrent, static_cast<std::int16_t>(100 + i), 130, 3, 7, 9, 1200, 90, 0};
    bus.sim->setReadings(1, r);
    if (!waitUntil([&] { return firstShown.has_value(); }, outage + milliseconds(10000), milliseconds(1))) {
      std::fprintf(stderr, "replug: no answer shown after replug %d\n", i + 1);
      bus.dump();
      return 1;
    }
    armed = false;
    const auto lines = bus.sim->log().snapshot(sim::FrameKind::Line);
    if (lines.empty() || lines.back().verdict != "back") break;
    recovery.push_back(millisBetween(lines.back().at, *firstShown));
  }
  if (static_cast<int>(recovery.size()) != replugs) {
    std::fprintf(stderr, "replug: only %zu of %d replugs went through\n", recovery.size(), replugs);
    return 1;
  }
  const Summary s = summarize(recovery);
  std::printf(
      "replug: line back -> first answer displayed, %d replugs after %lld ms outages, poll every 1 s\n",
      replugs, static_cast<long long>(outage.count()));
  std::printf("  min %7.1f  median %7.1f  max %7.1f ms\n", s.min, s.median, s.max);
  printMachine();
  bus.stopAndClose();
  return 0;
}
