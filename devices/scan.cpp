#include "devices/scan.h"

#include "devices/messages.h"
#include "protocol/frames.h"

namespace rs485 {

Scan::Scan(WindowView& view, ConfirmDialog* dialog, Exchange& exchange, DeviceState& state, Clock clock)
    : view_(view), dialog_(dialog), exchange_(exchange), state_(state), clock_(std::move(clock)) {}

void Scan::start(int interval) {
  running_ = true;
  view_.setReadTimerInterval(interval);
  view_.setFindCaption(msg::stopCaption());
  view_.setTimeoutsEnabled(false);
  view_.clearDeviceList();
  view_.setOpenCloseEnabled(false);
  state_.FoundDevices.clear();
  view_.setReadTimerActive(true);
  if (dialog_ != nullptr) dialog_->setAskMode(ScanAnswer::AskAgain);
  scanAddress_ = firstAddress_;
  state_.PendingCommand = CmdProbe;
  view_.setStatus(msg::scanningFirst());
}

void Scan::end() {
  running_ = false;
  view_.setFindCaption(msg::findCaption());
  view_.setTimeoutsEnabled(true);
  view_.setOpenCloseEnabled(true);
  view_.setReadTimerActive(false);
  if (!state_.FoundDevices.empty()) view_.setDeviceListEnabled(true);
  view_.setStatus(msg::scanFinished(static_cast<int>(state_.FoundDevices.size())));
}

void Scan::scanTick(int busy) {
  if (state_.PendingCommand != CmdProbe) return;
  if (busy == 0) {
    view_.setStatus(msg::scanning(scanAddress_));
    exchange_.sendRequest(BusRequest::probe(scanAddress_));
    if (hooks_.probed) hooks_.probed(scanAddress_);
    ++scanAddress_;
  }
  if (scanAddress_ == lastAddress_ + 1) end();
}

void Scan::find(int address) {
  view_.setReadTimerActive(false);
  state_.FoundDevices.push_back(DeviceEntry{static_cast<std::uint8_t>(address), 0});
  // The entry this find completes. The dialog below runs a nested event loop,
  // so it is reached by index, never by a reference held across it.
  const std::size_t entry = state_.FoundDevices.size() - 1;
  const int listed = state_.FoundDevices[entry].address;
  view_.appendDeviceListItem(deviceCaption(listed));
  const QString confirmText = msg::foundDeviceQuestion(listed);

  const auto asked = [this] {
    return dialog_ != nullptr ? dialog_->askMode() : ScanAnswer::GoOnWithoutAsking;
  };
  if (asked() == ScanAnswer::AskAgain) {
    view_.setReadTimerActive(false);
    dialog_->ask(confirmText);
  }
  if (asked() == ScanAnswer::StopScan) end();
  if (running()) {
    view_.setReadTimerActive(true);
  } else if (hooks_.resumePoll) {
    // A late answer to the scan's last probe must not leave a poll standing still.
    hooks_.resumePoll();
  }

  // One minute behind, so that the first reading of the device is recorded.
  if (entry < state_.FoundDevices.size()) state_.FoundDevices[entry].recordedMinute = minuteBefore(clock_());
  if (hooks_.found) hooks_.found(listed);
  exchange_.clearReceive();
}

}  // namespace rs485
