#pragma once

#include <QHelpEvent>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "devices/clock.h"
#include "devices/found_devices.h"
#include "devices/port_button.h"
#include "devices/qt_ui_executor.h"
#include "devices/selection.h"
#include "link/exchange.h"
#include "link/open_device.h"
#include "link/port_names.h"
#include "link/port_session.h"
#include "link/serial_device.h"
#include "monitor/bus_session.h"
#include "monitor/device_health.h"
#include "monitor/monitor_view.h"

class QLabel;
class QLineEdit;

namespace Ui {
class THeadForm;
}

namespace rs485 {

// The main window `HeadForm`. It owns every control, the two timers, the
// port session with its exchange engine and the found devices, and it is
// the view through which the scan, the poll and the display reach the
// controls. Handlers are named after their control and event.
class THeadForm : public QMainWindow, public MonitorView, public PortControls {
  Q_OBJECT

 public:
  explicit THeadForm(PortNames names = PortNames(), DeviceOpener opener = openDevice,
                     QWidget* parent = nullptr);
  ~THeadForm() override;

  // Seams for tests and for the wiring of the logic.
  using ErrorBox = std::function<void(const QString& text)>;
  // Replaces the modal error box (error icon, one OK, caption "Error").
  void setErrorBox(ErrorBox box) { errorBox_ = std::move(box); }
  // The width of the screen that FormShow adapts to.
  void setScreenWidth(std::function<int()> width) { screenWidth_ = std::move(width); }
  void setConfirmDialog(ConfirmDialog* dialog) { confirmDialog_ = dialog; }
  ConfirmDialog* confirmDialog() const { return confirmDialog_; }
  // Local time of the scan and the recording.
  void setClock(Clock clock) { now_ = std::move(clock); }
  // Where the recording files go and how their dates read.
  void setRecordingOptions(RecordingOptions options) { bus_.recording.setOptions(std::move(options)); }

  Exchange& exchange() { return exchange_; }
  PortSession& session() { return session_; }
  DeviceState& deviceState() { return bus_.state; }
  BusSession& bus() { return bus_; }
  const DeviceHealth& deviceHealth() const { return health_; }
  const Ui::THeadForm& form() const { return *ui_; }
  QString statusText() const;
  // What the controls hold now.
  int timeoutsValue() const;
  bool readTimerActive() const { return readTimer.isActive(); }
  QString cellText(DigitCell cell) const;
  bool dotVisible() const;
  int selectedDeviceListRow() const;  // -1 when no row is selected
  QString deviceListItemCaption(int row) const;
  QString addressDigit(int index) const;
  QString newAddressDigit(int index) const;

  // The timers that pace the bus and blink the clock's colon.
  QTimer readTimer;
  QTimer dotTimer;

  // Window operations.
  void FormShow();
  void initialAll() override;
  void enDisPanel(bool enable) override;

  // Handlers. A key handler gets the typed character and discards it by
  // setting it to 0.
  void OpenCloseClick();
  void TimeoutsKeyPress(QChar& key);
  void FindClick();
  void ListAdressClick();
  void n1_addrClick();
  void n2_addrClick();
  void n3_addrClick();
  void n1_addrKeyPress(QChar& key);
  void n2_addrKeyPress(QChar& key);
  void n3_addrKeyPress(QChar& key);
  void new1Click();
  void new2Click();
  void new3Click();
  void new1KeyPress(QChar& key);
  void new2KeyPress(QChar& key);
  void new3KeyPress(QChar& key);
  void InstallAdressClick();
  void readingAllClick();
  void wFileClick();
  void readTimerTimer();
  void dotTimerTimer();
  // The digit cells of the right panel are a display: clicks and keys on
  // them do nothing.
  void displayCellClick();
  void displayCellKeyPress(QChar& key);
  // Every reply of the engine: counted for the device's tooltip, then
  // handed to the bus session.
  void replied(const BusReply& reply);

  // WindowView
  void setStatus(const QString& text) override;
  void showError(const QString& text, FocusTarget focus) override;
  void setReadTimerInterval(int milliseconds) override;
  void setReadTimerActive(bool active) override;
  void setFindCaption(const QString& caption) override;
  void setTimeoutsEnabled(bool enabled) override;
  void setOpenCloseEnabled(bool enabled) override;
  void clearDeviceList() override;
  void appendDeviceListItem(const QString& caption) override;
  void setDeviceListEnabled(bool enabled) override;
  void setAddressDigit(int index, const QString& text) override;

  // PortControls
  void setPortsEnabled(bool enabled) override;
  void setOpenCloseCaption(const QString& caption) override;
  void setFindEnabled(bool enabled) override;
  void setPanelActionEnabled(bool enabled) override;
  void setInstallAdressEnabled(bool enabled) override;
  void setAddressDigitsEnabled(bool enabled) override;
  void setNewAddressDigitsEnabled(bool enabled) override;
  void setNewAddressDigit(int index, const QString& text) override;

  // MonitorView
  void setReadingAllCaption(const QString& caption) override;
  void setWFileCaption(const QString& caption) override;
  void setWFileChecked(bool checked) override;
  void setSetpointGroupsEnabled(bool enabled) override;
  void setCellText(DigitCell cell, const QString& text) override;
  void setDotTimerActive(bool active) override;
  void setDotVisible(bool visible) override;

  // Client size at design size; outer sizes add the frame of the layout.
  static constexpr int kClientWidth = 884;
  static constexpr int kClientHeight = 570;
  static constexpr int kFrameWidth = 8;    // outer 892 for client 884
  static constexpr int kFrameHeight = 40;  // outer 610 for client 570
  static constexpr int kMinOuterWidth = 652;
  static constexpr int kMaxOuterWidth = 892;
  static constexpr int kMinOuterHeight = 492;
  static constexpr int kMaxOuterHeight = 610;
  static constexpr int kSmallScreenWidth = 1280;  // narrower screens get the 9/10 layout
  static constexpr int kSmallOuterWidth = 792;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool showDeviceToolTip(QHelpEvent* event);
  using ClickHandler = void (THeadForm::*)();
  using KeyHandler = void (THeadForm::*)(QChar&);
  struct CellHandlers {
    ClickHandler click = nullptr;
    KeyHandler keyPress = nullptr;
    bool display = false;  // swallows every key and mouse press
  };

  // The dialog is created after the window; the scan reaches it through this.
  class DialogLink : public ConfirmDialog {
   public:
    explicit DialogLink(THeadForm& form) : form_(form) {}
    ScanAnswer askMode() const override;
    void setAskMode(ScanAnswer mode) override;
    void ask(const QString& confirmText) override;

   private:
    THeadForm& form_;
  };

  void bindHandlers();
  // A digit editor's key after its filter: discarded, passed, or taken by the
  // editor and followed by a focus move.
  void applyKeyVerdict(const KeyVerdict& verdict, QChar& key);
  QWidget* focusControl(NextFocus focus) const;
  void bindCell(QLineEdit* cell, CellHandlers handlers);
  // Runs a handler; an error that escapes it is shown in the error box and
  // the window goes on in whatever state the handler reached.
  void guarded(const std::function<void()>& handler);
  void setClientSize(int width, int height);
  // The constructor's steps.
  void setUpControls();
  void setUpTimers();
  void connectEngine();
  // eventFilter for the device list's viewport and for one cell.
  bool filterListEvent(QEvent* event);
  bool filterCellEvent(QLineEdit* cell, const CellHandlers& handlers, QEvent* event);
  void showSendFailed();
  void clearSendFailed();
  void refreshPortTooltips();
  QLineEdit* displayCell(DigitCell cell) const;
  QLineEdit* addressCell(int index) const;
  QLineEdit* newAddressCell(int index) const;

  std::unique_ptr<Ui::THeadForm> ui_;
  QLabel* statusText_ = nullptr;
  // What the status bar showed before the failed writes of now, while they last.
  std::optional<QString> statusBeforeFailure_;
  std::map<const QObject*, CellHandlers> cellHandlers_;
  std::array<QLineEdit*, kDigitCells.size()> displayCells_{};

  DeviceHealth health_;  // the tooltip of each row of ListAdress
  QtUiExecutor executor_{this};
  Exchange exchange_{executor_};
  PortSession session_;
  Clock now_ = systemClock();
  DialogLink dialogLink_{*this};
  BusSession bus_{*this, dialogLink_, exchange_, [this] { return now_(); }};
  // Set by a key handler that accepted a digit: the focus goes here once
  // the editor has taken it.
  QWidget* focusAfterKey_ = nullptr;

  ErrorBox errorBox_;
  std::function<int()> screenWidth_;
  ConfirmDialog* confirmDialog_ = nullptr;
  bool shown_ = false;
};

}  // namespace rs485
