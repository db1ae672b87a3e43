#pragma once

#include <functional>
#include <memory>

#include "devices/address_change.h"
#include "devices/clock.h"
#include "devices/found_devices.h"
#include "devices/scan.h"
#include "devices/selection.h"
#include "devices/window_view.h"
#include "link/bus_reply.h"
#include "link/exchange.h"
#include "monitor/monitor_view.h"
#include "monitor/no_window.h"
#include "monitor/poll.h"
#include "monitor/readings_display.h"
#include "monitor/recording.h"
#include "protocol/readings.h"

namespace rs485 {

// What the operator has the bus do.
enum class Activity {
  Idle,
  Scanning,         // the scan runs (it stands still while an address change waits)
  Polling,          // the poll runs
  ChangingAddress,  // an address change waits for its acknowledgement
};

// What a session tells the code in front of it, each on the user-interface
// thread as it happens.
struct SessionEvents {
  std::function<void(int address)> found;         // listed, its file prepared unless told not to
  std::function<void(int address)> scanProgress;  // the probe of this address went out
  // The poll handled an answer of `readings.address`: shown, recorded, the
  // poll moved on.
  std::function<void(const ReadingsResponse& readings)> readings;
  // A device's turn in the poll ended without a handled answer.
  std::function<void(int address)> silent;
  std::function<void(int from, int to)> addressChanged;
  std::function<void(Activity now)> activityChanged;
  // A step was refused, with the text its error box shows; told only by a
  // session without a window, whose boxes nobody sees.
  std::function<void(const QString& text)> refused;
};

// One operator's work on one bus: the found devices, the working device,
// what runs (scan, poll, address change), the poll's cursor and whether it
// records. Its parts are the scan, the address change, the poll, the
// display rules and the recording; each writes the controls it changes
// through the view, in the order the window shows them. The front end
// decides what a click means (the window by its captions) and calls the
// step. User-interface thread only.
class BusSession {
  // First, so that the parts can be given the view.
  std::unique_ptr<NoWindow> noWindow_;
  MonitorView& view_;

 public:
  // Under a window, which shows the steps and asks at each find.
  BusSession(MonitorView& view, ConfirmDialog& dialog, Exchange& exchange, Clock clock = systemClock(),
             RecordingOptions options = {});
  // Without one: readTimer is a timer of its own, a find never asks, and a
  // refused step is told as `refused`.
  BusSession(Exchange& exchange, Clock clock, RecordingOptions options, int timeDivisor = 1);
  BusSession(const BusSession&) = delete;
  BusSession& operator=(const BusSession&) = delete;

  void setEvents(SessionEvents events) { events_ = std::move(events); }

  // Each find prepares the device's recording file, so that its header is
  // there before the first row; a program that does not record leaves them.
  bool prepareFilesOnFind = true;

  // The operator's steps.
  void startScan(int interval);
  void stopScan();
  // A click on the device list: the caption of the row clicked, none for
  // a click below the rows.
  void selectListed(const std::optional<QString>& caption);
  void changeAddress(const AddressSource& address, const AddressSource& newAddress);
  void startPoll(const AddressSource& address);
  void stopPoll();
  void startRecording();
  void stopRecording();

  // readTimer and dotTimer.
  void readTimerTimer();
  void dotTimerTimer() { display.dotTimerTimer(); }

  // Every reply of the engine: a status answer goes to the scan or the
  // address change, readings to the display; other replies change nothing.
  void replied(const BusReply& reply);

  Activity activity() const;

  // readTimer and the other controls the steps change.
  MonitorView& view() { return view_; }

  // Before the parts, which keep references to it.
  DeviceState state;
  ShownPanel shown;
  Recording recording;
  Poll poll;
  ReadingsDisplay display;
  Scan scan;
  AddressChange addressChange;

 private:
  BusSession(std::unique_ptr<NoWindow> noWindow, MonitorView* view, ConfirmDialog* dialog, Exchange& exchange,
             Clock clock, RecordingOptions options);
  void statusAnswer(const BusReply& reply);
  // Tells activityChanged when the activity differs from the one told last.
  void tellActivity();

  Exchange& exchange_;
  SessionEvents events_;
  Activity told_ = Activity::Idle;
};

}  // namespace rs485
