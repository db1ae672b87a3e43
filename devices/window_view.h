#pragma once

#include <QString>

namespace rs485 {

// Where the focus goes after an error box.
enum class FocusTarget { None, Find, n1_addr, new1 };

// The main window as the logic below it sees it: what the steps change.
// The logic never reads a control; what the operator has typed or chosen
// comes with the step. The window implements it; tests implement it with
// plain fields. Names of the window's controls are given where a method
// stands for one.
class WindowView {
 public:
  virtual ~WindowView() = default;

  // Status bar `Status`: the whole text is replaced.
  virtual void setStatus(const QString& text) = 0;
  // Modal error box (error icon, one OK button, caption "Error"); returns
  // when it is closed, then moves the focus.
  virtual void showError(const QString& text, FocusTarget focus) = 0;

  // `readTimer`.
  virtual void setReadTimerInterval(int milliseconds) = 0;
  virtual void setReadTimerActive(bool active) = 0;

  // `Find`.
  virtual void setFindCaption(const QString& caption) = 0;
  // `Timeouts` with its spinner `UpDown`.
  virtual void setTimeoutsEnabled(bool enabled) = 0;  // Timeouts and UpDown
  // `OpenClose`.
  virtual void setOpenCloseEnabled(bool enabled) = 0;

  // `ListAdress`.
  virtual void clearDeviceList() = 0;
  virtual void appendDeviceListItem(const QString& caption) = 0;
  virtual void setDeviceListEnabled(bool enabled) = 0;

  // The working address's digit editors `n1_addr`, `n2_addr`, `n3_addr`
  // (index 0..2).
  virtual void setAddressDigit(int index, const QString& text) = 0;
};

// The answer of the confirmation dialog, kept in its AskMode.
enum class ScanAnswer {
  AskAgain = 1,           // "Да": ask again at the next find
  StopScan = 2,           // "Нет": the scan ends
  GoOnWithoutAsking = 3,  // "Да" with "Больше не спрашивать" ticked
};

// Shows the confirmation dialog `Attention`; its answer travels in AskMode,
// kept with the dialog.
class ConfirmDialog {
 public:
  virtual ~ConfirmDialog() = default;
  virtual ScanAnswer askMode() const = 0;
  virtual void setAskMode(ScanAnswer mode) = 0;
  // Sets ConfirmText and shows the dialog modally; returns when it closes.
  virtual void ask(const QString& confirmText) = 0;
};

}  // namespace rs485
