#include "devices/devices.h"

#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485 {

Devices::Devices(WindowView& view, ConfirmDialog& dialog, Exchange& exchange, DeviceState& state, Clock clock,
                 PrepareRecordingFile prepareRecordingFile)
    : scan(view, dialog, exchange, state, std::move(clock), std::move(prepareRecordingFile)),
      addressChange(view, exchange, state),
      view_(view),
      exchange_(exchange),
      state_(state) {}

void Devices::shortAnswerFunc() {
  // The command byte of the answer is not looked at: PendingCommand routes it.
  const StatusResponse answer = decodeStatusResponse(exchange_.frame().data());
  if (exchange_.pendingCommand() == CmdSetAddress && answer.status == 0) {
    addressChange.acknowledge();
  } else if (answer.status != 0) {
    return;
  } else {
    scan.find(answer.address);
  }
}

}  // namespace rs485
