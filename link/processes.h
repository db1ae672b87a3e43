#pragma once

#include <string>

namespace rs485 {

// True when a process whose command name is `name` runs now (on Linux: a
// /proc/PID/comm that reads `name`). Names are cut to 15 characters there.
// procRoot is "/proc" except in tests. On Windows: an executable named
// `name`, with or without ".exe", in any case; procRoot is not used.
bool processRunning(const std::string& name, const std::string& procRoot = "/proc");

}  // namespace rs485
