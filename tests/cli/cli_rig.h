#pragma once

// rs485-cli's bus in-process against the simulator over a pseudo-terminal.
// The console view's timers run for real but four times faster, so a scan
// probes an address every 125 ms and the poll asks a device every 250 ms:
// short enough for quick tests, long enough for every answer (split ones
// included) to be in before the next tick on a loaded machine. The fast
// scan's reply window is not divided: it is measured against the devices'
// real turnaround, with the simulator pacing like the line (`pace`).
// The bus is reached through the pty itself, or through ser2net in front of
// it (raw TCP or RFC 2217), as through a serial device server.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimeZone>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/bus.h"
#include "cli/commands.h"
#include "sim/sim_server.h"
#include "tests/support/sample_readings.h"
#include "tests/support/ser2net.h"

namespace rs485::test {

// The event loop that the console's timers and hand-overs need.
inline QCoreApplication& coreApplication() {
  static int argc = 1;
  static char name[] = "cli_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

inline sim::DeviceConfig device(int address) {
  sim::DeviceConfig d;
  d.address = address;
  return d;
}

// A device without faults that takes `turnaround` to answer.
inline sim::DeviceConfig slow(int address, std::chrono::milliseconds turnaround) {
  sim::DeviceConfig d = device(address);
  d.turnaround = turnaround;
  return d;
}

// A second device at `address`: the two answer together.
inline sim::DeviceConfig twin(int address) {
  sim::DeviceConfig d = device(address);
  d.sharesAddress = true;
  return d;
}

// ser2net between the tool and the simulator's pty, set to `line` (its notation).
struct ThroughSer2net {
  Ser2net::Mode mode;
  std::string line = "2400n81";
};

class CliRig {
 public:
  static constexpr int kTimeDivisor = 4;

  explicit CliRig(std::vector<sim::DeviceConfig> devices, double speed = 0, bool pace = false,
                  std::optional<ThroughSer2net> through = std::nullopt)
      : sim(options(std::move(devices), speed, pace)) {
    coreApplication();
    sim.start();
    std::string path = sim.toolPath();
    if (through) {
      server = std::make_unique<Ser2net>(path, through->mode, through->line);
      serverUp = server->start();
      path = server->url();
    }
    bus = std::make_unique<cli::Bus>(cli::BusOptions{
        .names = PortNames(std::map<std::string, std::string>{{"COM1", path}}),
        .clock = [this] { return clock(); },
        .recording = {files.path(), {}},
        .timeDivisor = kTimeDivisor,
    });
    opened = bus->open("COM1");
  }

  cli::Output output(bool json = false) { return {out, err, json}; }

  static sim::SimOptions options(std::vector<sim::DeviceConfig> devices, double speed, bool pace) {
    sim::SimOptions o;
    o.devices = std::move(devices);
    o.pace = pace;
    o.speed = speed;
    return o;
  }

  // 2026-12-08 01:27:00 at UTC+3, later by `step` for every call after the first.
  QDateTime clock() {
    const QDateTime start(QDate(2026, 12, 8), QTime(1, 27), QTimeZone(3 * 3600));
    return start.addSecs(step.count() * calls++);
  }

  std::vector<int> requestedAddresses() const {
    std::vector<int> addresses;
    for (const auto& r : sim.log().snapshot(sim::FrameKind::Request)) addresses.push_back(r.address);
    return addresses;
  }

  QTemporaryDir files;
  sim::SimServer sim;
  std::unique_ptr<Ser2net> server;  // with ThroughSer2net
  bool serverUp = false;
  std::chrono::seconds step{0};
  int calls = 0;
  std::unique_ptr<cli::Bus> bus;
  bool opened = false;
  std::ostringstream out;
  std::ostringstream err;
  cli::StopRequest stop;
};

}  // namespace rs485::test
