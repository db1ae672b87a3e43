#pragma once

#include <cstdint>

namespace rs485 {

// The five-byte answer to a probe or an address change.
struct StatusResponse {
  std::uint8_t address = 0;  // the responding device, as it states itself
  std::uint8_t command = 0;
  std::uint8_t status = 0;  // 0 = acknowledged
};

// The sixteen-byte answer to CmdReadCurrent. Temperatures are in tenths of a
// degree Celsius, times in minutes; 16-bit fields travel high byte first.
struct ReadingsResponse {
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::int16_t temperature = 0;
  std::uint16_t timeMinutes = 0;
  std::uint8_t step = 0;
  std::uint8_t cycles = 0;  // 0 means the program has ended ("End")
  std::uint8_t numStep = 0;
  std::int16_t setTemperature = 0;
  std::uint16_t setTimeMinutes = 0;
  std::uint8_t statusByte = 0;  // exactly 0x80 makes the clock colon blink
};

inline constexpr std::uint8_t kBlinkStatus = 0x80;

// Decode the frame bytes; the caller has checked length and CRC.
StatusResponse decodeStatusResponse(const std::uint8_t* frame);
ReadingsResponse decodeReadingsResponse(const std::uint8_t* frame);

// The inverse, for the simulator and tests: writes 16 bytes including the CRC.
void encodeReadingsResponse(const ReadingsResponse& readings, std::uint8_t* frame);
// Writes 5 bytes including the CRC.
void encodeStatusResponse(const StatusResponse& status, std::uint8_t* frame);

}  // namespace rs485
