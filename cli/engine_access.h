#pragma once

// The one place where the console reads the engine's shared state; every
// other file goes through the scan, the poll and the address change.

#include "link/exchange.h"
#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485::cli {

inline int pendingCommand(const Exchange& exchange) { return exchange.PendingCommand; }

// The 16-byte answer that the readings handler is about to take.
inline ReadingsResponse receivedReadings(const Exchange& exchange) {
  return decodeReadingsResponse(exchange.RxBuffer.data());
}

}  // namespace rs485::cli
