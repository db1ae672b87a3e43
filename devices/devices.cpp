#include "devices/devices.h"

#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485 {

Devices::Devices(WindowView& view, ConfirmDialog& dialog, Exchange& exchange, DeviceState& state, Clock clock,
                 PrepareRecordingFile prepareRecordingFile)
    : scan(view, dialog, exchange, state, std::move(clock), std::move(prepareRecordingFile)),
      addressChange(view, exchange, state),
      view_(view),
      state_(state) {}

void Devices::shortAnswerFunc(const BusReply& reply) {
  if (!reply.status) return;
  // The command byte of the answer is not looked at: the request routes it.
  const StatusResponse& answer = *reply.status;
  if (reply.request.kind == BusRequest::Kind::SetAddress && answer.status == 0) {
    addressChange.acknowledge();
  } else if (answer.status != 0) {
    return;
  } else {
    scan.find(answer.address);
  }
}

}  // namespace rs485
