#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_server.h"

namespace rs485::sim {

struct CommandLine {
  SimOptions options;
  bool help = false;
  bool version = false;
  std::chrono::milliseconds outage{5000};  // how long SIGUSR2 takes the line away
};

// Reads the rs485-sim options (arguments without the program name). Throws
// std::invalid_argument with a message for the user.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// "bad-crc=0.1,split,extra-count=5" on top of `base`; a fault without a
// value strikes every time.
Faults parseFaults(std::string_view list, Faults base);

// "temperature=-200,cycles=0,status=0x80": fixed readings of a device.
ReadingsResponse parseReadings(std::string_view list, int address);

std::string usage();

}  // namespace rs485::sim
