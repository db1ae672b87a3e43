#pragma once

#include <functional>
#include <utility>

#include "devices/found_devices.h"
#include "devices/selection.h"
#include "devices/window_view.h"
#include "link/exchange.h"

namespace rs485 {

// Gives the working device a new bus address. User-interface thread only.
class AddressChange {
 public:
  AddressChange(WindowView& view, Exchange& exchange, DeviceState& state);

  // Checks both addresses, each taken when its check comes, and sends the
  // request.
  void request(const AddressSource& address, const AddressSource& newAddress);

  // The address change was answered with status 0.
  void acknowledge();

  // Told after an acknowledgement has renamed the device.
  void setChanged(std::function<void(int from, int to)> changed) { changed_ = std::move(changed); }

  // A request has gone out and no acknowledgement has come yet.
  bool awaiting() const { return awaiting_; }

 private:
  WindowView& view_;
  Exchange& exchange_;
  DeviceState& state_;
  int newAddress_ = 0;  // of the last request sent; the acknowledgement renames the device to it
  bool awaiting_ = false;
  std::function<void(int from, int to)> changed_;
};

}  // namespace rs485
