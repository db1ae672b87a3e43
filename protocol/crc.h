#pragma once

#include <cstdint>
#include <span>

namespace rs485 {

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR),
// computed bit by bit. An empty buffer gives 0xFFFF.
std::uint16_t CRC(std::span<const std::uint8_t> buffer);

inline std::uint8_t crcLow(std::uint16_t crc) { return static_cast<std::uint8_t>(crc & 0xFFu); }
inline std::uint8_t crcHigh(std::uint16_t crc) { return static_cast<std::uint8_t>(crc >> 8); }

}  // namespace rs485
