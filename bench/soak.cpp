// Soak: the window polls 32 simulated devices (pacing on, readings evolving
// in real time) with recording on, the files going into a temporary folder,
// for a given time. Prints resident memory, threads and descriptors at the
// start and the end (and once a minute), the answers and the rows written.
//
//   soak [--minutes M] [--seconds S] [--keep]     (default 10 minutes)
// The time counts from the start of the poll; the scan that finds the 32
// devices comes before it (about 17 s). --keep leaves the files in place.
#include <QDir>
#include <QTemporaryDir>

#include "bench/bench_window.h"

using namespace rs485;
using namespace rs485::bench;

namespace {

constexpr int kDevices = 32;

struct Rows {
  int files = 0;
  long rows = 0;
};

// Every file holds two header lines, then one line per row.
Rows countRows(const QString& directory) {
  Rows counted;
  for (const QFileInfo& info : QDir(directory).entryInfoList({QStringLiteral("*.txt")}, QDir::Files)) {
    std::ifstream file(info.filePath().toStdString(), std::ios::binary);
    const long lines =
        std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n');
    ++counted.files;
    counted.rows += std::max(0L, lines - 2);
  }
  return counted;
}

long printSample(const char* when, double seconds, const BenchRig& bus, std::size_t answersAtStart,
                 const QString& directory) {
  const Rows rows = countRows(directory);
  const long rss = residentKiB();
  std::printf(
      "  %-6s %7.1f s  VmRSS %6ld KiB  threads %2d  descriptors %3d  answers %6zu  files %2d  rows %5ld\n",
      when, seconds, rss, threadCount(), descriptorCount(), bus.sim->answersSent() - answersAtStart,
      rows.files, rows.rows);
  std::fflush(stdout);
  return rss;
}

}  // namespace

int main(int argc, char** argv) {
  defaultToOffscreen();
  QApplication application(argc, argv);
  double seconds = option(argc, argv, "--minutes", 10) * 60;
  seconds = option(argc, argv, "--seconds", seconds);
  QTemporaryDir directory;
  if (!directory.isValid()) {
    std::fprintf(stderr, "soak: no temporary folder\n");
    return 1;
  }
  directory.setAutoRemove(!flag(argc, argv, "--keep"));

  std::printf("soak: polling %d simulated devices (pacing on) with recording on, %.0f s\n", kDevices,
              seconds);
  printMachine();
  std::printf("  recording into %s\n", directory.path().toUtf8().constData());
  const long rssBefore = residentKiB();
  const long threadsBefore = threadCount();
  const long descriptorsBefore = descriptorCount();
  const std::string descriptorsBeforeList = descriptorTargets();
  {
    BenchRig bus(pacedBus(addressRange(1, kDevices)));
    bus.window->setRecordingOptions(RecordingOptions{directory.path(), {}});
    if (!bus.openPort()) {
      std::fprintf(stderr, "soak: the port did not open\n");
      return 1;
    }
    bus.scanInRealTime(500, kDevices, kDevices + 4);
    if (bus.deviceCount() == 0) {
      std::fprintf(stderr, "soak: the scan found no device\n");
      bus.dump();
      return 1;
    }
    // An answer that comes later than the next tick is lost, as on a real bus.
    if (bus.deviceCount() != kDevices)
      std::printf("  note: the scan found %zu of %d devices; polling those\n", bus.deviceCount(), kDevices);
    bus.typeAddress(1);
    bus.startPoll();
    bus.form().wFile->click();
    if (bus.form().wFile->text() != msg::stopRecordingCaption()) {
      std::fprintf(stderr, "soak: recording did not start\n");
      return 1;
    }
    const std::size_t answersAtStart = bus.sim->answersSent();
    const auto started = SteadyClock::now();
    const auto elapsed = [&] { return millisBetween(started, SteadyClock::now()) / 1e3; };
    const long rssStart = printSample("start", 0, bus, answersAtStart, directory.path());
    const std::string threadsAtStart = threadNames();
    const std::string descriptorsAtStart = descriptorTargets();

    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout,
                     [&] { printSample("", elapsed(), bus, answersAtStart, directory.path()); });
    sample.start(seconds > 120 ? 60000 : 10000);
    runFor(milliseconds(static_cast<long long>(seconds * 1000)));
    sample.stop();
    const double ran = elapsed();
    const long rssEnd = printSample("end", ran, bus, answersAtStart, directory.path());
    std::printf("  threads at the start: %s\n  threads at the end:   %s\n", threadsAtStart.c_str(),
                threadNames().c_str());
    std::printf("  descriptors at the start: %s\n  descriptors at the end:   %s\n",
                descriptorsAtStart.c_str(), descriptorTargets().c_str());
    const std::size_t answers = bus.sim->answersSent() - answersAtStart;
    std::size_t requests = 0;
    for (const int address : bus.sim->addresses()) {
      if (const auto stats = bus.sim->stats(address)) requests += stats->requests;
    }
    bus.stopAndClose();
    QCoreApplication::processEvents();
    const Rows rows = countRows(directory.path());
    std::printf(
        "  resident memory: %ld KiB at the start of the poll, %ld KiB at its end (%+ld KiB); %ld KiB before "
        "the window\n",
        rssStart, rssEnd, rssEnd - rssStart, rssBefore);
    std::printf(
        "  answers %zu in %.0f s (%zu requests heard by the devices since the start), files %d, rows %ld\n",
        answers, ran, requests, rows.files, rows.rows);
    std::printf("  window errors shown: %lld\n", static_cast<long long>(bus.errors.size()));
  }
  QCoreApplication::processEvents();
  std::printf(
      "  after the window and the simulator are gone: threads %d (%ld before), descriptors %d (%ld "
      "before), "
      "VmRSS %ld KiB\n",
      threadCount(), threadsBefore, descriptorCount(), descriptorsBefore, residentKiB());
  std::printf("  threads left: %s\n  descriptors before: %s\n  descriptors left:   %s\n",
              threadNames().c_str(), descriptorsBeforeList.c_str(), descriptorTargets().c_str());
  return 0;
}
