#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/bus_reply.h"
#include "protocol/frames.h"

namespace rs485::cli {

// Splits the bytes one client of the server sends into the bus requests
// they make. A request's length follows from its command byte: 4 bytes, or
// 5 for an address change. Anything that is no request of this bus (an
// address outside 1..247, an unknown command, a bad CRC) is a fault, and
// nothing after it is taken: the server parts with such a client.
class RequestStream {
 public:
  enum class Fault { None, BadAddress, UnknownCommand, BadCrc };

  // Takes `bytes`; every request they complete is appended to `requests`,
  // in the order sent. Returns the fault found, now or before.
  Fault take(std::span<const std::uint8_t> bytes, std::vector<BusRequest>& requests);

  // Bytes of a request that is not whole yet.
  std::size_t pending() const { return count_; }
  Fault fault() const { return fault_; }

 private:
  // The length of the request begun in partial_, once its command is known
  // (0 before).
  std::size_t expectedLength() const;
  Fault judge(BusRequest& request) const;

  std::array<std::uint8_t, kTxBufferSize> partial_{};
  std::size_t count_ = 0;
  Fault fault_ = Fault::None;
};

}  // namespace rs485::cli
