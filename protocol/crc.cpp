#include "protocol/crc.h"

namespace rs485 {

std::uint16_t CRC(std::span<const std::uint8_t> buffer) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : buffer) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      const bool lsb = (crc & 1u) != 0;
      crc = static_cast<std::uint16_t>(crc >> 1);
      if (lsb) crc ^= 0xA001;
    }
  }
  return crc;
}

}  // namespace rs485
