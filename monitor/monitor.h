#pragma once

#include <utility>

#include "devices/clock.h"
#include "devices/found_devices.h"
#include "link/exchange.h"
#include "monitor/monitor_view.h"
#include "monitor/poll.h"
#include "monitor/readings_display.h"
#include "monitor/recording.h"

namespace rs485 {

// Monitoring as the window wires it: the poll, the display of its answers
// and the recording files.
class Monitor {
 public:
  Monitor(MonitorView& view, Exchange& exchange, DeviceState& state, Clock clock = systemClock(),
          RecordingOptions options = {})
      : recording(view, std::move(clock), std::move(options)),
        poll(view, exchange, state),
        display(view, exchange, state, poll, recording) {}

  void readingAllClick() { poll.readingAllClick(); }
  // readTimerTimer while PendingCommand is 80, after the common first steps.
  void pollTick(int busy) { poll.pollTick(busy); }
  // The readings that answered a poll request.
  void showReadings(const ReadingsResponse& answer) { display.showReadings(answer); }
  void dotTimerTimer() { display.dotTimerTimer(); }
  void wFileClick() { recording.wFileClick(); }
  // For the scan, at each find.
  void prepareRecordingFile(int address) { recording.prepareRecordingFile(address); }

  Recording recording;
  Poll poll;
  ReadingsDisplay display;
};

}  // namespace rs485
