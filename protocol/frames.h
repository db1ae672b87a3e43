#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace rs485 {

// Command codes. No others exist on this bus.
inline constexpr std::uint8_t CmdProbe = 0x01;
inline constexpr std::uint8_t CmdSetAddress = 0x02;
inline constexpr std::uint8_t CmdReadCurrent = 0x50;

inline constexpr std::size_t kBusRequestLength = 4;            // address, command, CRC lo, CRC hi
inline constexpr std::size_t kAddressChangeRequestLength = 5;  // address, 0x02, new address, CRC lo, CRC hi
inline constexpr std::size_t kStatusResponseLength = 5;
inline constexpr std::size_t kReadingsResponseLength = 16;

inline constexpr std::size_t kTxBufferSize = 5;
inline constexpr std::size_t kRxBufferSize = 16;

inline constexpr int kFirstBusAddress = 1;
inline constexpr int kLastBusAddress = 247;

constexpr bool isBusAddress(int address) { return address >= kFirstBusAddress && address <= kLastBusAddress; }

// The length of the request that this command byte starts; 0 for none.
constexpr std::size_t requestLength(std::uint8_t command) {
  switch (command) {
    case CmdProbe:
    case CmdReadCurrent:
      return kBusRequestLength;
    case CmdSetAddress:
      return kAddressChangeRequestLength;
    default:
      return 0;
  }
}

using TxFrame = std::array<std::uint8_t, kTxBufferSize>;

// Fills a cleared five-byte buffer with a four-byte request: address, command,
// CRC of both, low byte first. Only the low bytes of the arguments are used.
TxFrame buildBusRequest(int address, int command);

// The five-byte request that gives the device at currentAddress newAddress.
TxFrame buildAddressChangeRequest(int currentAddress, int newAddress);

// True when the last two bytes of the frame are the CRC of the bytes before
// them, low byte first. A frame shorter than 3 bytes never matches.
bool frameCrcMatches(std::span<const std::uint8_t> frame);

// Appends the CRC of the first `payloadLength` bytes at frame[payloadLength..+1];
// the frame must hold payloadLength + 2 bytes.
void appendCrc(std::span<std::uint8_t> frame, std::size_t payloadLength);

}  // namespace rs485
