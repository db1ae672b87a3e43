#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "monitor/monitor_view.h"

namespace rs485 {

// The place of the window for a session that has none: no control to
// change, only readTimer, a real timer that paces the bus, and the texts
// of the error boxes, handed on.
class NoWindow final : public QObject, public MonitorView {
 public:
  // Tests run the timer faster: every interval is divided by `timeDivisor`.
  explicit NoWindow(int timeDivisor = 1);

  std::function<void()> onTick;                        // readTimer's timeout
  std::function<void(const QString& text)> onRefusal;  // what an error box would say

  int timeDivisor() const { return divisor_; }

  void setStatus(const QString&) override {}
  void showError(const QString& text, FocusTarget focus) override;
  void setReadTimerInterval(int milliseconds) override;
  void setReadTimerActive(bool active) override;
  void setFindCaption(const QString&) override {}
  void setTimeoutsEnabled(bool) override {}
  void setOpenCloseEnabled(bool) override {}
  void clearDeviceList() override {}
  void appendDeviceListItem(const QString&) override {}
  void setDeviceListEnabled(bool) override {}
  void setAddressDigit(int, const QString&) override {}
  void setReadingAllCaption(const QString&) override {}
  void setWFileCaption(const QString&) override {}
  void setWFileChecked(bool) override {}
  void initialAll() override {}
  void enDisPanel(bool) override {}
  void setSetpointGroupsEnabled(bool) override {}
  void setCellText(DigitCell, const QString&) override {}
  void setDotTimerActive(bool) override {}
  void setDotVisible(bool) override {}

 private:
  QTimer readTimer_;
  int divisor_;
};

}  // namespace rs485
