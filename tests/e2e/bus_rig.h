#pragma once

// The real window and its dialog on a simulated bus: the simulator serves a
// pseudo-terminal, the window opens its other end as COM1 through the real
// Linux serial layer. The test gives the timer's ticks itself by calling
// readTimerTimer() and waits for what the bus and the window do in answer.

#include <iconv.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devices/messages.h"
#include "link/serial_device.h"
#include "protocol/frames.h"
#include "sim/sim_server.h"
#include "ui/attention.h"
#include "ui/head_form.h"
#include "ui/up_down.h"
#include "ui_Find.h"

namespace rs485::e2e {

using namespace std::chrono_literals;

// Handles the window's events until `done` holds; false on time-out.
inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
  const QDeadlineTimer deadline(timeout.count(), Qt::PreciseTimer);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (deadline.hasExpired()) return false;
    // What is awaited may happen on another thread without an event here.
    std::this_thread::sleep_for(200us);
  }
}

// Readings that every field of the display can be told apart by.
inline ReadingsResponse readings(std::int16_t temperature, std::uint8_t step, std::uint8_t statusByte = 0) {
  ReadingsResponse r;
  r.command = CmdReadCurrent;
  r.temperature = temperature;
  r.timeMinutes = 130;
  r.step = step;
  r.cycles = 42;
  r.numStep = 12;
  r.setTemperature = -123;
  r.setTimeMinutes = 605;
  r.statusByte = statusByte;
  return r;
}

// A bus of devices that answer at once and whose readings stand still.
inline sim::SimOptions bus(const std::vector<int>& addresses) {
  sim::SimOptions options;
  for (const int address : addresses) {
    sim::DeviceConfig device;
    device.address = address;
    device.fixedReadings = readings(static_cast<std::int16_t>(100 + address), 1);
    options.devices.push_back(device);
  }
  options.pace = false;
  options.speed = 0;
  return options;
}

// The real serial line with two hooks that pin down the moment bytes reach
// the window: the receive thread can be held after an arrival, and the next
// purge of the input queue can be made to return only once new bytes have
// arrived behind it, as when an answer lands at the moment of a tick.
class GatedLine : public SerialDevice {
 public:
  explicit GatedLine(std::unique_ptr<SerialDevice> line) : line_(std::move(line)) {}
  ~GatedLine() override = default;

  bool readLineSettings() override { return line_->readLineSettings(); }
  bool applyLineSettings() override { return line_->applyLineSettings(); }
  bool clearTimeouts() override { return line_->clearTimeouts(); }
  void setQueueSizes(int input, int output) override { line_->setQueueSizes(input, output); }
  bool writeAll(const std::uint8_t* data, std::size_t length) override {
    return line_->writeAll(data, length);
  }
  int inputQueued() override { return line_->inputQueued(); }
  int readQueued(std::uint8_t* buffer, int maxLength) override {
    return line_->readQueued(buffer, maxLength);
  }
  void purgeOutput() override { line_->purgeOutput(); }
  bool pause(std::chrono::milliseconds duration) override { return line_->pause(duration); }

  void purgeInput() override {
    std::unique_lock lock(mutex_);
    if (!bytesAfterNextPurge_) {
      lock.unlock();
      line_->purgeInput();
      return;
    }
    bytesAfterNextPurge_ = false;
    queuedBeforeArmedPurge_ = line_->inputQueued();
    line_->purgeInput();
    const std::size_t seen = arrivals_;
    changed_.wait_for(lock, 10s, [&] { return arrivals_ != seen || shut_; });
  }

  Wake waitForArrival() override {
    {
      std::lock_guard lock(mutex_);
      waiting_ = true;
    }
    changed_.notify_all();
    const Wake wake = line_->waitForArrival();
    std::unique_lock lock(mutex_);
    waiting_ = false;
    if (wake == Wake::Arrival) ++arrivals_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holding_ || shut_; });
    return shut_ ? Wake::Shutdown : wake;
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      shut_ = true;
    }
    changed_.notify_all();
    line_->shutdown();
  }

  // The receive thread stops after the next arrival until released: the
  // bytes wait in the input queue.
  void holdReceive() {
    std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void releaseReceive() {
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
    }
    changed_.notify_all();
  }
  // The next purge of the input queue returns once bytes have arrived after it.
  void bytesAfterNextPurge() {
    std::lock_guard lock(mutex_);
    bytesAfterNextPurge_ = true;
    queuedBeforeArmedPurge_ = -1;
  }
  // Arrivals of bytes the receive thread has woken for.
  std::size_t arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }
  // The receive thread has woken for an arrival after the first `arrivals`,
  // dealt with the bytes (a hand-over returns only once the window has run
  // its handler) and waits again.
  bool settledAfter(std::size_t arrivals) const {
    std::lock_guard lock(mutex_);
    return arrivals_ > arrivals && waiting_;
  }
  // What the armed purge found and threw away; 0 when the bytes came after it.
  int queuedBeforeArmedPurge() const {
    std::lock_guard lock(mutex_);
    return queuedBeforeArmedPurge_;
  }

 private:
  std::unique_ptr<SerialDevice> line_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t arrivals_ = 0;
  bool waiting_ = false;
  bool holding_ = false;
  bool bytesAfterNextPurge_ = false;
  int queuedBeforeArmedPurge_ = -1;
  bool shut_ = false;
};

// How the operator answers one showing of the question.
enum class Answer { Yes, YesDontAsk, No, CloseBox, Escape, Enter };

// What the dialog and the window showed while the question was open.
struct Question {
  QString text;
  bool checkBoxClear = false;
  bool focusOnNo = false;
  bool readTimerOff = false;
  QStringList listed;  // captions of ListAdress
  QString status;
};

// Answers the real TAttention from inside its own modal event loop, one
// scripted answer per showing; a showing with no answer left is answered
// "Нет" and counted as a fault, so that a wrong question cannot hang a test.
class DialogScript : public QObject {
 public:
  DialogScript(TAttention& dialog, THeadForm& window) : dialog_(dialog), window_(window) {
    dialog_.installEventFilter(this);
  }

  void script(std::initializer_list<Answer> answers) { answers_.insert(answers_.end(), answers); }
  std::size_t answersLeft() const { return answers_.size(); }

  QList<int> askedAddresses() const {
    QList<int> addresses;
    for (const Question& q : asked) {
      const QString prefix = QStringLiteral("Найден прибор с адресом: ");
      addresses << q.text.mid(prefix.size()).section(QLatin1Char('.'), 0, 0).toInt();
    }
    return addresses;
  }

  std::vector<Question> asked;
  int unexpected = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Looked at and answered from the dialog's own event loop, once the
    // showing is complete.
    if (watched == &dialog_ && event->type() == QEvent::Show)
      QTimer::singleShot(0, &dialog_, [this] { answer(); });
    return false;
  }

 private:
  void answer() {
    const Ui::TAttention& form = dialog_.form();
    Question q;
    q.text = form.Message->text();
    q.checkBoxClear = !form.All_yes->isChecked();
    q.focusOnNo = dialog_.focusWidget() == form.No;
    q.readTimerOff = !window_.readTimer.isActive();
    const auto* list = window_.findChild<QTableWidget*>(QStringLiteral("ListAdress"));
    for (int row = 0; row < list->rowCount(); ++row) q.listed << list->item(row, 0)->text();
    q.status = window_.statusText();
    asked.push_back(q);
    Answer next = Answer::No;
    if (answers_.empty()) {
      ++unexpected;
    } else {
      next = answers_.front();
      answers_.pop_front();
    }
    give(next);
  }

  void give(Answer answer) {
    const Ui::TAttention& form = dialog_.form();
    switch (answer) {
      case Answer::YesDontAsk:
        QTest::mouseClick(form.All_yes, Qt::LeftButton, {}, QPoint(5, 7));
        QTest::mouseClick(form.Yes, Qt::LeftButton);
        break;
      case Answer::Yes:
        QTest::mouseClick(form.Yes, Qt::LeftButton);
        break;
      case Answer::No:
        QTest::mouseClick(form.No, Qt::LeftButton);
        break;
      case Answer::CloseBox:
        dialog_.close();
        break;
      case Answer::Escape:
        QTest::keyClick(dialog_.focusWidget(), Qt::Key_Escape);
        break;
      case Answer::Enter:
        QTest::keyClick(dialog_.focusWidget(), Qt::Key_Return);
        break;
    }
  }

  TAttention& dialog_;
  THeadForm& window_;
  std::deque<Answer> answers_;
};

// One control as the operator finds it: effectively enabled or not, its
// caption or text, and for the editors whether typing is refused.
struct Expected {
  const char* name;
  bool enabled;
  std::optional<QString> text = {};
  std::optional<bool> readOnly = {};
};

inline QString shownText(const QWidget* widget) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
  return {};
}

// The states of the window as its state table has them. `list`: the flag
// ListAdress keeps; `find`: the caption Find shows while polling.
inline std::vector<Expected> portOpenState(bool list) {
  return {
      {"Ports", false, QStringLiteral("COM1")},
      {"OpenClose", true, msg::closeCaption()},
      {"Timeouts", true},
      {"UpDown", true},
      {"Find", true, msg::findCaption()},
      {"ListAdress", list},
      {"n1_addr", true, {}, false},
      {"n2_addr", true, {}, false},
      {"n3_addr", true, {}, false},
      {"new1", true},
      {"new2", true},
      {"new3", true},
      {"InstallAdress", true},
      {"readingAll", true, msg::readingAllCaption()},
      {"wFile", true, msg::recordCaption()},
      {"GroupBox4", false},
      {"gb_temp", false},
      {"gb_time", false},
      {"gb_cycle", false},
  };
}

inline std::vector<Expected> scanningState(bool list) {
  std::vector<Expected> rows = portOpenState(list);
  for (Expected& row : rows) {
    const QString name = QString::fromLatin1(row.name);
    if (name == QLatin1String("OpenClose")) row.enabled = false;
    if (name == QLatin1String("Timeouts") || name == QLatin1String("UpDown")) row.enabled = false;
    if (name == QLatin1String("Find")) row.text = msg::stopCaption();
  }
  return rows;
}

inline std::vector<Expected> pollingState(bool list, const QString& find) {
  std::vector<Expected> rows = portOpenState(list);
  for (Expected& row : rows) {
    const QString name = QString::fromLatin1(row.name);
    if (name == QLatin1String("OpenClose") || name == QLatin1String("Timeouts") ||
        name == QLatin1String("UpDown") || name.startsWith(QLatin1String("new")) ||
        name == QLatin1String("InstallAdress")) {
      row.enabled = false;
    }
    if (name == QLatin1String("Find")) {
      row.enabled = false;
      row.text = find;
    }
    if (name.endsWith(QLatin1String("_addr"))) row.readOnly = true;
    if (name == QLatin1String("readingAll")) row.text = msg::stopCaption();
  }
  return rows;
}

// The rows changed by name.
inline std::vector<Expected> with(std::vector<Expected> rows, const Expected& change) {
  for (Expected& row : rows) {
    if (QLatin1String(row.name) == QLatin1String(change.name)) row = change;
  }
  return rows;
}

// Every control that differs from the rows, one line each; empty when all agree.
inline QString stateFaults(const THeadForm& window, const std::vector<Expected>& rows) {
  QStringList faults;
  for (const Expected& row : rows) {
    const auto* widget = window.findChild<QWidget*>(QString::fromLatin1(row.name));
    if (widget == nullptr) {
      faults << QStringLiteral("%1 missing").arg(QLatin1String(row.name));
      continue;
    }
    if (widget->isEnabled() != row.enabled) {
      faults << QStringLiteral("%1 %2").arg(QLatin1String(row.name),
                                            row.enabled ? QStringLiteral("off") : QStringLiteral("on"));
    }
    if (row.text && shownText(widget) != *row.text) {
      faults << QStringLiteral("%1 shows \"%2\"").arg(QLatin1String(row.name), shownText(widget));
    }
    if (row.readOnly) {
      const auto* edit = qobject_cast<const QLineEdit*>(widget);
      if (edit == nullptr || edit->isReadOnly() != *row.readOnly) {
        faults << QStringLiteral("%1 read-only %2").arg(QLatin1String(row.name)).arg(!*row.readOnly);
      }
    }
  }
  return faults.join(QLatin1String("; "));
}

// Texts of digit cells run together: cells(window, {DigitCell::tempN1, DigitCell::tempN2}) == "02".
inline QString cells(const THeadForm& window, const std::vector<DigitCell>& row) {
  QString text;
  for (const DigitCell cell : row) text += window.cellText(cell);
  return text;
}

// The four bytes of a request as they go on the line.
inline std::vector<std::uint8_t> requestBytes(int address, int command) {
  const TxFrame frame = buildBusRequest(address, command);
  return {frame.begin(), frame.begin() + kBusRequestLength};
}

// The text in Windows code page 1251, converted by the C library.
inline QByteArray cp1251(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) qFatal("iconv has no CP1251");
  QByteArray out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.constData());
  std::size_t inLeft = static_cast<std::size_t>(utf8.size());
  char* to = out.data();
  std::size_t outLeft = static_cast<std::size_t>(out.size());
  if (iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<std::size_t>(-1)) qFatal("not in CP1251");
  iconv_close(cd);
  out.resize(out.size() - static_cast<qsizetype>(outLeft));
  return out;
}

struct BusRig {
  struct Options {
    bool realTimers = false;  // let readTimer and dotTimer call their handlers
  };

  explicit BusRig(sim::SimOptions options) : BusRig(std::move(options), Options{}) {}
  BusRig(sim::SimOptions options, Options rigOptions) : sim(std::move(options)) {
    sim.start();
    DeviceOpener opener = [this](const std::string& path, OpenError& error) -> std::unique_ptr<SerialDevice> {
      std::unique_ptr<SerialDevice> real = openLinuxSerialDevice(path, error);
      if (!real) return nullptr;
      auto gated = std::make_unique<GatedLine>(std::move(real));
      line = gated.get();
      return gated;
    };
    window = std::make_unique<THeadForm>(PortNames({{"COM1", sim.toolPath()}}), std::move(opener));
    window->setErrorBox([this](const QString& text) { errors << text; });
    window->setScreenWidth([] { return THeadForm::kSmallScreenWidth; });
    window->setClock([this] { return now; });
    window->setRecordingOptions(
        {files.path(), [](const QDate& date) { return date.toString(QStringLiteral("dd.MM.yyyy")); }});
    if (!rigOptions.realTimers) {
      // The timers still run and keep their intervals; only their ticks
      // are left to the test.
      window->readTimer.blockSignals(true);
      window->dotTimer.blockSignals(true);
    }
    attention = new TAttention(window.get());
    window->setConfirmDialog(attention);
    dialog = std::make_unique<DialogScript>(*attention, *window);
    window->show();
    window->activateWindow();
    ready = QTest::qWaitForWindowActive(window.get());
  }

  ~BusRig() {
    dialog.reset();
    window.reset();  // closes the port, which also frees a held receive thread, before the bus goes
  }

  BusRig(const BusRig&) = delete;
  BusRig& operator=(const BusRig&) = delete;

  template <typename T = QWidget>
  T* control(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QTableWidget* list() const { return control<QTableWidget>("ListAdress"); }
  Exchange& exchange() const { return window->exchange(); }
  DeviceState& state() const { return window->deviceState(); }

  void click(const char* name) const { QTest::mouseClick(control(name), Qt::LeftButton); }
  void clickRow(int row) const {
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                      list()->visualItemRect(list()->item(row, 0)).center());
  }
  QStringList listed() const {
    QStringList captions;
    for (int row = 0; row < list()->rowCount(); ++row) captions << list()->item(row, 0)->text();
    return captions;
  }
  QString editors(const char* a, const char* b, const char* c) const {
    return control<QLineEdit>(a)->text() + control<QLineEdit>(b)->text() + control<QLineEdit>(c)->text();
  }
  QString address() const { return editors("n1_addr", "n2_addr", "n3_addr"); }
  QString newAddress() const { return editors("new1", "new2", "new3"); }

  // Why the last helper returned false.
  const char* fault() const { return fault_.constData(); }

  // The main window takes the keyboard again, as it does when a dialog over
  // it has closed.
  bool activate() {
    window->activateWindow();
    if (!waitFor([this] { return QApplication::activeWindow() == window.get(); })) {
      return fail("the window is not active");
    }
    return true;
  }

  bool open() {
    click("OpenClose");
    if (!window->session().isOpen() || line == nullptr) return fail("the port did not open");
    return true;
  }

  std::vector<sim::FrameRecord> requests() const { return sim.log().snapshot(sim::FrameKind::Request); }
  // Addresses of the requests the bus saw from the index on.
  QList<int> requestedAddresses(std::size_t from = 0) const {
    QList<int> addresses;
    const auto seen = requests();
    for (std::size_t i = from; i < seen.size(); ++i) addresses << seen[i].address;
    return addresses;
  }

  // One tick of readTimer, given while the timer runs, that must put a
  // request on the bus: returns once the bus has seen it, the transmit
  // thread is parked again and whatever the request drew from the bus has
  // been dealt with by the window (a question included).
  bool tickAndSend() {
    if (!window->readTimer.isActive()) return fail("readTimer is off: no tick would come");
    return send([this] { window->readTimerTimer(); });
  }

  // Runs `action`, which must put one request on the bus, and waits as
  // tickAndSend does. While the receive thread is held only the request is awaited.
  bool send(const std::function<void()>& action) {
    if (!exchange().transmitParked()) return fail("a request is still being sent");
    const std::size_t before = sim.requestsSeen();
    const std::size_t answered = sim.answersSent();
    const std::size_t arrivals = line->arrivals();
    action();
    if (!sim.waitForRequests(before + 1, 5s)) return fail("no request reached the bus");
    if (sim.requestsSeen() != before + 1) return fail("more than one request");
    lastRequest = requests().back();
    if (!waitFor([this] { return exchange().transmitParked(); }))
      return fail("the transmit thread is not parked");
    if (held || (lastRequest.verdict != "answered" && lastRequest.verdict != "refused")) return true;
    if (!sim.waitForAnswers(answered + 1, 5s)) return fail("the bus sent no answer");
    const auto length = static_cast<int>(sim.log().snapshot(sim::FrameKind::Answer).back().bytes.size());
    // Either taken (and handed over) or left in the queue whole.
    const auto dealtWith = [&] {
      const int queued = exchange().inputQueued();
      return line->settledAfter(arrivals) && (queued == 0 || queued >= length);
    };
    if (!waitFor(dealtWith)) return fail("the answer was not dealt with");
    return true;
  }

  // A scan tick.
  bool scanTick() {
    if (!tickAndSend()) return false;
    if (lastRequest.bytes != requestBytes(lastRequest.address, CmdProbe))
      return fail("the tick sent no probe");
    return true;
  }

  // Scan ticks until the scan has probed `last` or the timer stops.
  bool scanThrough(int last) {
    while (window->readTimer.isActive() && window->discovery().scan.ScanAddress() <= last) {
      if (!scanTick()) return false;
    }
    return true;
  }

  // Scan ticks as long as the timer runs; at most 247 of them.
  bool scanToEnd(int* ticks = nullptr) {
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
  bool findDevicesThrough(int last) {
    if (!open()) return false;
    dialog->script({Answer::YesDontAsk});
    click("Find");
    if (!scanThrough(last)) return false;
    if (window->findCaption() == msg::stopCaption()) click("Find");
    if (window->findCaption() != msg::findCaption()) return fail("the scan did not stop");
    return activate();
  }

  // A poll tick.
  bool pollTick() {
    if (!tickAndSend()) return false;
    if (lastRequest.bytes != requestBytes(lastRequest.address, CmdReadCurrent)) {
      return fail("the tick sent no readings request");
    }
    return true;
  }

  void holdReceive() {
    held = true;
    line->holdReceive();
  }
  void releaseReceive() {
    held = false;
    line->releaseReceive();
  }

  bool fail(const char* why) {
    fault_ = why;
    return false;
  }

  QTemporaryDir files;  // the recording files
  sim::SimServer sim;
  QDateTime now{QDate(2026, 12, 7), QTime(10, 5, 30)};
  std::unique_ptr<THeadForm> window;
  TAttention* attention = nullptr;  // owned by the window
  std::unique_ptr<DialogScript> dialog;
  GatedLine* line = nullptr;  // the open port's line, owned by the session
  QStringList errors;
  bool ready = false;
  bool held = false;  // the receive thread is held
  sim::FrameRecord lastRequest;

 private:
  QByteArray fault_;
};

}  // namespace rs485::e2e
