#pragma once

#include <array>
#include <cstdint>

#include "protocol/frames.h"
#include "protocol/readings.h"

namespace rs485::test {

// Readings answers for tests, written by field name. Fields left out are 0.

// The answer of the device at `address` to the readings request:
//   readingsOf(7, {.temperature = 235, .step = 3})
inline ReadingsResponse readingsOf(int address, ReadingsResponse fields = {}) {
  fields.address = static_cast<std::uint8_t>(address);
  fields.command = CmdReadCurrent;
  return fields;
}

// A row of a table of devices, the colon steady.
inline ReadingsResponse readingsOf(int address, int temperature, int timeMinutes, int step, int cycles,
                                   int numStep, int setTemperature, int setTimeMinutes) {
  return readingsOf(address, {.temperature = static_cast<std::int16_t>(temperature),
                              .timeMinutes = static_cast<std::uint16_t>(timeMinutes),
                              .step = static_cast<std::uint8_t>(step),
                              .cycles = static_cast<std::uint8_t>(cycles),
                              .numStep = static_cast<std::uint8_t>(numStep),
                              .setTemperature = static_cast<std::int16_t>(setTemperature),
                              .setTimeMinutes = static_cast<std::uint16_t>(setTimeMinutes),
                              .statusByte = 0});
}

// Every field set and no two alike, so that a field read in another's
// place shows: -0,5 degrees of 60,0 set, 02:10 of 01:30, step 3 of 7,
// 5 cycles left, the colon blinking. Address 0: the asker fills it in.
inline constexpr ReadingsResponse kEveryFieldApart{
    .address = 0,
    .command = CmdReadCurrent,
    .temperature = -5,
    .timeMinutes = 130,
    .step = 3,
    .cycles = 5,
    .numStep = 7,
    .setTemperature = 600,
    .setTimeMinutes = 90,
    .statusByte = kBlinkStatus,
};

// Something for every box of the window's right panel to show, the colon
// steady: 23,5 degrees (or `temperature` tenths) of 150,0 set, 02:05 of
// 10:00, step 3 of 12, 42 cycles left.
inline ReadingsResponse panelReadings(int address, int temperature = 235) {
  return readingsOf(address, temperature, 125, 3, 42, 12, 1500, 600);
}

// The 16 bytes on the line, CRC included.
inline std::array<std::uint8_t, kReadingsResponseLength> encodedReadings(const ReadingsResponse& r) {
  std::array<std::uint8_t, kReadingsResponseLength> frame{};
  encodeReadingsResponse(r, frame.data());
  return frame;
}

}  // namespace rs485::test
