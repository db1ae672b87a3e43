#pragma once

#include <cstddef>
#include <optional>

#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485 {

// One request on the bus: what is asked of which device.
struct BusRequest {
  enum class Kind {
    Probe,        // "are you there?": a status answer
    ReadCurrent,  // the current readings: a 16-byte answer
    SetAddress,   // take `newAddress`: a status answer
  };

  Kind kind = Kind::Probe;
  int address = 0;
  int newAddress = 0;  // SetAddress only

  static BusRequest probe(int address) { return {.kind = Kind::Probe, .address = address}; }
  static BusRequest readCurrent(int address) { return {.kind = Kind::ReadCurrent, .address = address}; }
  static BusRequest setAddress(int address, int newAddress) {
    return {.kind = Kind::SetAddress, .address = address, .newAddress = newAddress};
  }

  int command() const;
  // The length of the answer it awaits: 5 or 16.
  std::size_t answerLength() const;
  // The frame that goes out and its length (4, or 5 for SetAddress).
  TxFrame frame() const;
  std::size_t frameLength() const;

  bool operator==(const BusRequest&) const = default;
};

// What came of one request: every request sent gets exactly one reply.
struct BusReply {
  enum class Kind {
    Answered,  // its answer came, whole and with a good CRC (decoded below)
    Dropped,   // bytes came in its time, but no good answer (`why`: the first bad ones)
    Silent,    // written, but nothing came before the next request or the close
    NotSent,   // replaced or closed before any write of it completed
  };
  enum class Why {
    None,
    BadCrc,       // a frame of the awaited length whose CRC does not match
    WrongLength,  // more bytes than the awaited answer, or more than the buffer holds
    Incomplete,   // bytes still queued, never an answer of the awaited length
  };

  BusRequest request;
  Kind kind = Kind::Silent;
  Why why = Why::None;
  std::optional<StatusResponse> status = {};      // an answered Probe or SetAddress
  std::optional<ReadingsResponse> readings = {};  // an answered ReadCurrent

  int address() const { return request.address; }
  bool answered() const { return kind == Kind::Answered; }
};

}  // namespace rs485
