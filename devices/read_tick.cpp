#include "devices/read_tick.h"

#include "protocol/frames.h"

namespace rs485 {

int beginReadTick(Exchange& exchange) {
  exchange.purgeOutput();
  exchange.purgeInput();
  return exchange.inputQueued();
}

void readTimerTick(Exchange& exchange, const DeviceState& state, const ReadTickBranches& branches) {
  const int busy = beginReadTick(exchange);
  if (state.PendingCommand == CmdProbe) branches.scan(busy);
  if (state.PendingCommand == CmdReadCurrent) branches.poll(busy);
}

}  // namespace rs485
