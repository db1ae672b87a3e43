#include "protocol/frames.h"

#include "protocol/crc.h"

namespace rs485 {

namespace {
std::uint8_t lowByte(int value) { return static_cast<std::uint8_t>(value & 0xFF); }
}  // namespace

void appendCrc(std::span<std::uint8_t> frame, std::size_t payloadLength) {
  const std::uint16_t crc = CRC(frame.first(payloadLength));
  frame[payloadLength] = crcLow(crc);
  frame[payloadLength + 1] = crcHigh(crc);
}

TxFrame buildBusRequest(int address, int command) {
  TxFrame frame{};
  frame[0] = lowByte(address);
  frame[1] = lowByte(command);
  appendCrc(frame, 2);
  return frame;
}

TxFrame buildAddressChangeRequest(int currentAddress, int newAddress) {
  TxFrame frame{};
  frame[0] = lowByte(currentAddress);
  frame[1] = CmdSetAddress;
  frame[2] = lowByte(newAddress);
  appendCrc(frame, 3);
  return frame;
}

bool frameCrcMatches(std::span<const std::uint8_t> frame) {
  const std::size_t length = frame.size();
  if (length < 3) return false;
  const std::uint16_t crc = CRC(frame.first(length - 2));
  return crc == (frame[length - 2] | (frame[length - 1] << 8));
}

}  // namespace rs485
