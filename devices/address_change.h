#pragma once

#include "devices/found_devices.h"
#include "devices/window_view.h"
#include "link/exchange.h"

namespace rs485 {

// Gives the working device a new bus address. User-interface thread only.
class AddressChange {
 public:
  AddressChange(WindowView& view, Exchange& exchange, DeviceState& state);

  // InstallAdress click: checks both addresses and sends the request.
  void InstallAdressClick();

  // The address change was answered with status 0.
  void acknowledge();

  // Formed by the last click that got this far; the acknowledgement uses it.
  int NewAddress() const { return newAddress_; }

 private:
  WindowView& view_;
  Exchange& exchange_;
  DeviceState& state_;
  int newAddress_ = 0;
};

}  // namespace rs485
