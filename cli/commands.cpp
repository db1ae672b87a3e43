#include "cli/commands.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include "cli/answer_text.h"
#include "cli/probe.h"

namespace rs485::cli {

namespace {

constexpr int kReadWaitMs = 1000;
constexpr int kAcknowledgeWaitMs = 2000;
constexpr int kProbeWaitMs = 1000;
constexpr int kProbeIntervalMs = 500;  // as `Timeouts` starts
constexpr int kPublishFlushMs = 2000;

// Runs the event loop until `done` holds, `timeoutMs` has passed (unless
// negative) or a stop is requested. Returns done().
// A QTimer counts in an int of milliseconds, 24.8 days at most: a longer
// wait is a row of shorter ones.
constexpr std::int64_t kLongestTimerMs = std::int64_t{24} * 3600 * 1000;

bool waitUntil(Bus& bus, const std::function<bool()>& done, std::int64_t timeoutMs,
               StopRequest* stop = nullptr) {
  if (done() || (stop != nullptr && stop->requested)) return done();
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  const QDeadlineTimer end(timeoutMs >= 0 ? timeoutMs / bus.timeDivisor() : -1, Qt::PreciseTimer);
  const auto arm = [&] {
    deadline.start(static_cast<int>(std::min<std::int64_t>(end.remainingTime(), kLongestTimerMs)));
  };
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    if (end.hasExpired()) {
      loop.quit();
    } else {
      arm();
    }
  });
  if (!end.isForever()) arm();
  bus.onEvent = [&] {
    if (done()) loop.quit();
  };
  if (stop != nullptr) stop->wake = [&] { loop.quit(); };
  loop.exec();
  bus.onEvent = nullptr;
  if (stop != nullptr) stop->wake = nullptr;
  return done();
}

std::string text(const QString& s) { return s.toStdString(); }

// The scan as the window runs it, from `from` to `to`; `found` gets each
// address as it is found. The answer to the last probe may come after the
// scan has ended, so it is waited for one interval longer. Returns the last
// address probed.
int scanBus(Bus& bus, const ScanRange& range, StopRequest& stop) {
  bus.work.scan.setRange(range.from, range.to);
  bus.work.startScan(range.timeout);
  waitUntil(
      bus, [&] { return !bus.work.scan.running(); }, -1, &stop);
  if (bus.work.scan.running()) {
    bus.work.stopScan();  // stopped from outside
    return bus.work.scan.ScanAddress() - 1;
  }
  const std::size_t before = bus.state().FoundDevices.size();
  waitUntil(
      bus, [&] { return bus.state().FoundDevices.size() > before; }, range.timeout, &stop);
  return range.to;
}

// PREFIX/ADDRESS/status, retained: "answering" from a device's first
// accepted answer, "silent" once the poll has passed over it, each told
// when it changes.
class DeviceStatus {
 public:
  DeviceStatus(Publisher* publisher, const std::string& prefix) : publisher_(publisher), prefix_(prefix) {}

  void set(int address, bool answering) {
    if (publisher_ == nullptr) return;
    const auto known = answering_.find(address);
    if (known != answering_.end() && known->second == answering) return;
    answering_[address] = answering;
    publisher_->publish(prefix_ + "/" + std::to_string(address) + "/status",
                        answering ? QByteArrayLiteral("answering") : QByteArrayLiteral("silent"));
  }

 private:
  Publisher* publisher_;
  std::string prefix_;
  std::map<int, bool> answering_;
};

QString addressList(const std::vector<int>& addresses) {
  QStringList texts;
  for (const int address : addresses) texts << QString::number(address);
  return texts.join(QStringLiteral(", "));
}

QString addressList(const FoundDeviceList& devices) {
  std::vector<int> addresses;
  for (const DeviceEntry& entry : devices) addresses.push_back(entry.address);
  return addressList(addresses);
}

// "scan 1..247: 3 device(s) found"
QString scanSummary(const ScanRange& range, std::size_t found) {
  return QCoreApplication::translate("rs485-cli", "scan %1..%2: %3 device(s) found")
      .arg(range.from)
      .arg(range.to)
      .arg(found);
}

bool listed(const FoundDeviceList& devices, int address) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const DeviceEntry& entry) { return entry.address == address; });
}

// What the scans share: the lines of the finds and of the unreadable
// addresses, the second probe, and the summary.
class ScanReport {
 public:
  ScanReport(Bus& bus, const ScanRange& range, Output output, StopRequest& stop)
      : bus_(bus), range_(range), output_(output), stop_(stop) {
    bus_.onFound = [this](int address) {
      line(output_.json ? foundJson(address).toStdString() : std::to_string(address));
    };
  }
  ~ScanReport() { bus_.onFound = nullptr; }

  // A probe that gave bytes but no valid answer gets one more, with `window`.
  // Returns false when the scan cannot go on.
  bool settle(int address, ProbeResult result, std::chrono::milliseconds window) {
    if (result == ProbeResult::Unreadable) result = probe(bus_, address, window, stop_);
    if (result == ProbeResult::Unreadable) {
      unreadable_.push_back(address);
      line(output_.json ? unreadableJson(address).toStdString() : std::to_string(address) + "?");
    }
    if (result == ProbeResult::WriteFailed) writeFailedAt_ = address;
    return result != ProbeResult::WriteFailed && result != ProbeResult::Stopped;
  }

  int finish(int lastProbed) {
    const FoundDeviceList& found = bus_.state().FoundDevices;
    std::ostream& err = output_.err;
    if (lastProbed < range_.to) {
      err << text(
          QCoreApplication::translate("rs485-cli", "scan %1..%2 (stopped after %3): %4 device(s) found")
              .arg(range_.from)
              .arg(range_.to)
              .arg(lastProbed)
              .arg(found.size()));
    } else {
      err << text(scanSummary(range_, found.size()));
    }
    if (!found.empty()) err << ": " << text(addressList(found));
    if (!unreadable_.empty()) {
      err << text(QCoreApplication::translate("rs485-cli", "; %1 unreadable: %2")
                      .arg(unreadable_.size())
                      .arg(addressList(unreadable_)));
    }
    err << '\n';
    if (writeFailedAt_ != 0) {
      err << text(
                 QCoreApplication::translate("rs485-cli", "scan: the port takes no more writes (probe of %1)")
                     .arg(writeFailedAt_))
          << '\n';
      return kExitUnavailable;
    }
    return kExitOk;
  }

 private:
  void line(const std::string& text) {
    output_.out << text << '\n';
    output_.out.flush();
  }

  Bus& bus_;
  const ScanRange& range_;
  Output output_;
  StopRequest& stop_;
  std::vector<int> unreadable_;
  int writeFailedAt_ = 0;
};

}  // namespace

int runScan(Bus& bus, const ScanRange& range, Output output, StopRequest& stop) {
  ScanReport report(bus, range, output, stop);
  if (range.fast) {
    bus.state().FoundDevices.clear();
    const std::chrono::milliseconds window(range.replyWindow);
    int address = range.from;
    for (; address <= range.to; ++address) {
      if (!report.settle(address, probe(bus, address, window, stop), window)) break;
    }
    return report.finish(address > range.to ? range.to : address - 1);
  }

  const int lastProbed = scanBus(bus, range, stop);
  bus.settleLastRequest();
  // The window's scan goes on past an address that gave bytes but no valid
  // answer; such addresses get their second probe afterwards, with the same
  // time per address.
  const std::chrono::milliseconds window(range.timeout / bus.timeDivisor());
  for (int address = range.from; address <= lastProbed && !stop.requested; ++address) {
    if (bus.health().figures(address).dropped == 0 || listed(bus.state().FoundDevices, address)) continue;
    if (!report.settle(address, ProbeResult::Unreadable, window)) break;
  }
  return report.finish(lastProbed);
}

int runRead(Bus& bus, int address, Output output) {
  bus.state().FoundDevices = {DeviceEntry{static_cast<std::uint8_t>(address), 0}};
  bus.takeRefusal();
  bus.work.startPoll([address] { return address; });
  if (const QString refusal = bus.takeRefusal(); !refusal.isEmpty()) {
    output.err << "read: " << text(refusal) << '\n';
    return kExitUsage;
  }
  // One request, sent now rather than a poll interval from now.
  bus.pace().setReadTimerActive(false);
  bool got = false;
  std::string line;
  // Taken at once: the stop of the poll below sets every cell back to "0".
  bus.onTurn = [&](const BusReply& turn, const QDateTime& at) {
    if (!turn.answered()) return;
    got = true;
    line = output.json ? answerJson(at, turn.address(), *turn.readings).toStdString()
                       : text(answerText(bus.panel(turn.address()), turn.address(), *turn.readings));
  };
  bus.readTimerTimer();
  waitUntil(
      bus, [&] { return got; }, kReadWaitMs);
  bus.onTurn = nullptr;
  bus.work.stopPoll();
  if (!got) {
    output.err << "read: "
               << text(QCoreApplication::translate("rs485-cli", "no valid answer from device %1 within 1 s")
                           .arg(address))
               << '\n';
    return kExitFailed;
  }
  output.out << line << '\n';
  return kExitOk;
}

int runPoll(Bus& bus, const PollSettings& settings, Output output, StopRequest& stop, Publisher* publisher) {
  bus.work.prepareFilesOnFind = settings.record;
  if (settings.addresses.empty()) {
    scanBus(bus, settings.scan, stop);
    output.err << text(scanSummary(settings.scan, bus.state().FoundDevices.size())) << '\n';
  } else {
    // As if a scan had found them just now.
    bus.state().FoundDevices.clear();
    const std::uint8_t minute = minuteBefore(bus.now());
    for (const int address : settings.addresses) {
      bus.state().FoundDevices.push_back({static_cast<std::uint8_t>(address), minute});
      if (settings.record) bus.work.recording.prepareRecordingFile(address);
    }
  }
  if (stop.requested) return kExitOk;
  if (bus.state().FoundDevices.empty()) {
    output.err << "poll: " << text(QCoreApplication::translate("rs485-cli", "no device to poll")) << '\n';
    return kExitFailed;
  }

  if (settings.record) bus.work.startRecording();
  const int first = bus.state().FoundDevices.front().address;
  bus.takeRefusal();
  bus.work.startPoll([first] { return first; });
  if (const QString refusal = bus.takeRefusal(); !refusal.isEmpty()) {
    output.err << "poll: " << text(refusal) << '\n';
    return kExitUsage;
  }
  // In place of the window's fixed 1000 ms: a slow link may need more.
  bus.pace().setReadTimerInterval(settings.interval);
  DeviceStatus status(publisher, settings.topicPrefix);
  bus.onTurn = [&](const BusReply& turn, const QDateTime& at) {
    const bool answered = turn.answered();
    status.set(turn.address(), answered);
    if (!answered) return;
    const QByteArray json = answerJson(at, turn.address(), *turn.readings);
    if (output.json) {
      output.out << json.toStdString() << '\n';
    } else {
      output.out << text(at.toString(QStringLiteral("HH:mm:ss "))) +
                        text(answerText(bus.panel(turn.address()), turn.address(), *turn.readings))
                 << '\n';
    }
    output.out.flush();
    if (publisher != nullptr)
      publisher->publish(settings.topicPrefix + "/" + std::to_string(turn.address()), json);
  };
  const auto never = [] { return false; };
  waitUntil(bus, never, settings.seconds > 0 ? settings.seconds * 1000 : std::int64_t{-1}, &stop);
  // No new request; the one on its way gets the rest of its tick, so that
  // the summary accounts for every request sent.
  bus.pace().setReadTimerActive(false);
  waitUntil(
      bus, [&] { return !bus.awaitingAnswer(); }, settings.interval);
  bus.settleLastRequest();
  bus.work.stopPoll();  // stops the recording too, and tells a turn still open
  bus.onTurn = nullptr;

  // Every device the poll was to ask, also one it never got to.
  std::set<int> told;
  for (const DeviceEntry& entry : bus.state().FoundDevices) {
    if (!told.insert(entry.address).second) continue;
    const DeviceHealth::Figures f = bus.health().figures(entry.address);
    output.err << text(QCoreApplication::translate("rs485-cli",
                                                   "device %1: sent %2, answered %3, dropped %4, silent %5, "
                                                   "late or unasked %6")
                           .arg(int{entry.address})
                           .arg(f.sent)
                           .arg(f.accepted)
                           .arg(f.dropped)
                           .arg(f.unanswered)
                           .arg(f.notAsked))
               << '\n';
  }
  if (publisher != nullptr) {
    publisher->flush(std::chrono::milliseconds(kPublishFlushMs));
    const Publisher::Counts counts = publisher->counts();
    output.err << "mqtt: "
               << text(QCoreApplication::translate("rs485-cli",
                                                   "acknowledged %1, dropped %2 (queue full), unsent %3")
                           .arg(counts.acknowledged)
                           .arg(counts.dropped)
                           .arg(counts.unsent))
               << '\n';
  }
  return kExitOk;
}

int runSetAddress(Bus& bus, int oldAddress, int newAddress, Output output) {
  bus.takeRefusal();
  bool acknowledged = false;
  bus.onAcknowledged = [&] { acknowledged = true; };
  bus.work.changeAddress([oldAddress] { return oldAddress; }, [newAddress] { return newAddress; });
  if (const QString refusal = bus.takeRefusal(); !refusal.isEmpty()) {
    output.err << "set-address: " << text(refusal) << '\n';
    return kExitUsage;
  }
  waitUntil(
      bus, [&] { return acknowledged; }, kAcknowledgeWaitMs);
  bus.onAcknowledged = nullptr;
  if (!acknowledged) {
    output.err << "set-address: "
               << text(QCoreApplication::translate("rs485-cli", "device %1 did not acknowledge within 2 s")
                           .arg(oldAddress))
               << '\n';
    return kExitFailed;
  }

  // The new address is probed as a scan of that one address would probe it.
  bool answered = false;
  bus.onFound = [&](int address) { answered = answered || address == newAddress; };
  bus.work.scan.setRange(newAddress, newAddress);
  bus.work.startScan(kProbeIntervalMs);
  bus.readTimerTimer();
  waitUntil(
      bus, [&] { return answered; }, kProbeWaitMs);
  bus.onFound = nullptr;
  if (!answered) {
    output.err << "set-address: "
               << text(QCoreApplication::translate("rs485-cli",
                                                   "device %1 acknowledged, but nothing answers at %2")
                           .arg(oldAddress)
                           .arg(newAddress))
               << '\n';
    return kExitFailed;
  }
  output.out << text(QCoreApplication::translate("rs485-cli", "device %1 now answers at %2")
                         .arg(oldAddress)
                         .arg(newAddress))
             << '\n';
  return kExitOk;
}

}  // namespace rs485::cli
