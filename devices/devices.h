#pragma once

#include "devices/address_change.h"
#include "devices/clock.h"
#include "devices/found_devices.h"
#include "devices/scan.h"
#include "devices/selection.h"
#include "devices/window_view.h"
#include "link/exchange.h"

namespace rs485 {

// Discovery and addressing as the window wires them: the scan, the list
// selection, the address change, and the handler of every 5-byte answer.
class Devices {
 public:
  Devices(WindowView& view, ConfirmDialog& dialog, Exchange& exchange, DeviceState& state,
          Clock clock = systemClock(), PrepareRecordingFile prepareRecordingFile = {});

  // The reply of a probe or an address change that was answered. Routed by
  // its request and the status byte: an address-change acknowledgement,
  // nothing (status not 0), or a find.
  void shortAnswerFunc(const BusReply& reply);

  void FindClick() { scan.FindClick(); }
  void scanTick(int busy) { scan.scanTick(busy); }
  void ListAdressClick() { rs485::ListAdressClick(view_, state_); }
  void InstallAdressClick() { addressChange.InstallAdressClick(); }

  Scan scan;
  AddressChange addressChange;

 private:
  WindowView& view_;
  DeviceState& state_;
};

}  // namespace rs485
