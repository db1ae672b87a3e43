#pragma once

#include <QString>

#include "devices/window_view.h"
#include "monitor/digit_cells.h"

namespace rs485 {

// The window's controls that the poll, the display and the recording use.
class MonitorView : public WindowView {
 public:
  // `readingAll`.
  virtual void setReadingAllCaption(const QString& caption) = 0;
  // `wFile`: the check box and its caption.
  virtual void setWFileCaption(const QString& caption) = 0;
  virtual void setWFileChecked(bool checked) = 0;

  // Window operations: every digit of the right panel to "0" and the
  // setpoint groups off; the enabling of the left panel while polling.
  virtual void initialAll() = 0;
  virtual void enDisPanel(bool enable) = 0;
  // `gb_temp`, `gb_time`, `gb_cycle`.
  virtual void setSetpointGroupsEnabled(bool enabled) = 0;

  // One-character digit cells of the right panel.
  virtual void setCellText(DigitCell cell, const QString& text) = 0;

  // `dotTimer` and the colon `dot`. Switching on a timer that already runs
  // leaves its period undisturbed (no restart).
  virtual void setDotTimerActive(bool active) = 0;
  virtual void setDotVisible(bool visible) = 0;
};

}  // namespace rs485
