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
  std::optional<BusReply> reply;
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
  bus.onReply = [&](const BusReply& told) {
    reply = told;
    loop.quit();
  };
  bus.onRequestWritten = [&] { settle.start(milliseconds(lineTime(kBusRequestLength) + window)); };
  bus.onSendFailed = [&] {
    writeFailed = true;
    loop.quit();
  };
  stop.wake = [&] { loop.quit(); };

  bus.state().PendingCommand = CmdProbe;
  bus.exchange.sendRequest(BusRequest::probe(address));
  loop.exec();

  bus.onRequestWritten = nullptr;
  bus.onSendFailed = nullptr;
  stop.wake = nullptr;
  // Its reply, unless it has had it: dropped when bytes came that made no
  // answer (still queued ones too), else silent.
  bus.settleLastRequest();
  bus.onReply = nullptr;

  if (writeFailed) return ProbeResult::WriteFailed;
  const std::optional<StatusResponse> answer = reply ? reply->status : std::nullopt;
  if (answer && answer->address == address) {
    if (answer->status != 0) return ProbeResult::Refused;
    bus.state().FoundDevices.push_back({static_cast<std::uint8_t>(address), minuteBefore(bus.now())});
    if (bus.onFound) bus.onFound(address);
    return ProbeResult::Found;
  }
  if (answer || (reply && reply->kind == BusReply::Kind::Dropped)) return ProbeResult::Unreadable;
  return stop.requested ? ProbeResult::Stopped : ProbeResult::Empty;
}

}  // namespace rs485::cli
