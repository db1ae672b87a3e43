#pragma once

#include <functional>
#include <utility>

#include "devices/clock.h"
#include "devices/found_devices.h"
#include "devices/window_view.h"
#include "link/exchange.h"
#include "protocol/frames.h"

namespace rs485 {

// What the scan tells the code above it.
struct ScanHooks {
  // A probe of this address has been handed to the engine.
  std::function<void(int address)> probed;
  // A device has been found, listed and answered for; its recording file
  // is prepared here.
  std::function<void(int address)> found;
  // A find that leaves the scan stopped has stopped readTimer too: a poll
  // started meanwhile takes its timer back.
  std::function<void()> resumePoll;
};

// The bus scan: probes 1..247, one address per readTimer tick, and lists
// every device that answers. User-interface thread only.
class Scan {
 public:
  Scan(WindowView& view, ConfirmDialog* dialog, Exchange& exchange, DeviceState& state,
       Clock clock = systemClock());

  void setHooks(ScanHooks hooks) { hooks_ = std::move(hooks); }

  // The addresses the next scan probes; 1..247 unless a program without the
  // window asks for fewer. first <= last, both within 1..247.
  void setRange(int first, int last) {
    firstAddress_ = first;
    lastAddress_ = last;
  }

  // From the first address of the range, one probe every `interval` ms
  // (what `Timeouts` holds), with the list emptied; stop() ends it early, as
  // the last probe ends it.
  void start(int interval);
  void stop() { end(); }

  // The scan branch of readTimerTimer, after the common first steps have
  // purged both queues and counted `busy` waiting bytes. Does nothing unless
  // PendingCommand is 1: an address change or a poll started meanwhile
  // leaves the scan standing still.
  void scanTick(int busy);

  // A probe was answered with status 0 by the device at `address`.
  void find(int address);

  bool running() const { return running_; }
  int ScanAddress() const { return scanAddress_; }

 private:
  void end();

  WindowView& view_;
  ConfirmDialog* dialog_;  // none: every find goes on without a question
  Exchange& exchange_;
  DeviceState& state_;
  Clock clock_;
  ScanHooks hooks_;

  int firstAddress_ = kFirstBusAddress;
  int lastAddress_ = kLastBusAddress;
  int scanAddress_ = 1;  // next address to probe; 248 once 247 has been probed
  bool running_ = false;
};

}  // namespace rs485
