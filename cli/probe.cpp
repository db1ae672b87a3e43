#include "cli/probe.h"

#include <QEventLoop>
#include <QTimer>
#include <optional>

#include "protocol/readings.h"

namespace rs485::cli {

namespace {

int milliseconds(std::chrono::microseconds time) { return static_cast<int>((time.count() + 999) / 1000); }

}  // namespace

ProbeResult probe(Bus& bus, int address, std::chrono::milliseconds window, StopRequest& stop) {
  if (stop.requested) return ProbeResult::Stopped;
  const int droppedBefore = bus.health().figures(address).dropped;
  std::optional<StatusResponse> answer;
  bool writeFailed = false;
  bool extended = false;

  QEventLoop loop;
  QTimer settle;
  settle.setSingleShot(true);
  settle.setTimerType(Qt::PreciseTimer);
  QObject::connect(&settle, &QTimer::timeout, &loop, [&] {
    // An answer on its way gets the time it takes on the line.
    if (!extended && bus.exchange.inputQueued() > 0) {
      extended = true;
      settle.start(milliseconds(lineTime(kStatusResponseLength)));
      return;
    }
    loop.quit();
  });
  bus.onShortAnswer = [&] {
    answer = decodeStatusResponse(bus.exchange.frame().data());
    loop.quit();
  };
  bus.onRequestWritten = [&] { settle.start(milliseconds(lineTime(kBusRequestLength) + window)); };
  bus.onSendFailed = [&] {
    writeFailed = true;
    loop.quit();
  };
  stop.wake = [&] { loop.quit(); };

  bus.exchange.setPendingCommand(CmdProbe);
  bus.exchange.sendRequest(address, kStatusResponseLength);
  loop.exec();

  bus.onShortAnswer = nullptr;
  bus.onRequestWritten = nullptr;
  bus.onSendFailed = nullptr;
  stop.wake = nullptr;
  // Bytes still queued never made an answer: counted as dropped.
  bus.settleLastRequest();

  if (writeFailed) return ProbeResult::WriteFailed;
  if (answer && answer->address == address) {
    if (answer->status != 0) return ProbeResult::Refused;
    bus.state.FoundDevices.push_back({static_cast<std::uint8_t>(address), minuteBefore(bus.now())});
    if (bus.onFound) bus.onFound(address);
    return ProbeResult::Found;
  }
  if (answer || bus.health().figures(address).dropped > droppedBefore) return ProbeResult::Unreadable;
  return stop.requested ? ProbeResult::Stopped : ProbeResult::Empty;
}

}  // namespace rs485::cli
