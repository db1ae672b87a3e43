#pragma once

#include <QString>
#include <iosfwd>

#include "devices/found_devices.h"
#include "devices/window_view.h"
#include "link/exchange.h"
#include "link/port_session.h"

namespace rs485 {

// The controls that only the port button changes, beside those of
// WindowView. The window implements it; tests implement it with fields.
class PortControls {
 public:
  virtual ~PortControls() = default;

  // `Ports`: whether another name can be chosen.
  virtual void setPortsEnabled(bool enabled) = 0;
  // `OpenClose`.
  virtual void setOpenCloseCaption(const QString& caption) = 0;
  // `Find`, `PanelAction` and `InstallAdress`.
  virtual void setFindEnabled(bool enabled) = 0;
  virtual void setPanelActionEnabled(bool enabled) = 0;
  virtual void setInstallAdressEnabled(bool enabled) = 0;
  // The digit editors `n1_addr`..`n3_addr` and `new1`..`new3`, all three at once.
  virtual void setAddressDigitsEnabled(bool enabled) = 0;
  virtual void setNewAddressDigitsEnabled(bool enabled) = 0;
  virtual void setNewAddressDigit(int index, const QString& text) = 0;
};

// OpenClose clicked on "Открыть": opens the port chosen in `Ports` and
// enables what an open port allows. A port that does not open is reported
// in the error box, and why, on `errors` (standard error).
void openPort(WindowView& view, PortControls& controls, PortSession& session, const QString& portName,
              std::ostream& errors);
// OpenClose clicked on "Закрыть": puts the window back as it started and
// closes the port.
void closePort(WindowView& view, PortControls& controls, PortSession& session, DeviceState& state);

}  // namespace rs485
