#include "devices/read_tick.h"

namespace rs485 {

int beginReadTick(Exchange& exchange) {
  exchange.purgeOutput();
  exchange.purgeInput();
  return exchange.inputQueued();
}

}  // namespace rs485
