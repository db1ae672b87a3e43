#pragma once

#include <array>
#include <cstdint>

namespace rs485 {

// Command codes. No others exist on this bus.
inline constexpr std::uint8_t CmdProbe = 0x01;
inline constexpr std::uint8_t CmdSetAddress = 0x02;
inline constexpr std::uint8_t CmdReadCurrent = 0x50;

inline constexpr int kBusRequestLength = 4;            // address, command, CRC lo, CRC hi
inline constexpr int kAddressChangeRequestLength = 5;  // address, 0x02, new address, CRC lo, CRC hi
inline constexpr int kStatusResponseLength = 5;
inline constexpr int kReadingsResponseLength = 16;

inline constexpr int kTxBufferSize = 5;
inline constexpr int kRxBufferSize = 16;

inline constexpr int kFirstBusAddress = 1;
inline constexpr int kLastBusAddress = 247;

using TxFrame = std::array<std::uint8_t, kTxBufferSize>;

// Fills a cleared five-byte buffer with a four-byte request: address, command,
// CRC of both, low byte first. Only the low bytes of the arguments are used.
TxFrame buildBusRequest(int address, int command);

// The five-byte request that gives the device at currentAddress newAddress.
TxFrame buildAddressChangeRequest(int currentAddress, int newAddress);

// True when the last two bytes of the frame are the CRC of the bytes before
// them, low byte first. A length below 3 never matches.
bool frameCrcMatches(const std::uint8_t* frame, int length);

// Appends the CRC of the first `payloadLength` bytes at frame[payloadLength..+1].
void appendCrc(std::uint8_t* frame, int payloadLength);

}  // namespace rs485
