#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "devices/messages.h"
#include "devices/port_button.h"
#include "devices/window_view.h"

namespace rs485::test {

// Everything the logic did to the window and the dialog, in order, as
// readable lines ("status Найдено 0 устройств", "timer on", ...).
using CallLog = std::vector<std::string>;

inline std::string text(const QString& s) { return s.toStdString(); }

class FakeWindow : public WindowView {
 public:
  explicit FakeWindow(CallLog& log) : log_(log) {}

  QString status;
  std::vector<std::pair<QString, FocusTarget>> errors;
  int readTimerInterval = 1000;
  bool readTimer = false;
  QString find = msg::findCaption();
  int timeouts = 500;
  bool timeoutsEnabled = true;
  bool openCloseEnabled = true;
  QStringList list;
  bool listEnabled = false;
  int selectedRow = -1;
  QString digits[3] = {"0", "0", "0"};
  QString newDigits[3] = {"0", "0", "0"};

  void setStatus(const QString& t) override {
    status = t;
    log_.push_back("status " + text(t));
  }
  void showError(const QString& t, FocusTarget focus) override {
    errors.emplace_back(t, focus);
    log_.push_back("error " + text(t));
  }
  void setReadTimerInterval(int ms) override {
    readTimerInterval = ms;
    log_.push_back("interval " + std::to_string(ms));
  }
  void setReadTimerActive(bool active) override {
    readTimer = active;
    log_.push_back(active ? "timer on" : "timer off");
  }
  bool readTimerActive() const override { return readTimer; }
  QString findCaption() const override { return find; }
  void setFindCaption(const QString& caption) override {
    find = caption;
    log_.push_back("find " + text(caption));
  }
  int timeoutsValue() const override { return timeouts; }
  void setTimeoutsEnabled(bool enabled) override {
    timeoutsEnabled = enabled;
    log_.push_back(enabled ? "timeouts on" : "timeouts off");
  }
  void setOpenCloseEnabled(bool enabled) override {
    openCloseEnabled = enabled;
    log_.push_back(enabled ? "openclose on" : "openclose off");
  }
  void clearDeviceList() override {
    list.clear();
    selectedRow = -1;
    log_.push_back("list clear");
  }
  void appendDeviceListItem(const QString& caption) override {
    list.append(caption);
    log_.push_back("list add " + text(caption));
  }
  void setDeviceListEnabled(bool enabled) override {
    listEnabled = enabled;
    log_.push_back(enabled ? "list on" : "list off");
  }
  int selectedDeviceListRow() const override { return selectedRow; }
  QString deviceListItemCaption(int row) const override { return list.value(row); }
  QString addressDigit(int index) const override { return digits[index]; }
  void setAddressDigit(int index, const QString& t) override {
    digits[index] = t;
    log_.push_back("digit " + std::to_string(index) + " " + text(t));
  }
  QString newAddressDigit(int index) const override { return newDigits[index]; }

  void setDigits(const char* hundreds, const char* tens, const char* units) {
    digits[0] = QString::fromUtf8(hundreds);
    digits[1] = QString::fromUtf8(tens);
    digits[2] = QString::fromUtf8(units);
  }
  void setNewDigits(const char* hundreds, const char* tens, const char* units) {
    newDigits[0] = QString::fromUtf8(hundreds);
    newDigits[1] = QString::fromUtf8(tens);
    newDigits[2] = QString::fromUtf8(units);
  }

 private:
  CallLog& log_;
};

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

  QString portName() const override { return port; }
  void setPortsEnabled(bool enabled) override { note(portsEnabled, enabled, "ports"); }
  QString openCloseCaption() const override { return caption; }
  void setOpenCloseCaption(const QString& c) override {
    caption = c;
    log_.push_back("caption " + text(c));
  }
  void setFindEnabled(bool enabled) override { note(findEnabled, enabled, "find"); }
  void setPanelActionEnabled(bool enabled) override { note(panelAction, enabled, "panel"); }
  void setInstallAdressEnabled(bool enabled) override { note(installAdress, enabled, "install"); }
  void setAddressDigitsEnabled(bool enabled) override { note(addressDigits, enabled, "digits"); }
  void setNewAddressDigitsEnabled(bool enabled) override { note(newAddressDigits, enabled, "new digits"); }
  void setNewAddressDigit(int index, const QString& t) override {
    log_.push_back("new digit " + std::to_string(index) + " " + text(t));
  }

 private:
  void note(bool& field, bool enabled, const std::string& what) {
    field = enabled;
    log_.push_back(what + (enabled ? " on" : " off"));
  }
  CallLog& log_;
};

// How the operator leaves the dialog.
enum class Answer { Yes, YesDontAsk, No, CloseBox };

class FakeDialog : public ConfirmDialog {
 public:
  explicit FakeDialog(CallLog& log) : log_(log) {}

  ScanAnswer mode = ScanAnswer::AskAgain;
  std::vector<QString> questions;
  std::deque<Answer> answers;  // taken one per question; "Да" when none is left
  std::function<void()> whileOpen;

  ScanAnswer askMode() const override { return mode; }
  void setAskMode(ScanAnswer m) override {
    mode = m;
    log_.push_back("askmode " + std::to_string(static_cast<int>(m)));
  }
  void ask(const QString& confirmText) override {
    questions.push_back(confirmText);
    log_.push_back("ask " + text(confirmText));
    if (whileOpen) whileOpen();
    Answer answer = Answer::Yes;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    switch (answer) {
      case Answer::Yes:
        mode = ScanAnswer::AskAgain;
        log_.push_back("answer yes");
        break;
      case Answer::YesDontAsk:
        mode = ScanAnswer::GoOnWithoutAsking;
        log_.push_back("answer yes, don't ask");
        break;
      case Answer::No:
        mode = ScanAnswer::StopScan;
        log_.push_back("answer no");
        break;
      case Answer::CloseBox:
        log_.push_back("answer close box");
        break;
    }
  }

 private:
  CallLog& log_;
};

}  // namespace rs485::test

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
