#pragma once

// The real main window, shown, on COM1 = the simulator's pseudo-terminal
// through the real Linux serial layer (or on lines served elsewhere, with no
// simulator in the process), with
// its error boxes noted instead of shown, its confirmation dialog answered
// by a script, its recording files in a folder of the rig's own and, unless
// told otherwise, a clock the test moves and timer ticks the test gives by
// calling the handlers.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "devices/messages.h"
#include "link/open_device.h"
#include "link/serial_device.h"
#include "monitor/digit_cells.h"
#include "monitor/recording.h"
#include "monitor/recording_reader.h"
#include "protocol/frames.h"
#include "sim/sim_server.h"
#include "tests/support/dialog_script.h"
#include "tests/support/gated_line.h"
#include "tests/support/ser2net.h"
#include "tests/support/sim_bus.h"
#include "tests/support/wait_until.h"
#include "ui/attention.h"
#include "ui/head_form.h"
#include "ui_Main.h"

namespace rs485::test {

using namespace std::chrono_literals;

inline QString dayMonthYear(const QDate& date) { return date.toString(QStringLiteral("dd.MM.yyyy")); }

// The four bytes of a request as they go on the line.
inline std::vector<std::uint8_t> requestBytes(int address, int command) {
  const TxFrame frame = buildBusRequest(address, command);
  return {frame.begin(), frame.begin() + kBusRequestLength};
}

struct RigSetup {
  // Real: readTimer and dotTimer call their handlers and the clock is the
  // system's. Otherwise the timers run and keep their intervals, but their
  // ticks are left to the test, and the time is `now`.
  bool realTime = false;
  bool askQuestions = true;  // the scan's question goes to the scripted dialog; false: never asked
  QString recordingDir;      // empty: a folder of the rig's own
  int screenWidth = THeadForm::kSmallScreenWidth;
  bool printErrors = false;                             // error boxes also go to standard error
  QDateTime now{QDate(2026, 12, 7), QTime(10, 5, 30)};  // where the test's clock starts
  // The bus reached through ser2net in front of the simulator, as through a
  // serial device server; none: the simulator's line itself.
  std::optional<Ser2net::Mode> throughSer2net;
};

// The window as the operator meets it: its timers tick by themselves, the
// clock is the system's and a scan asks nothing.
inline RigSetup asShown(int screenWidth = THeadForm::kSmallScreenWidth) {
  RigSetup setup;
  setup.realTime = true;
  setup.askQuestions = false;
  setup.screenWidth = screenWidth;
  return setup;
}

// Where a rig's ports lead: to a simulator of the rig's own, or to lines
// served elsewhere (another process, a thread of the test, or nothing), with
// no simulator in the process.
struct OwnSimulator {};
struct LinesElsewhere {};

// What a rig on lines served elsewhere has in place of a simulator: nothing
// to read, so that reading the simulator of such a rig does not compile.
struct NoSimulator {};

template <typename Form, typename Bus = OwnSimulator>
class BasicWindowRig {
  static_assert(std::is_same_v<Bus, OwnSimulator> || std::is_same_v<Bus, LinesElsewhere>);

 public:
  static constexpr bool kOwnSimulator = std::is_same_v<Bus, OwnSimulator>;

  // COM1 = the simulator's line: its symlink when the bus names one, or
  // ser2net's address in front of it.
  explicit BasicWindowRig(const sim::SimOptions& bus, RigSetup setup = {}) requires kOwnSimulator
      : sim(std::make_unique<sim::SimServer>(bus)) {
    sim->start();
    std::string path = sim->linkPath().empty() ? sim->toolPath() : sim->linkPath();
    if (setup.throughSer2net) {
      server = std::make_unique<Ser2net>(path, *setup.throughSer2net);
      serverUp = server->start();
      path = server->url();
    }
    setUp(PortNames({{"COM1", path}}), setup);
  }
  // Ports served by another process or thread, or none at all.
  explicit BasicWindowRig(PortNames ports, RigSetup setup = {}) requires(!kOwnSimulator) {
    setUp(std::move(ports), setup);
  }

  ~BasicWindowRig() {
    dialog.reset();
    window.reset();  // closes the port, which also frees a held receive thread, before the bus goes
  }
  BasicWindowRig(const BasicWindowRig&) = delete;
  BasicWindowRig& operator=(const BasicWindowRig&) = delete;

  // --- the window's parts -------------------------------------------------

  const Ui::THeadForm& form() const { return window->form(); }
  template <typename T = QWidget>
  T* control(const char* name) const {
    return window->template findChild<T*>(QString::fromLatin1(name));
  }
  QTableWidget* list() const { return form().ListAdress; }
  Exchange& exchange() const { return window->exchange(); }
  DeviceState& state() const { return window->deviceState(); }
  PortSession& session() const { return window->session(); }

  QStringList listed() const {
    QStringList captions;
    for (int row = 0; row < list()->rowCount(); ++row) captions << list()->item(row, 0)->text();
    return captions;
  }
  std::vector<int> foundAddresses() const {
    std::vector<int> seen;
    for (const DeviceEntry& e : state().FoundDevices) seen.push_back(e.address);
    return seen;
  }
  std::size_t deviceCount() const { return state().FoundDevices.size(); }
  std::size_t pollIndex() const { return window->bus().poll.PollIndex; }

  QString editors(const char* a, const char* b, const char* c) const {
    return control<QLineEdit>(a)->text() + control<QLineEdit>(b)->text() + control<QLineEdit>(c)->text();
  }
  QString address() const { return editors("n1_addr", "n2_addr", "n3_addr"); }
  QString newAddress() const { return editors("new1", "new2", "new3"); }

  // The digit cells in the order of kDigitCells.
  QStringList cells() const {
    QStringList texts;
    for (const auto& entry : kDigitCells) texts << window->cellText(entry.cell);
    return texts;
  }
  // Texts of digit cells run together: cellsText({DigitCell::tempN1, DigitCell::tempN2}) == "02".
  QString cellsText(const std::vector<DigitCell>& row) const {
    QString text;
    for (const DigitCell cell : row) text += window->cellText(cell);
    return text;
  }

  // --- the operator's hands ------------------------------------------------

  static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void click(const char* name) const { QTest::mouseClick(control(name), Qt::LeftButton); }
  void clickRow(int row) const {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                      list()->visualItemRect(list()->item(row, 0)).center());
  }
  // A click on the device's row of ListAdress.
  bool select(int address) {
    const int row = static_cast<int>(listed().indexOf(deviceCaption(address)));
    if (row < 0) return fail("the device is not listed");
    clickRow(row);
    return state().SelectedAddress == address || fail("the click did not choose the device");
  }
  // The working device typed into n1_addr, n2_addr, n3_addr.
  void typeAddress(int address) {
    window->setAddressDigit(0, QString::number(address / 100));
    window->setAddressDigit(1, QString::number(address / 10 % 10));
    window->setAddressDigit(2, QString::number(address % 10));
  }

  // The main window takes the keyboard again, as it does when a dialog over
  // it has closed.
  bool activate() {
    window->activateWindow();
    return waitUntil([this] { return QApplication::activeWindow() == window.get(); }) ||
           fail("the window is not active");
  }

  bool openPort() {
    click(form().OpenClose);
    if (!session().isOpen()) return fail("the port did not open");
    return errors.isEmpty() || fail("the window reported an error");
  }
  bool closePort() {
    click(form().OpenClose);
    return !session().isOpen() || fail("the port did not close");
  }
  // Whatever runs is stopped as the operator stops it, then the port is closed.
  void stopAndClose() {
    if (form().readingAll->text() != msg::readingAllCaption()) click(form().readingAll);
    if (form().Find->text() != msg::findCaption()) click(form().Find);
    if (session().isOpen()) click(form().OpenClose);
  }
  bool startPoll() {
    click(form().readingAll);
    return form().readingAll->text() == msg::stopCaption() || fail("the poll did not start");
  }
  bool stopPoll() {
    click(form().readingAll);
    return form().readingAll->text() == msg::readingAllCaption() || fail("the poll did not stop");
  }
  bool startRecording() {
    click(form().wFile);
    return (form().wFile->isChecked() && form().wFile->text() == msg::stopRecordingCaption()) ||
           fail("recording did not start");
  }

  // --- the bus ----------------------------------------------------------------

  std::vector<sim::FrameRecord> requests() const requires kOwnSimulator {
    return sim->log().snapshot(sim::FrameKind::Request);
  }
  // Addresses of the requests the bus saw from the index on.
  QList<int> requestedAddresses(std::size_t from = 0) const requires kOwnSimulator {
    QList<int> addresses;
    const auto seen = requests();
    for (std::size_t i = from; i < seen.size(); ++i) addresses << seen[i].address;
    return addresses;
  }
  // The simulator's frame log and the found addresses, for a run that went wrong.
  void dump() const {
    std::string found;
    for (const int address : foundAddresses()) found += std::to_string(address) + " ";
    std::fprintf(stderr, "found: %s\nstatus: %s\n", found.c_str(), window->statusText().toUtf8().constData());
    if constexpr (kOwnSimulator) {
      for (const auto& record : sim->log().snapshot())
        std::fprintf(stderr, "%s\n", sim::FrameLog::format(record).c_str());
    }
  }

  // --- ticks given by the test, one request at a time --------------------------

  // One tick of readTimer, once the previous request has left (the transmit
  // thread takes one release per write).
  bool tick() {
    if (!waitUntil([this] { return exchange().transmitParked(); }, 5s))
      return fail("the previous request hangs");
    window->readTimerTimer();
    return true;
  }

  // Once the request of the last tick has been written: a test that pulls
  // the line before would catch that write, which then fails and is retried
  // until the line is back.
  bool requestLeft() {
    return waitUntil([this] { return exchange().transmitParked(); }, 5s) ||
           fail("the last request did not leave");
  }

  // Ticks until one of the ticks sends a request (a tick that finds bytes
  // arriving after its purge sends nothing); returns how many did not, or
  // -1 when the window got stuck.
  int tickUntilSent() {
    for (int busy = 0; busy < 50; ++busy) {
      if (!tick()) return -1;
      if (!exchange().transmitParked()) return busy;
    }
    return -1;
  }

  // One tick of readTimer, given while the timer runs, that must put a
  // request on the bus: returns once the bus has seen it, the transmit
  // thread is parked again and whatever the request drew from the bus has
  // been dealt with by the window (a question included).
  bool tickAndSend() requires kOwnSimulator {
    if (!window->readTimer.isActive()) return fail("readTimer is off: no tick would come");
    return send([this] { window->readTimerTimer(); });
  }

  // Runs `action`, which must put one request on the bus, and waits as
  // tickAndSend does. While the receive thread is held only the request is awaited.
  bool send(const std::function<void()>& action) requires kOwnSimulator {
    if (!exchange().transmitParked()) return fail("a request is still being sent");
    const std::size_t before = sim->requestsSeen();
    const std::size_t answered = sim->answersSent();
    const std::size_t arrivals = line->arrivals();
    action();
    if (!sim->waitForRequests(before + 1, 5s)) return fail("no request reached the bus");
    if (sim->requestsSeen() != before + 1) return fail("more than one request");
    lastRequest = requests().back();
    if (!waitUntil([this] { return exchange().transmitParked(); }))
      return fail("the transmit thread is not parked");
    if (held || (lastRequest.verdict != "answered" && lastRequest.verdict != "refused")) return true;
    if (!sim->waitForAnswers(answered + 1, 5s)) return fail("the bus sent no answer");
    const auto length = static_cast<int>(sim->log().snapshot(sim::FrameKind::Answer).back().bytes.size());
    // Either taken (and handed over) or left in the queue whole.
    const auto dealtWith = [&] {
      const int queued = exchange().inputQueued();
      return line->settledAfter(arrivals) && (queued == 0 || queued >= length);
    };
    return waitUntil(dealtWith) || fail("the answer was not dealt with");
  }

  // A scan tick.
  bool scanTick() requires kOwnSimulator {
    if (!tickAndSend()) return false;
    return lastRequest.bytes == requestBytes(lastRequest.address, CmdProbe) || fail("the tick sent no probe");
  }

  // Scan ticks until the scan has probed `last` or the timer stops.
  bool scanThrough(int last) requires kOwnSimulator {
    while (window->readTimer.isActive() && window->bus().scan.ScanAddress() <= last) {
      if (!scanTick()) return false;
    }
    return true;
  }

  // Scan ticks as long as the timer runs; at most 247 of them.
  bool scanToEnd(int* ticks = nullptr) requires kOwnSimulator {
    int given = 0;
    while (window->readTimer.isActive()) {
      if (given == kLastBusAddress) return fail("the scan goes on after 247 ticks");
      if (!scanTick()) return false;
      ++given;
    }
    if (ticks != nullptr) *ticks = given;
    return true;
  }

  // Opens the port and scans up to `last` answering the first question with
  // "Да" and "Не спрашивать", then stops the scan with "[Стоп]" unless it
  // has ended by itself.
  bool findDevicesThrough(int last) requires kOwnSimulator {
    if (!openPort()) return false;
    dialog->script({Answer::YesDontAsk});
    click("Find");
    if (!scanThrough(last)) return false;
    if (window->form().Find->text() == msg::stopCaption()) click("Find");
    if (window->form().Find->text() != msg::findCaption()) return fail("the scan did not stop");
    return activate();
  }

  // Runs a scan until `addresses` have been found, in that order, and
  // stops it there as the operator would. Each probe waits for the
  // simulator to see it, or, when the line is served elsewhere, for the
  // request to have left.
  bool scanFor(const std::vector<int>& addresses) {
    click(form().Find);
    auto& found = state().FoundDevices;
    for (int address = kFirstBusAddress; address <= kLastBusAddress && found.size() < addresses.size();
         ++address) {
      const std::size_t before = found.size();
      if constexpr (kOwnSimulator) {
        const std::size_t requests = sim->requestsSeen();
        if (tickUntilSent() < 0 || !sim->waitForRequests(requests + 1, 5s))
          return fail("a probe did not go out");
      } else {
        if (tickUntilSent() < 0) return fail("a probe did not go out");
      }
      if (std::find(addresses.begin(), addresses.end(), address) != addresses.end() &&
          !waitUntil([&] { return found.size() == before + 1; }, 5s)) {
        return fail("a device was not found");
      }
    }
    if (form().Find->text() != msg::findCaption()) click(form().Find);
    return (foundAddresses() == addresses && form().Find->text() == msg::findCaption()) ||
           fail("other devices were found");
  }

  // A poll tick.
  bool pollTick() requires kOwnSimulator {
    if (!tickAndSend()) return false;
    return lastRequest.bytes == requestBytes(lastRequest.address, CmdReadCurrent) ||
           fail("the tick sent no readings request");
  }

  // Ticks on, as the timer would, while the simulator's line is out, then
  // waits for the paced rewrite to get through on the line that came back.
  bool tickThroughOutage(std::chrono::milliseconds every = 250ms) requires kOwnSimulator {
    QDeadlineTimer deadline(60s);
    while (!sim->lineUp()) {
      if (deadline.hasExpired()) return fail("the line did not come back");
      window->readTimerTimer();
      waitUntil([this] { return sim->lineUp(); }, every);
    }
    return waitUntil([this] { return exchange().transmitParked(); }, 5s) || fail("the rewrite never left");
  }

  // --- ticks given by the timer ------------------------------------------------

  // A scan at `interval` ms per address with the real readTimer, stopped
  // once `devices` were found or the simulator saw `probes` probes. False
  // when it ran out of time first.
  bool scanInRealTime(int interval, std::size_t devices, std::size_t probes) requires kOwnSimulator {
    return scanInRealTime(interval, devices, probes, [this] { return sim->requestsSeen(); });
  }
  // The same on a line served elsewhere, whose server counts the requests
  // it has seen: `requestsSeen`.
  bool scanInRealTime(int interval, std::size_t devices, std::size_t probes,
                      const std::function<std::size_t()>& requestsSeen) {
    form().UpDown->setPosition(interval);
    const std::size_t requestsBefore = requestsSeen();
    click(form().Find);
    const auto wanted = [&] { return deviceCount() >= devices || requestsSeen() - requestsBefore >= probes; };
    const auto limit = std::chrono::milliseconds(
        static_cast<long long>(interval) * static_cast<long long>(probes + 4) + 5000);
    const bool reached = waitUntil(wanted, limit, 5ms);
    if (form().Find->text() == msg::stopCaption()) click(form().Find);
    return reached || fail("the scan ran out of time");
  }

  // The receive thread stops after the next arrival until released.
  void holdReceive() {
    held = true;
    line->holdReceive();
  }
  void releaseReceive() {
    held = false;
    line->releaseReceive();
  }

  // --- recording ------------------------------------------------------------------

  QString filePath(int address) const { return QDir(recordingDir).filePath(recordingFileName(address)); }

  // Local times of the rows recorded for `address`, in file order.
  std::vector<QDateTime> rowTimes(int address) const {
    std::vector<QDateTime> times;
    if (const auto contents = readRecordingFile(filePath(address))) {
      for (const RecordedRow& row : contents->rows)
        times.push_back(QDateTime::fromMSecsSinceEpoch(row.msecs));
    }
    return times;
  }

  // Answers the window has taken off the line, accepted or dropped, since
  // the port opened.
  int answersTaken() const {
    int taken = 0;
    for (const int address : foundAddresses()) {
      const DeviceHealth::Figures figures = window->deviceHealth().figures(address);
      taken += figures.accepted + figures.dropped;
    }
    return taken;
  }

  // Why the last helper returned false.
  const char* fault() const { return fault_.constData(); }
  bool fail(const char* why) {
    fault_ = why;
    return false;
  }

  // The rig's simulator, started before the window opens and stopped after
  // it closes; a rig on lines served elsewhere has none.
  std::conditional_t<kOwnSimulator, std::unique_ptr<sim::SimServer>, NoSimulator> sim;
  std::unique_ptr<Ser2net> server;  // with RigSetup::throughSer2net
  bool serverUp = false;
  QTemporaryDir files;
  QString recordingDir;
  QDateTime now;
  std::unique_ptr<Form> window;
  TAttention* attention = nullptr;  // owned by the window
  std::unique_ptr<DialogScript> dialog;
  GatedLine* line = nullptr;  // the open port's line, owned by the session
  QStringList errors;
  bool ready = false;
  bool held = false;  // the receive thread is held
  sim::FrameRecord lastRequest;

 private:
  void setUp(PortNames ports, const RigSetup& setup) {
    DeviceOpener opener = [this](const std::string& path, OpenError& error) -> std::unique_ptr<SerialDevice> {
      std::unique_ptr<SerialDevice> real = openDevice(path, error);
      if (!real) return nullptr;
      auto gated = std::make_unique<GatedLine>(std::move(real));
      line = gated.get();
      return gated;
    };
    window = std::make_unique<Form>(std::move(ports), std::move(opener));
    window->setErrorBox([this, print = setup.printErrors](const QString& text) {
      errors << text;
      if (print) std::fprintf(stderr, "error box: %s\n", text.toUtf8().constData());
    });
    window->setScreenWidth([width = setup.screenWidth] { return width; });
    recordingDir = setup.recordingDir.isEmpty() ? files.path() : setup.recordingDir;
    window->setRecordingOptions({recordingDir, dayMonthYear});
    now = setup.now;
    if (!setup.realTime) {
      window->setClock([this] { return now; });
      window->readTimer.blockSignals(true);
      window->dotTimer.blockSignals(true);
    }
    if (setup.askQuestions) {
      attention = new TAttention(window.get());
      window->setConfirmDialog(attention);
      dialog = std::make_unique<DialogScript>(*attention, *window);
    }
    window->show();
    window->activateWindow();
    ready = QTest::qWaitForWindowActive(window.get());
  }

  QByteArray fault_;
};

using WindowRig = BasicWindowRig<THeadForm>;
using LineRig = BasicWindowRig<THeadForm, LinesElsewhere>;

}  // namespace rs485::test
