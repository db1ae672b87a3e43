#include "cli/commands.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>

#include "cli/answer_text.h"

namespace rs485::cli {

namespace {

constexpr int kReadWaitMs = 1000;
constexpr int kAcknowledgeWaitMs = 2000;
constexpr int kProbeWaitMs = 1000;
constexpr int kPublishFlushMs = 2000;
constexpr int kPollTickMs = 1000;

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
  const QDeadlineTimer end(timeoutMs >= 0 ? timeoutMs / bus.view.timeDivisor() : -1, Qt::PreciseTimer);
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
// scan has ended, so it is waited for one interval longer.
void scanBus(Bus& bus, const ScanRange& range, StopRequest& stop) {
  bus.devices.scan.setRange(range.from, range.to);
  bus.view.setTimeouts(range.timeout);
  bus.devices.FindClick();
  waitUntil(
      bus, [&] { return !bus.devices.scan.running(); }, -1, &stop);
  if (bus.devices.scan.running()) {
    bus.devices.FindClick();  // stopped from outside
    return;
  }
  const std::size_t before = bus.state.FoundDevices.size();
  waitUntil(
      bus, [&] { return bus.state.FoundDevices.size() > before; }, range.timeout, &stop);
}

QString addressList(const FoundDeviceList& devices) {
  QStringList addresses;
  for (const DeviceEntry& entry : devices) addresses << QString::number(entry.address);
  return addresses.join(QStringLiteral(", "));
}

// "scan 1..247: 3 device(s) found"
QString scanSummary(const ScanRange& range, std::size_t found) {
  return QCoreApplication::translate("rs485-cli", "scan %1..%2: %3 device(s) found")
      .arg(range.from)
      .arg(range.to)
      .arg(found);
}

}  // namespace

int runScan(Bus& bus, const ScanRange& range, Output output, StopRequest& stop) {
  bus.onFound = [&](int address) {
    if (output.json) {
      output.out << foundJson(address).toStdString() << '\n';
    } else {
      output.out << address << '\n';
    }
    output.out.flush();
  };
  scanBus(bus, range, stop);
  bus.onFound = nullptr;
  const FoundDeviceList& found = bus.state.FoundDevices;
  output.err << text(scanSummary(range, found.size()));
  if (!found.empty()) output.err << ": " << text(addressList(found));
  output.err << '\n';
  return kExitOk;
}

int runRead(Bus& bus, int address, Output output) {
  bus.state.FoundDevices = {DeviceEntry{static_cast<std::uint8_t>(address), 0}};
  bus.view.setAddressEditors(address);
  bus.view.clearError();
  bus.monitor.readingAllClick();
  if (!bus.view.lastError().isEmpty()) {
    output.err << "read: " << text(bus.view.lastError()) << '\n';
    return kExitUsage;
  }
  // One request, sent now rather than a poll interval from now.
  bus.view.setReadTimerActive(false);
  std::optional<AcceptedAnswer> got;
  std::string line;
  // Taken at once: the stop of the poll below sets every cell back to "0".
  bus.onAnswer = [&](const AcceptedAnswer& answer) {
    got = answer;
    line = output.json ? answerJson(answer.time, answer.address, answer.readings).toStdString()
                       : text(answerText(bus.view, answer.address, answer.readings));
  };
  bus.readTimerTimer();
  waitUntil(
      bus, [&] { return got.has_value(); }, kReadWaitMs);
  bus.onAnswer = nullptr;
  bus.monitor.readingAllClick();
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
  bus.prepareFilesOnFind = settings.record;
  if (settings.addresses.empty()) {
    scanBus(bus, settings.scan, stop);
    output.err << text(scanSummary(settings.scan, bus.state.FoundDevices.size())) << '\n';
  } else {
    // As if a scan had found them just now.
    bus.state.FoundDevices.clear();
    const std::uint8_t minute = minuteBefore(bus.now());
    for (const int address : settings.addresses) {
      bus.state.FoundDevices.push_back({static_cast<std::uint8_t>(address), minute});
      if (settings.record) bus.monitor.prepareRecordingFile(address);
    }
  }
  if (stop.requested) return kExitOk;
  if (bus.state.FoundDevices.empty()) {
    output.err << "poll: " << text(QCoreApplication::translate("rs485-cli", "no device to poll")) << '\n';
    return kExitFailed;
  }

  if (settings.record) bus.monitor.wFileClick();
  bus.view.setAddressEditors(bus.state.FoundDevices.front().address);
  bus.view.clearError();
  bus.monitor.readingAllClick();
  if (!bus.view.lastError().isEmpty()) {
    output.err << "poll: " << text(bus.view.lastError()) << '\n';
    return kExitUsage;
  }
  bus.onAnswer = [&](const AcceptedAnswer& answer) {
    const QByteArray json = answerJson(answer.time, answer.address, answer.readings);
    if (output.json) {
      output.out << json.toStdString() << '\n';
    } else {
      output.out << text(answer.time.toString(QStringLiteral("HH:mm:ss "))) +
                        text(answerText(bus.view, answer.address, answer.readings))
                 << '\n';
    }
    output.out.flush();
    if (publisher != nullptr)
      publisher->publish(settings.topicPrefix + "/" + std::to_string(answer.address), json);
  };
  const auto never = [] { return false; };
  waitUntil(bus, never, settings.seconds > 0 ? settings.seconds * 1000 : std::int64_t{-1}, &stop);
  // No new request; the one on its way gets the rest of its tick, so that
  // the summary accounts for every request sent.
  bus.view.setReadTimerActive(false);
  waitUntil(
      bus, [&] { return !bus.awaitingAnswer(); }, kPollTickMs);
  bus.settleLastRequest();
  bus.onAnswer = nullptr;
  bus.monitor.readingAllClick();  // stops the poll and the recording

  // Every device the poll was to ask, also one it never got to.
  std::set<int> told;
  for (const DeviceEntry& entry : bus.state.FoundDevices) {
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
  bus.view.setAddressEditors(oldAddress);
  bus.view.setNewAddressEditors(newAddress);
  bus.view.clearError();
  bool acknowledged = false;
  bus.onAcknowledged = [&] { acknowledged = true; };
  bus.devices.InstallAdressClick();
  if (!bus.view.lastError().isEmpty()) {
    output.err << "set-address: " << text(bus.view.lastError()) << '\n';
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
  bus.devices.scan.setRange(newAddress, newAddress);
  bus.devices.FindClick();
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
