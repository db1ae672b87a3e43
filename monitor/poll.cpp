#include "monitor/poll.h"

#include "devices/messages.h"
#include "devices/selection.h"
#include "protocol/frames.h"

namespace rs485 {

Poll::Poll(MonitorView& view, Exchange& exchange, DeviceState& state, Recording& recording, ShownPanel& shown)
    : view_(view), exchange_(exchange), state_(state), recording_(recording), shown_(shown) {}

void Poll::clearPanel() {
  view_.initialAll();
  shown_.cells = PanelTexts::zeros();
}

void Poll::start(const AddressSource& workingAddress) {
  if (state_.FoundDevices.empty()) {
    view_.showError(msg::searchPrompt(), FocusTarget::Find);
    return;
  }
  const auto address = workingAddress();
  if (!address) return;  // the conversion error has been shown
  state_.SelectedAddress = *address;
  if (!isBusAddress(state_.SelectedAddress)) {
    view_.showError(msg::enterDeviceAddress(), FocusTarget::n1_addr);
    return;
  }
  running_ = true;
  clearPanel();
  view_.setSetpointGroupsEnabled(false);
  view_.setReadingAllCaption(msg::stopCaption());
  view_.enDisPanel(false);
  view_.setStatus(msg::pollStarted());

  PollIndex = 0;
  silentTicks_ = 0;
  awaiting_ = false;
  for (std::size_t i = 0; i < state_.FoundDevices.size(); ++i) {
    if (state_.FoundDevices[i].address == state_.SelectedAddress) {
      PollIndex = i;
      break;
    }
  }

  view_.setReadTimerInterval(kPollInterval);
  state_.PendingCommand = CmdReadCurrent;
  view_.setReadTimerActive(true);
}

void Poll::stop() {
  endSilentTurn();
  silentTicks_ = 0;
  running_ = false;
  awaiting_ = false;
  view_.setStatus(msg::pollStopped());
  view_.setReadingAllCaption(msg::readingAllCaption());
  view_.enDisPanel(true);
  view_.setWFileChecked(false);
  recording_.switchOff();
  clearPanel();
  view_.setReadTimerActive(false);
  view_.setDotTimerActive(false);
  view_.setDotVisible(true);
  shown_.dot = true;
}

void Poll::resumeAfterFind() {
  if (!running()) return;
  view_.setReadTimerInterval(kPollInterval);
  view_.setReadTimerActive(true);
}

void Poll::setSilentTicksBeforeSkip(int ticks) { silentTicksBeforeSkip_ = ticks < 1 ? 1 : ticks; }

void Poll::pollTick(int busy) {
  awaiting_ = false;
  if (silentTicks_ >= silentTicksBeforeSkip_) {
    endSilentTurn();
    advance();
  }
  // Counted as silent until a handled answer says otherwise; a tick that
  // sends nothing because bytes are waiting counts too.
  ++silentTicks_;
  const DeviceEntry* entry = busy == 0 ? currentEntry() : nullptr;
  if (entry == nullptr) {
    exchange_.expectAnswer(kReadingsResponseLength);
    return;
  }
  awaiting_ = true;
  exchange_.sendRequest(BusRequest::readCurrent(entry->address));
}

void Poll::endSilentTurn() {
  const DeviceEntry* entry = silentTicks_ > 0 ? currentEntry() : nullptr;
  if (entry != nullptr && silent_) silent_(entry->address);
}

DeviceEntry* Poll::currentEntry() {
  auto& devices = state_.FoundDevices;
  if (devices.empty()) return nullptr;
  return PollIndex < devices.size() ? &devices[PollIndex] : &devices.front();
}

void Poll::advance() {
  silentTicks_ = 0;
  awaiting_ = false;
  if (state_.FoundDevices.empty()) {
    PollIndex = 0;
    return;
  }
  if (PollIndex >= state_.FoundDevices.size()) PollIndex = 0;  // the entry answered was the first
  ++PollIndex;
  if (PollIndex >= state_.FoundDevices.size()) PollIndex = 0;
}

}  // namespace rs485
