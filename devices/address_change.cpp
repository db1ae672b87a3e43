#include "devices/address_change.h"

#include <optional>

#include "devices/messages.h"
#include "devices/selection.h"
#include "protocol/frames.h"

namespace rs485 {

AddressChange::AddressChange(WindowView& view, Exchange& exchange, DeviceState& state)
    : view_(view), exchange_(exchange), state_(state) {}

void AddressChange::request(const AddressSource& address, const AddressSource& newAddress) {
  const std::optional<int> selected = address();
  if (!selected) return;
  state_.SelectedAddress = *selected;
  if (!isBusAddress(state_.SelectedAddress)) {
    view_.showError(msg::enterDeviceAddress(), FocusTarget::n1_addr);
    return;
  }

  const std::optional<int> proposed = newAddress();
  if (!proposed) return;
  newAddress_ = *proposed;
  if (newAddress_ == state_.SelectedAddress || !isBusAddress(newAddress_)) {
    view_.showError(msg::wrongNewAddress(), FocusTarget::new1);
    return;
  }

  state_.PendingCommand = CmdSetAddress;
  awaiting_ = true;
  exchange_.sendRequest(BusRequest::setAddress(state_.SelectedAddress, newAddress_));
}

void AddressChange::acknowledge() {
  awaiting_ = false;
  const int from = state_.SelectedAddress;
  for (DeviceEntry& entry : state_.FoundDevices) {
    if (entry.address == state_.SelectedAddress) {
      entry.address = static_cast<std::uint8_t>(newAddress_);
      break;
    }
  }
  state_.SelectedAddress = newAddress_;

  view_.clearDeviceList();
  for (const DeviceEntry& entry : state_.FoundDevices)
    view_.appendDeviceListItem(deviceCaption(entry.address));
  view_.setStatus(msg::addressChanged());
  if (changed_) changed_(from, newAddress_);
}

}  // namespace rs485
