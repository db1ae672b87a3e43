#pragma once

// The fault tests run the window with its timer ticks given by the test,
// no confirmation dialog (a scan asks nothing) and the clock at 10:00:30.

#include <QString>
#include <string>

#include "tests/faults/expected_display.h"
#include "tests/faults/expected_file.h"
#include "tests/support/process_figures.h"
#include "tests/support/sim_bus.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_rig.h"

namespace rs485::test {

inline RigSetup faultSetup(const QString& recordingDir = {}) {
  RigSetup setup;
  setup.askQuestions = false;
  setup.recordingDir = recordingDir;
  setup.now = {QDate(2026, 12, 7), QTime(10, 0, 30)};
  return setup;
}

// COM1 = the simulator's line.
struct FaultRig : WindowRig {
  explicit FaultRig(const sim::SimOptions& bus, const QString& recordingDir = {})
      : WindowRig(bus, faultSetup(recordingDir)) {}
};

// COM1 = a line another process serves.
struct FaultLineRig : LineRig {
  explicit FaultLineRig(const std::string& line) : LineRig(PortNames({{"COM1", line}}), faultSetup()) {}
};

}  // namespace rs485::test
