#include "devices/port_button.h"

#include <QCoreApplication>
#include <ostream>
#include <string>

#include "devices/messages.h"
#include "devices/open_failure.h"

namespace rs485 {

void openPort(WindowView& view, PortControls& controls, PortSession& session, const QString& portName,
              std::ostream& errors) {
  const std::string name = portName.toStdString();
  if (!session.COMOpen(name)) {
    const std::string& path = session.lastPath();
    const QString device = path.empty() ? QCoreApplication::translate("rs485-master", "no device")
                                        : QString::fromStdString(path);
    errors << "rs485-master: "
           << QCoreApplication::translate("rs485-master", "cannot open %1 (%2): %3")
                  .arg(portName, device, openFailureText(session))
                  .toStdString()
           << '\n';
    view.showError(msg::cannotOpenPort(), FocusTarget::None);
    session.COMClose();
    return;
  }
  controls.setFindEnabled(true);
  view.setTimeoutsEnabled(true);
  controls.setPortsEnabled(false);
  controls.setOpenCloseCaption(msg::closeCaption());
  controls.setPanelActionEnabled(true);
  controls.setAddressDigitsEnabled(true);
  controls.setNewAddressDigitsEnabled(true);
  controls.setInstallAdressEnabled(true);
  view.setFindCaption(msg::findCaption());
  view.setStatus(msg::searchPrompt());
}

void closePort(WindowView& view, PortControls& controls, PortSession& session, DeviceState& state) {
  controls.setFindEnabled(false);
  controls.setPortsEnabled(true);
  state.FoundDevices.clear();
  view.setTimeoutsEnabled(false);
  view.setDeviceListEnabled(false);
  view.clearDeviceList();
  controls.setPanelActionEnabled(false);
  controls.setAddressDigitsEnabled(false);
  for (int i = 0; i < 3; ++i) view.setAddressDigit(i, QStringLiteral("0"));
  controls.setNewAddressDigitsEnabled(false);
  for (int i = 0; i < 3; ++i) controls.setNewAddressDigit(i, QStringLiteral("0"));
  controls.setInstallAdressEnabled(false);
  view.setStatus(msg::openPortPrompt());
  controls.setOpenCloseCaption(msg::openCaption());
  session.COMClose();
}

}  // namespace rs485
