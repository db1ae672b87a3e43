#pragma once

#include <functional>

#include "devices/found_devices.h"
#include "link/exchange.h"

namespace rs485 {

// The common first steps of every readTimer tick: both queues purged, then
// the bytes still waiting counted. Returns that count for the branch the
// pending command selects.
int beginReadTick(Exchange& exchange);

// What a tick does for the pending command, given the bytes that waited.
struct ReadTickBranches {
  std::function<void(int busy)> scan;  // a probe is pending
  std::function<void(int busy)> poll;  // a readings request is pending
};

// One readTimer tick, the window's and the command line's alike. The second
// branch is chosen after the first has run: the end of a scan may hand the
// tick to the poll it interrupted.
void readTimerTick(Exchange& exchange, const DeviceState& state, const ReadTickBranches& branches);

}  // namespace rs485
