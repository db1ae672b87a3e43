#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "devices/clock.h"
#include "devices/qt_ui_executor.h"
#include "link/exchange.h"
#include "link/open_device.h"
#include "link/port_names.h"
#include "link/port_session.h"
#include "link/serial_device.h"
#include "monitor/bus_session.h"
#include "monitor/device_health.h"
#include "monitor/panel_texts.h"

namespace rs485::cli {

struct BusOptions {
  PortNames names;
  DeviceOpener opener = openDevice;
  Clock clock = systemClock();
  RecordingOptions recording;
  int timeDivisor = 1;  // tests: every interval divided by this
};

// The engine and a bus session without a window. Everything runs on the
// thread of the Qt event loop.
class Bus {
 public:
  explicit Bus(BusOptions options);
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Opens the port named as the window names it ("COM1", or a mapped name).
  bool open(const std::string& portName);
  void close() { session.COMClose(); }

  // readTimerTimer: the common first steps, then the scan or the poll tick.
  // In the poll, a device that got no valid answer within its tick is passed
  // over: the next tick asks the next device. A tick that sent nothing
  // because bytes were waiting is such a tick too, as in the window.
  void readTimerTimer();

  std::function<void(int address)> onFound;
  // The poll's word on each device's turn, typed as the engine's replies:
  // Answered, with the decoded readings, once the display has taken them;
  // Silent when the turn has ended without a valid answer (also when the
  // poll stops). `at`: when it was told.
  std::function<void(const BusReply& turn, const QDateTime& at)> onTurn;
  std::function<void()> onAcknowledged;  // an address change was acknowledged
  std::function<void()> onEvent;         // after every tick and every reply
  // Set, it takes every reply in place of the scan, the address change and
  // the poll.
  std::function<void(const BusReply&)> onReply;
  std::function<void()> onRequestWritten;  // the port has taken the whole request
  // A good answer that was no request's answer (late, unasked, a second one).
  std::function<void(int address)> onUnasked;
  std::function<void()> onSendFailed;

  // The last poll request has had neither a valid answer nor the end of its tick.
  bool awaitingAnswer() const { return work.poll.awaitingAnswer(); }
  // Gives the request on the bus its reply now: dropped when bytes that
  // made no answer wait in the queue, silent otherwise, unless it was answered.
  void settleLastRequest();

  QDateTime now() const { return clock_(); }
  // What the engine noted of each device since the port was opened: the
  // same figures as the window's device tooltips.
  const DeviceHealth& health() const { return health_; }

  DeviceState& state() { return work.state; }
  // readTimer and the session's other controls.
  MonitorView& pace() { return work.view(); }
  int timeDivisor() const { return timeDivisor_; }
  // The text of the last step the session refused, taken once.
  QString takeRefusal() { return std::exchange(refusal_, QString()); }

  // The panel of the device at `address` as the window would show it were
  // that device its working one: every cell "0" until its first answer of
  // the poll.
  const PanelTexts& panel(int address);

 private:
  void replied(const BusReply& reply);
  void turn(const BusReply& reply) {
    if (onTurn) onTurn(reply, clock_());
  }
  void event() {
    if (onEvent) onEvent();
  }

  QObject context_;
  QtUiExecutor executor_{&context_};
  Clock clock_;
  DeviceHealth health_;
  std::map<int, PanelTexts> panels_;
  int timeDivisor_;
  QString refusal_;

 public:
  Exchange exchange{executor_};
  PortSession session;
  BusSession work;
};

}  // namespace rs485::cli
