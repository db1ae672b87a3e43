#pragma once

#include <cstdint>
#include <vector>

#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/support/sim_bus.h"

namespace rs485::test {

// Readings that every field of the display can be told apart by.
inline ReadingsResponse readings(std::int16_t temperature, std::uint8_t step, std::uint8_t statusByte = 0) {
  ReadingsResponse r;
  r.command = CmdReadCurrent;
  r.temperature = temperature;
  r.timeMinutes = 130;
  r.step = step;
  r.cycles = 42;
  r.numStep = 12;
  r.setTemperature = -123;
  r.setTimeMinutes = 605;
  r.statusByte = statusByte;
  return r;
}

// A bus of devices that answer at once and whose readings stand still.
inline sim::SimOptions bus(const std::vector<int>& addresses) {
  std::vector<BusDevice> devices;
  for (const int address : addresses)
    devices.push_back({address, readings(static_cast<std::int16_t>(100 + address), 1)});
  return instantBus(devices);
}

}  // namespace rs485::test
