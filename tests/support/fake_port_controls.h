#pragma once

#include <QString>
#include <string>

#include "devices/messages.h"
#include "devices/port_button.h"
#include "tests/support/call_log.h"

namespace rs485::test {

// The port button's own controls as plain fields, logged like the window.
class FakePortControls : public PortControls {
 public:
  explicit FakePortControls(CallLog& log) : log_(log) {}

  QString port = QStringLiteral("COM1");
  QString caption = msg::openCaption();
  bool portsEnabled = true;
  bool findEnabled = false;
  bool panelAction = false;
  bool installAdress = false;
  bool addressDigits = false;
  bool newAddressDigits = false;

  void setPortsEnabled(bool enabled) override { note(portsEnabled, enabled, "ports"); }
  void setOpenCloseCaption(const QString& c) override {
    caption = c;
    log_.push_back("caption " + c.toStdString());
  }
  void setFindEnabled(bool enabled) override { note(findEnabled, enabled, "find"); }
  void setPanelActionEnabled(bool enabled) override { note(panelAction, enabled, "panel"); }
  void setInstallAdressEnabled(bool enabled) override { note(installAdress, enabled, "install"); }
  void setAddressDigitsEnabled(bool enabled) override { note(addressDigits, enabled, "digits"); }
  void setNewAddressDigitsEnabled(bool enabled) override { note(newAddressDigits, enabled, "new digits"); }
  void setNewAddressDigit(int index, const QString& t) override {
    log_.push_back("new digit " + std::to_string(index) + " " + t.toStdString());
  }

 private:
  void note(bool& field, bool enabled, const std::string& what) {
    field = enabled;
    log_.push_back(what + (enabled ? " on" : " off"));
  }
  CallLog& log_;
};

}  // namespace rs485::test
