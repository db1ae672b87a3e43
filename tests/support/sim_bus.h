#pragma once

// Simulated buses the window is run against.

#include <optional>
#include <vector>

#include "protocol/readings.h"
#include "sim/sim_server.h"

namespace rs485::test {

// One device of the bus; with readings, it answers exactly these.
struct BusDevice {
  int address;
  std::optional<ReadingsResponse> readings = {};
};

// Devices that answer at once, each answer in one write.
inline sim::SimOptions instantBus(const std::vector<BusDevice>& devices) {
  sim::SimOptions options;
  for (const BusDevice& device : devices) {
    sim::DeviceConfig config;
    config.address = device.address;
    config.fixedReadings = device.readings;
    options.devices.push_back(config);
  }
  options.pace = false;
  options.speed = 0;
  options.seed = 20261207;
  return options;
}

// Devices that answer byte by byte at the line's speed, their readings
// evolving `speed` times as fast as real time (0: standing still).
inline sim::SimOptions pacedBus(const std::vector<int>& addresses, double speed = 1.0) {
  sim::SimOptions options;
  for (const int address : addresses) {
    sim::DeviceConfig device;
    device.address = address;
    options.devices.push_back(device);
  }
  options.pace = true;
  options.speed = speed;
  return options;
}

}  // namespace rs485::test
