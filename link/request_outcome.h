#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485 {

// What became of a request, as one typed notice. The engine tells every
// request sent and what came of it; the command line's poll tells, with
// the same type, each device's turn (answered or passed over).
struct RequestOutcome {
  enum class Kind {
    Sent,         // the request for `address` was handed to the transmit thread
    Answered,     // a good answer of the request in flight reached its handler
    Dropped,      // bytes came in the request's time but made no good answer (`why`)
    Silent,       // no answer at all before the next request, or the end of the poll
    OtherDevice,  // a good readings answer from `address` outside its own request
  };
  enum class Why {
    None,
    BadCrc,       // a frame of the awaited length whose CRC does not match
    WrongLength,  // more bytes than the awaited answer, or more than the buffer holds
    Incomplete,   // bytes still queued, never an answer of the awaited length
  };

  Kind kind = Kind::Sent;
  int address = 0;  // the device asked; for OtherDevice the one its answer names
  Why why = Why::None;
  std::optional<ReadingsResponse> readings = {};  // an Answered readings frame, decoded
};

using OutcomeSink = std::function<void(const RequestOutcome&)>;

// The request in flight and whether it has had its outcome, turning the
// engine's events into outcomes. An answer belongs to the request before
// it; the first answer, good or bad, settles it, so the rest of a bad answer
// purged by the next tick is no second drop; a request followed by another
// without any answer is silent.
class RequestLedger {
 public:
  explicit RequestLedger(const OutcomeSink& sink) : sink_(sink) {}

  void sent(int address);
  // `frame` is the whole good answer; a readings frame is decoded.
  void answered(std::span<const std::uint8_t> frame);
  void dropped(RequestOutcome::Why why);
  void otherDevice(int address) { tell({.kind = RequestOutcome::Kind::OtherDevice, .address = address}); }
  // The request in flight gets no answer any more: silent unless it had one.
  void settle();
  // A new port: no request in flight.
  void forget();

 private:
  void tell(const RequestOutcome& outcome) const {
    if (sink_) sink_(outcome);
  }

  const OutcomeSink& sink_;  // its owner's, which outlives it
  int asked_ = 0;            // the address of the request in flight; 0 before any
  bool settled_ = true;      // that request has had its answer, good or bad
};

}  // namespace rs485
