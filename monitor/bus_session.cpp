#include "monitor/bus_session.h"

#include <utility>

#include "devices/read_tick.h"
#include "protocol/frames.h"

namespace rs485 {

BusSession::BusSession(MonitorView& view, ConfirmDialog& dialog, Exchange& exchange, Clock clock,
                       RecordingOptions options)
    : BusSession(nullptr, &view, &dialog, exchange, std::move(clock), std::move(options)) {}

BusSession::BusSession(Exchange& exchange, Clock clock, RecordingOptions options, int timeDivisor)
    : BusSession(std::make_unique<NoWindow>(timeDivisor), nullptr, nullptr, exchange, std::move(clock),
                 std::move(options)) {
  noWindow_->onTick = [this] { readTimerTimer(); };
  noWindow_->onRefusal = [this](const QString& text) {
    if (events_.refused) events_.refused(text);
  };
}

BusSession::BusSession(std::unique_ptr<NoWindow> noWindow, MonitorView* view, ConfirmDialog* dialog,
                       Exchange& exchange, Clock clock, RecordingOptions options)
    : noWindow_(std::move(noWindow)),
      view_(view != nullptr ? *view : *noWindow_),
      recording(view_, clock, std::move(options)),
      poll(view_, exchange, state, recording, shown),
      display(view_, exchange, state, poll, recording, shown),
      scan(view_, dialog, exchange, state, std::move(clock)),
      addressChange(view_, exchange, state),
      exchange_(exchange) {
  scan.setHooks({
      .probed =
          [this](int address) {
            if (events_.scanProgress) events_.scanProgress(address);
          },
      .found =
          [this](int address) {
            if (prepareFilesOnFind) recording.prepareRecordingFile(address);
            if (events_.found) events_.found(address);
          },
      .resumePoll = [this] { poll.resumeAfterFind(); },
  });
  addressChange.setChanged([this](int from, int to) {
    if (events_.addressChanged) events_.addressChanged(from, to);
  });
  poll.setSilent([this](int address) {
    if (events_.silent) events_.silent(address);
  });
  display.setHandled([this](const ReadingsResponse& readings) {
    if (events_.readings) events_.readings(readings);
  });
}

Activity BusSession::activity() const {
  if (state.PendingCommand == CmdSetAddress && addressChange.awaiting()) return Activity::ChangingAddress;
  if (poll.running()) return Activity::Polling;
  if (scan.running()) return Activity::Scanning;
  return Activity::Idle;
}

void BusSession::tellActivity() {
  const Activity now = activity();
  if (now == told_) return;
  told_ = now;
  if (events_.activityChanged) events_.activityChanged(now);
}

void BusSession::startScan(int interval) {
  scan.start(interval);
  tellActivity();
}

void BusSession::stopScan() {
  scan.stop();
  tellActivity();
}

void BusSession::selectListed(const std::optional<QString>& caption) {
  ListAdressClick(view_, state, caption);
}

void BusSession::changeAddress(const AddressSource& address, const AddressSource& newAddress) {
  addressChange.request(address, newAddress);
  tellActivity();
}

void BusSession::startPoll(const AddressSource& address) {
  poll.start(address);
  tellActivity();
}

void BusSession::stopPoll() {
  poll.stop();
  tellActivity();
}

void BusSession::startRecording() { recording.switchOn(); }

void BusSession::stopRecording() { recording.switchOff(); }

// The second branch is chosen after the first has run: the end of a scan
// may hand the tick to the poll it interrupted.
void BusSession::readTimerTimer() {
  const int busy = beginReadTick(exchange_);
  if (state.PendingCommand == CmdProbe) scan.scanTick(busy);
  if (state.PendingCommand == CmdReadCurrent) poll.pollTick(busy);
  tellActivity();
}

void BusSession::replied(const BusReply& reply) {
  if (reply.status) statusAnswer(reply);
  if (reply.readings) display.showReadings(*reply.readings);
  tellActivity();
}

// The command byte of the answer is not looked at: the request routes it.
void BusSession::statusAnswer(const BusReply& reply) {
  const StatusResponse& answer = *reply.status;
  if (answer.status != 0) return;
  if (reply.request.kind == BusRequest::Kind::SetAddress) {
    addressChange.acknowledge();
  } else {
    scan.find(answer.address);
  }
}

}  // namespace rs485
