#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "devices/found_devices.h"
#include "devices/selection.h"
#include "link/exchange.h"
#include "monitor/monitor_view.h"
#include "monitor/panel_texts.h"
#include "monitor/recording.h"

namespace rs485 {

// The pace of the poll: one request every readTimer tick of this many ms.
inline constexpr int kPollInterval = 1000;

// A device that gave no handled answer at this many ticks in a row is passed
// over until its turn comes round again, so that one switched-off device
// cannot stop the poll and the recording of all the others.
inline constexpr int kSilentTicksBeforeSkip = 3;

// The poll of the current readings: every found device in turn, one request
// per readTimer tick. User-interface thread only.
class Poll {
 public:
  Poll(MonitorView& view, Exchange& exchange, DeviceState& state, Recording& recording, ShownPanel& shown);

  // From the working device `address` names, taken once the list is known
  // not to be empty; a start without found devices or without a bus address
  // shows its error box and leaves the poll stopped.
  void start(const AddressSource& address);
  // Stops the poll and the recording, and tells a turn still open as silent.
  void stop();

  // Told when a device's turn ends without a handled answer: the poll
  // passes over it, or stops.
  void setSilent(std::function<void(int address)> silent) { silent_ = std::move(silent); }

  // The poll branch of readTimerTimer (PendingCommand 80), after the common
  // first steps have purged both queues and counted `busy` waiting bytes.
  void pollTick(int busy);

  bool running() const { return running_; }
  // The request of this tick has gone out and has had no handled answer yet.
  bool awaitingAnswer() const { return awaiting_; }

  // A find handled while the scan no longer runs has stopped readTimer: a
  // running poll gets it back at its own interval.
  void resumeAfterFind();

  // kSilentTicksBeforeSkip unless set (at least 1).
  void setSilentTicksBeforeSkip(int ticks);

  // Index into FoundDevices of the device the next tick asks. Set by the
  // start, advanced by a handled answer (advance()) and by the tick that
  // passes over a silent device.
  std::size_t PollIndex = 0;

  // The entry PollIndex names; the first one should the list have shrunk
  // under it. Null when the list is empty.
  DeviceEntry* currentEntry();
  // PollIndex + 1, back to 0 at the end of the list; the next device
  // starts with no silent ticks.
  void advance();

 private:
  void endSilentTurn();
  // initialAll: every cell "0", the setpoint groups off.
  void clearPanel();

  MonitorView& view_;
  Exchange& exchange_;
  DeviceState& state_;
  Recording& recording_;
  ShownPanel& shown_;
  std::function<void(int address)> silent_;
  bool running_ = false;
  bool awaiting_ = false;
  int silentTicksBeforeSkip_ = kSilentTicksBeforeSkip;
  int silentTicks_ = 0;  // ticks in a row without a handled answer from the device at PollIndex
};

}  // namespace rs485
