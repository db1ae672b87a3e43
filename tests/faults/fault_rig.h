#pragma once

// The real window on the simulator's pseudo-terminal, driven the way an
// operator drives it, with every readTimer tick run by the test itself.

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/messages.h"
#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "monitor/recording_reader.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "sim/sim_server.h"
#include "tests/ui/window_rig.h"
#include "ui/head_form.h"
#include "ui_Main.h"

namespace rs485::faults {

using namespace std::chrono_literals;

// Runs the window's events until `done` holds; false once `timeout` has
// passed without it.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = 5s) {
  QDeadlineTimer deadline(timeout);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (deadline.hasExpired()) return false;
    std::this_thread::sleep_for(200us);
  }
}

// Swallows the timer's own events: the window starts and stops readTimer as
// it likes, and the test runs each tick by calling the handler.
class TimerMute : public QObject {
 public:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override { return event->type() == QEvent::Timer; }
};

// Readings with every field inside what the cells can show.
inline ReadingsResponse readingsOf(int address, int temperature, int timeMinutes, int step, int cycles,
                                   int numStep, int setTemperature, int setTimeMinutes) {
  ReadingsResponse r;
  r.address = static_cast<std::uint8_t>(address);
  r.command = CmdReadCurrent;
  r.temperature = static_cast<std::int16_t>(temperature);
  r.timeMinutes = static_cast<std::uint16_t>(timeMinutes);
  r.step = static_cast<std::uint8_t>(step);
  r.cycles = static_cast<std::uint8_t>(cycles);
  r.numStep = static_cast<std::uint8_t>(numStep);
  r.setTemperature = static_cast<std::int16_t>(setTemperature);
  r.setTimeMinutes = static_cast<std::uint16_t>(setTimeMinutes);
  return r;
}

inline QString padded(int value, int width) {
  return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

// Four cells of a temperature in tenths: "0235", "-057".
inline QString temperatureCells(int tenths) {
  return tenths < 0 ? QStringLiteral("-") + padded(-tenths, 3) : padded(tenths, 4);
}

// What the cells read, in the order of kDigitCells, once `r` has been shown.
// Only for readings that the cells can show whole.
inline QStringList cellsShowing(const ReadingsResponse& r) {
  const QString all = temperatureCells(r.temperature) + temperatureCells(r.setTemperature) +
                      padded(r.timeMinutes / 60, 2) + padded(r.timeMinutes % 60, 2) +
                      padded(r.setTimeMinutes / 60, 2) + padded(r.setTimeMinutes % 60, 2) +
                      padded(r.step, 2) + padded(r.numStep, 2) + padded(r.cycles, 3);
  QStringList cells;
  for (const QChar c : all) cells << QString(c);
  return cells;
}

inline QStringList initialCells() { return QStringList(kDigitCells.size(), QStringLiteral("0")); }

// The step and temperature of a recorded row of `r`.
inline RowTexts rowTextsOf(const ReadingsResponse& r) {
  const QString t = temperatureCells(r.temperature);
  return {padded(r.step, 2), t.left(3) + QStringLiteral(",") + t.right(1)};
}

inline QString dayMonthYear(const QDate& date) { return date.toString(QStringLiteral("dd.MM.yyyy")); }

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What this process holds now.
inline int entriesIn(const char* directory) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++n;
  return n;
}
inline int threadCount() { return entriesIn("/proc/self/task"); }
inline int descriptorCount() { return entriesIn("/proc/self/fd") - 1; }  // less the iterator's own
inline long residentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One device of the bus with the readings it always answers.
struct BusDevice {
  int address;
  ReadingsResponse readings;
};

inline sim::SimOptions busOf(const std::vector<BusDevice>& devices) {
  sim::SimOptions options;
  for (const BusDevice& d : devices) {
    sim::DeviceConfig config;
    config.address = d.address;
    config.fixedReadings = d.readings;
    options.devices.push_back(config);
  }
  options.pace = false;
  options.speed = 0;
  options.seed = 20261207;
  return options;
}

// The window on COM1 = the simulator's line (its symlink when the options
// name one), recording into a folder of its own with a clock the test moves.
// Without options the line is served by another process at `linePath`.
class FaultRig {
 public:
  explicit FaultRig(const sim::SimOptions& options, const QString& recordingDirectory = {})
      : sim(std::make_unique<sim::SimServer>(options)) {
    sim->start();
    setUp(sim->linkPath().empty() ? sim->toolPath() : sim->linkPath(), recordingDirectory);
  }
  explicit FaultRig(const std::string& linePath) { setUp(linePath, {}); }

  THeadForm& window() const { return *rig->window; }
  const Ui::THeadForm& form() const { return window().form(); }
  const QStringList& errors() const { return rig->errors; }
  QString filePath(int address) const { return QDir(recordingDir).filePath(recordingFileName(address)); }

  QStringList cells() const {
    QStringList texts;
    for (const auto& entry : kDigitCells) texts << window().cellText(entry.cell);
    return texts;
  }

  // The operator's click on a button or the check box.
  static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  bool openPort() {
    click(form().OpenClose);
    return window().session().isOpen() && errors().isEmpty();
  }
  bool closePort() {
    click(form().OpenClose);
    return !window().session().isOpen();
  }

  // One tick of readTimer, once the previous request has left (the transmit
  // thread takes one release per write).
  bool tick() {
    if (!waitUntil([this] { return window().exchange().transmitParked(); })) return false;
    window().readTimerTimer();
    return true;
  }

  // Ticks until one of the ticks sends a request (a tick that finds bytes
  // arriving after its purge sends nothing); returns how many did not, or
  // -1 when the window got stuck.
  int tickUntilSent() {
    for (int busy = 0; busy < 50; ++busy) {
      if (!tick()) return -1;
      if (!window().exchange().transmitParked()) return busy;
    }
    return -1;
  }

  // Runs a scan until `addresses` have been found, in that order, and
  // stops it there as the operator would. Each probe waits for the
  // simulator to see it, or, when the line is served elsewhere, for the
  // request to have left.
  bool scanFor(const std::vector<int>& addresses) {
    click(form().Find);
    auto& found = window().deviceState().FoundDevices;
    for (int address = kFirstBusAddress; address <= kLastBusAddress && found.size() < addresses.size();
         ++address) {
      const std::size_t requests = sim ? sim->requestsSeen() : 0;
      const std::size_t before = found.size();
      if (tickUntilSent() < 0 || (sim && !sim->waitForRequests(requests + 1, 5s))) return false;
      if (std::find(addresses.begin(), addresses.end(), address) != addresses.end() &&
          !waitUntil([&] { return found.size() == before + 1; })) {
        return false;
      }
    }
    if (form().Find->text() != msg::findCaption()) click(form().Find);
    std::vector<int> seen;
    for (const DeviceEntry& e : found) seen.push_back(e.address);
    return seen == addresses && form().Find->text() == msg::findCaption();
  }

  // A click on the device's row of ListAdress.
  bool select(int address) {
    QTableWidget* list = form().ListAdress;
    for (int row = 0; row < list->rowCount(); ++row) {
      if (list->item(row, 0)->text() != deviceCaption(address)) continue;
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualItemRect(list->item(row, 0)).center());
      return window().deviceState().SelectedAddress == address;
    }
    return false;
  }

  bool startPoll() {
    click(form().readingAll);
    return form().readingAll->text() == msg::stopCaption();
  }
  bool stopPoll() {
    click(form().readingAll);
    return form().readingAll->text() == msg::readingAllCaption();
  }
  bool startRecording() {
    click(form().wFile);
    return form().wFile->isChecked() && form().wFile->text() == msg::stopRecordingCaption();
  }

  // Ticks on, as the timer would, while the simulator's line is out, then
  // waits for the paced rewrite to get through on the line that came back.
  // False when the line does not come back or the rewrite never leaves.
  bool tickThroughOutage(std::chrono::milliseconds every = 250ms) {
    QDeadlineTimer deadline(60s);
    while (!sim->lineUp()) {
      if (deadline.hasExpired()) return false;
      window().readTimerTimer();
      waitUntil([this] { return sim->lineUp(); }, every);
    }
    return waitUntil([this] { return window().exchange().transmitParked(); });
  }

  // Local times of the rows recorded for `address`, in file order.
  std::vector<QDateTime> rowTimes(int address) const {
    std::vector<QDateTime> times;
    if (const auto contents = readRecordingFile(filePath(address))) {
      for (const RecordedRow& row : contents->rows)
        times.push_back(QDateTime::fromMSecsSinceEpoch(row.msecs));
    }
    return times;
  }

  std::vector<int> foundAddresses() const {
    std::vector<int> seen;
    for (const DeviceEntry& e : window().deviceState().FoundDevices) seen.push_back(e.address);
    return seen;
  }

  std::size_t pollIndex() const { return window().monitor().poll.PollIndex; }
  std::size_t deviceCount() const { return window().deviceState().FoundDevices.size(); }

  std::unique_ptr<sim::SimServer> sim;  // null when another process serves the line
  QDateTime now{QDate(2026, 12, 7), QTime(10, 0, 30)};
  QTemporaryDir files;
  QString recordingDir;
  TimerMute mute;
  std::unique_ptr<test::WindowRig> rig;

 private:
  void setUp(const std::string& linePath, const QString& recordingDirectory) {
    rig = std::make_unique<test::WindowRig>(PortNames({{"COM1", linePath}}));
    window().setClock([this] { return now; });
    recordingDir = recordingDirectory.isEmpty() ? files.path() : recordingDirectory;
    window().setRecordingOptions({recordingDir, dayMonthYear});
    window().readTimer.installEventFilter(&mute);
  }
};

// A file's expected bytes: what it held before, the scan's header when it
// was empty, then the rows the answers should have left.
class ExpectedFile {
 public:
  explicit ExpectedFile(int address, const QByteArray& before = {})
      : bytes_(before.isEmpty() ? toCp1251(recordingHeader(address)) : before) {}
  void row(const QDateTime& at, const RowTexts& texts) {
    bytes_ += toCp1251(recordingRow(dayMonthYear(at.date()), at.time(), texts));
    ++rows_;
  }
  // The file is gone: the next row starts a new one, without a header.
  void restart() { bytes_.clear(); }
  const QByteArray& bytes() const { return bytes_; }
  int rows() const { return rows_; }

 private:
  QByteArray bytes_;
  int rows_ = 0;
};

}  // namespace rs485::faults
