#include "link/request_outcome.h"

namespace rs485 {

void RequestLedger::sent(int address) {
  settle();
  asked_ = address;
  settled_ = false;
  tell({.kind = RequestOutcome::Kind::Sent, .address = address});
}

void RequestLedger::answered(std::span<const std::uint8_t> frame) {
  if (asked_ == 0) return;  // no request since the open: nobody's answer
  settled_ = true;
  RequestOutcome outcome{.kind = RequestOutcome::Kind::Answered, .address = asked_};
  if (frame.size() == kReadingsResponseLength) outcome.readings = decodeReadingsResponse(frame.data());
  tell(outcome);
}

void RequestLedger::dropped(RequestOutcome::Why why) {
  if (asked_ == 0 || settled_) return;  // stray bytes after a settled request are no answer
  settled_ = true;
  tell({.kind = RequestOutcome::Kind::Dropped, .address = asked_, .why = why});
}

void RequestLedger::settle() {
  if (!settled_) tell({.kind = RequestOutcome::Kind::Silent, .address = asked_});
  settled_ = true;
}

void RequestLedger::forget() {
  asked_ = 0;
  settled_ = true;
}

}  // namespace rs485
