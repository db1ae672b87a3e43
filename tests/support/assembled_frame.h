#pragma once

#include <cstdint>
#include <span>

#include "link/exchange.h"

namespace rs485::test {

// Leaves `bytes` assembled in the engine as a frame that has arrived but
// not yet been judged, for tests that call a handler straight away: while
// they arrive a longer answer is awaited, then the awaited length is put
// back.
inline void assembleFrame(Exchange& exchange, std::span<const std::uint8_t> bytes) {
  const std::size_t awaited = exchange.answerLength();
  exchange.expectAnswer(exchange.frame().size() + bytes.size() + 1);
  exchange.acceptBlock(bytes);
  exchange.expectAnswer(awaited);
}

}  // namespace rs485::test
