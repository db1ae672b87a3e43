#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/frames.h"
#include "protocol/readings.h"
#include "sim/answer_builder.h"

namespace rs485::sim::test {

// The requests the tool sends, as bytes on the line.
using Bytes = std::vector<std::uint8_t>;

inline Bytes probe(int a) {
  const TxFrame f = buildBusRequest(a, CmdProbe);
  return {f.begin(), f.begin() + 4};
}
inline Bytes readCurrent(int a) {
  const TxFrame f = buildBusRequest(a, CmdReadCurrent);
  return {f.begin(), f.begin() + 4};
}
inline Bytes change(int from, int to) {
  const TxFrame f = buildAddressChangeRequest(from, to);
  return {f.begin(), f.end()};
}

// The answers the devices give, as bytes on the line.
inline Bytes status(int address, int command, int code) {
  Bytes b(kStatusResponseLength);
  encodeStatusResponse({static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command),
                        static_cast<std::uint8_t>(code)},
                       b.data());
  return b;
}
inline Bytes encoded(const ReadingsResponse& r) {
  Bytes b(kReadingsResponseLength);
  encodeReadingsResponse(r, b.data());
  return b;
}

// Faults with some fields set, in one expression.
inline Faults with(const std::function<void(Faults&)>& set) {
  Faults f;
  set(f);
  return f;
}

}  // namespace rs485::sim::test
