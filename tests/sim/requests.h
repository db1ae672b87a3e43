#pragma once

#include <cstdint>
#include <vector>

#include "protocol/frames.h"

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

}  // namespace rs485::sim::test
