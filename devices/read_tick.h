#pragma once

#include "link/exchange.h"

namespace rs485 {

// The common first steps of every readTimer tick: both queues purged, then
// the bytes still waiting counted. Returns that count for the branch the
// pending command selects (the scan's for 1, the poll's for 80).
int beginReadTick(Exchange& exchange);

}  // namespace rs485
