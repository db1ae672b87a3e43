#pragma once

#include <cstdint>
#include <vector>

#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/support/sample_readings.h"
#include "tests/support/sim_bus.h"

namespace rs485::test {

// Readings that every field of the display can be told apart by.
inline ReadingsResponse readings(std::int16_t temperature, std::uint8_t step, std::uint8_t statusByte = 0) {
  return readingsOf(0, {.temperature = temperature,
                        .timeMinutes = 130,
                        .step = step,
                        .cycles = 42,
                        .numStep = 12,
                        .setTemperature = -123,
                        .setTimeMinutes = 605,
                        .statusByte = statusByte});
}

// A bus of devices that answer at once and whose readings stand still.
inline sim::SimOptions bus(const std::vector<int>& addresses) {
  std::vector<BusDevice> devices;
  for (const int address : addresses)
    devices.push_back({address, readings(static_cast<std::int16_t>(100 + address), 1)});
  return instantBus(devices);
}

}  // namespace rs485::test
