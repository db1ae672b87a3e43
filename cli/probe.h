#pragma once

#include <chrono>
#include <cstddef>

#include "cli/bus.h"
#include "cli/commands.h"

namespace rs485::cli {

// How long `bytes` take on the line: 10 bits each at 2400 baud.
constexpr std::chrono::microseconds lineTime(std::size_t bytes) {
  return std::chrono::microseconds(4167) * static_cast<long>(bytes);
}

enum class ProbeResult {
  Empty,       // nothing came in the reply window
  Found,       // acknowledged (status 0) by the address probed
  Refused,     // a valid answer of the address probed with a status other than 0
  Unreadable,  // bytes came, but no valid answer of the address probed
  WriteFailed,
  Stopped,
};

// One probe of `address`, settled as soon as its answer is in, or once
// `window` has passed since the probe's last byte left the port (the
// write's completion plus the probe's line time) without a byte; a probe
// whose first bytes came in time gets the answer's line time for the rest.
// Both queues are purged before it goes out, and whatever is left
// afterwards. A find is appended to the found devices and told to onFound.
//
// Only an answer naming the address probed is taken: at this pace the late
// answer of a slow device lands in the next probe's window.
ProbeResult probe(Bus& bus, int address, std::chrono::milliseconds window, StopRequest& stop);

}  // namespace rs485::cli
