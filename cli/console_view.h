#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <optional>

#include "devices/found_devices.h"
#include "devices/window_view.h"
#include "monitor/monitor_view.h"

namespace rs485::cli {

// The scan never asks: every find goes on without a question, as after
// "Да" with "Не спрашивать" ticked.
class ConsoleDialog : public ConfirmDialog {
 public:
  static constexpr int kGoOnWithoutAsking = 3;
  ScanAnswer askMode() const override { return ScanAnswer::GoOnWithoutAsking; }
  void setAskMode(ScanAnswer) override {}
  void ask(const QString&) override {}
};

// The window as a program without a display sees it: captions, editors and
// digit cells are plain fields, the status and error texts are kept for the
// command to report, and readTimer is a real QTimer that calls onTick.
// The digit cells are those of the working device; the text lines take
// each device's panel from the session's events instead.
class ConsoleView : public QObject, public MonitorView {
 public:
  ConsoleView();

  std::function<void()> onTick;  // readTimer's timeout
  ConsoleDialog confirm;

  // The scan's per-address time-out, as `Timeouts` would hold it.
  void setTimeouts(int milliseconds) { timeouts_ = milliseconds; }
  // Tests run the timer faster: every interval is divided by this.
  void setTimeDivisor(int divisor) { divisor_ = divisor < 1 ? 1 : divisor; }
  int timeDivisor() const { return divisor_; }

  // The three digits of an address into `n1_addr`..`n3_addr` or `new1`..`new3`.
  void setAddressEditors(int address);
  void setNewAddressEditors(int address);

  // The error box's last text, empty when none was shown.
  QString lastError() const { return lastError_; }
  void clearError() { lastError_.clear(); }
  QString status() const { return status_; }

  // WindowView
  void setStatus(const QString& text) override { status_ = text; }
  void showError(const QString& text, FocusTarget focus) override;
  void setReadTimerInterval(int milliseconds) override;
  void setReadTimerActive(bool active) override;
  bool readTimerActive() const override { return readTimer_.isActive(); }
  void setFindCaption(const QString&) override {}
  int timeoutsValue() const override { return timeouts_; }
  void setTimeoutsEnabled(bool) override {}
  void setOpenCloseEnabled(bool) override {}
  void clearDeviceList() override { list_.clear(); }
  void appendDeviceListItem(const QString& caption) override { list_ << caption; }
  void setDeviceListEnabled(bool) override {}
  int selectedDeviceListRow() const override { return -1; }
  QString deviceListItemCaption(int row) const override { return list_.value(row); }
  QString addressDigit(int index) const override {
    return addressDigits_.at(static_cast<std::size_t>(index));
  }
  void setAddressDigit(int index, const QString& text) override {
    addressDigits_.at(static_cast<std::size_t>(index)) = text;
  }
  QString newAddressDigit(int index) const override { return newDigits_.at(static_cast<std::size_t>(index)); }

  // MonitorView
  void setReadingAllCaption(const QString&) override {}
  void setWFileCaption(const QString&) override {}
  void setWFileChecked(bool) override {}
  void initialAll() override { cells_.clear(); }
  void enDisPanel(bool) override {}
  void setSetpointGroupsEnabled(bool) override {}
  QString cellText(DigitCell cell) const override;
  void setCellText(DigitCell cell, const QString& text) override;
  void setDotTimerActive(bool) override {}
  bool dotVisible() const override { return true; }
  void setDotVisible(bool) override {}

 private:
  QTimer readTimer_;
  int timeouts_ = 500;
  int divisor_ = 1;
  QString status_;
  QString lastError_;
  QStringList list_;
  std::array<QString, 3> addressDigits_{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
  std::array<QString, 3> newDigits_{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
  std::map<DigitCell, QString> cells_;  // a cell never written reads "0"
};

}  // namespace rs485::cli
