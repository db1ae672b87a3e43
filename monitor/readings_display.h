#pragma once

#include <functional>
#include <utility>

#include "devices/found_devices.h"
#include "link/exchange.h"
#include "monitor/monitor_view.h"
#include "monitor/panel_texts.h"
#include "monitor/poll.h"
#include "monitor/recording.h"
#include "protocol/readings.h"

namespace rs485 {

// The period of dotTimer, which blinks the clock's colon, in ms.
inline constexpr int kDotInterval = 500;

// Shows the answers of the device at SelectedAddress in the digit cells,
// blinks the clock colon, has rows recorded for every polled device and
// moves the poll on. User-interface thread only.
class ReadingsDisplay {
 public:
  ReadingsDisplay(MonitorView& view, Exchange& exchange, DeviceState& state, Poll& poll, Recording& recording,
                  ShownPanel& shown);

  // The readings that answered a poll request.
  void showReadings(const ReadingsResponse& answer);

  // Told of every answer the poll has handled, once shown and recorded.
  void setHandled(std::function<void(const ReadingsResponse&)> handled) { handled_ = std::move(handled); }

  // dotTimer tick: the colon shows and hides in turn.
  void dotTimerTimer();

 private:
  void show(const PanelTexts& next, bool programEnded);

  MonitorView& view_;
  Exchange& exchange_;
  DeviceState& state_;
  Poll& poll_;
  Recording& recording_;
  ShownPanel& shown_;
  std::function<void(const ReadingsResponse&)> handled_;
};

}  // namespace rs485
