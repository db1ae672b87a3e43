#include "devices/read_tick.h"

#include "protocol/frames.h"

namespace rs485 {

int beginReadTick(Exchange& exchange) {
  exchange.purgeOutput();
  exchange.purgeInput();
  return exchange.inputQueued();
}

void readTimerTick(Exchange& exchange, const ReadTickBranches& branches) {
  const int busy = beginReadTick(exchange);
  if (exchange.pendingCommand() == CmdProbe) branches.scan(busy);
  if (exchange.pendingCommand() == CmdReadCurrent) branches.poll(busy);
}

}  // namespace rs485
