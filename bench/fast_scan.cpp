// How long `rs485-cli scan --fast` takes for the whole bus, 1..247, against
// the simulator pacing its answers like a 2400-baud line (4.167 ms a byte)
// with a 5 ms turnaround: devices at 1, 2, 128, 246 and 247, and two devices
// sharing address 100. The scan runs in this process on the simulator's pty,
// as rs485-cli runs it. Per address: the time from its first probe to the
// next address's first probe, as the simulator saw them (the last address
// until the scan returned). --paced also runs the paced scan (500 ms per
// address) for comparison; --ser2net also runs the fast scan through ser2net
// (a serial device server that is not ours, on loopback in front of the
// simulator's pty) in raw TCP and in RFC 2217 mode.
//   fast_scan [--reply-window MS] [--paced] [--ser2net]

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/command_line.h"
#include "cli/bus.h"
#include "cli/commands.h"
#include "sim/sim_server.h"
#include "tests/support/ser2net.h"

using namespace rs485;
using SteadyClock = std::chrono::steady_clock;

namespace {

double ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

const std::vector<int> kDevices = {1, 2, 100, 128, 246, 247};
constexpr int kShared = 100;

sim::SimOptions bus() {
  sim::SimOptions o;
  for (const int a : kDevices) {
    o.devices.emplace_back();
    o.devices.back().address = a;
  }
  o.devices.emplace_back();
  o.devices.back().address = kShared;
  o.devices.back().sharesAddress = true;
  o.pace = true;
  o.turnaround = std::chrono::milliseconds(5);
  o.speed = 0;
  return o;
}

struct Run {
  double wallMs = 0;
  std::string summary;
  std::vector<double> perAddress;  // ms, addresses 1..247 in order
  std::size_t probes = 0;
};

Run scan(const cli::ScanRange& range, std::optional<test::Ser2net::Mode> through = std::nullopt) {
  sim::SimServer sim(bus());
  sim.start();
  Run run;
  std::optional<test::Ser2net> server;
  std::string port = sim.toolPath();
  if (through) {
    server.emplace(sim.toolPath(), *through);
    if (!server->start()) {
      run.summary = "ser2net did not start: " + server->output().toStdString() + "\n";
      return run;
    }
    port = server->url();
  }
  cli::Bus b(cli::BusOptions{.names = PortNames(std::map<std::string, std::string>{{"COM1", port}}),
                             .recording = {}});
  if (!b.open("COM1")) {
    run.summary = "cannot open " + port + "\n";
    return run;
  }
  std::ostringstream out, err;
  cli::StopRequest stop;
  const auto start = SteadyClock::now();
  cli::runScan(b, range, {out, err, false}, stop);
  const auto end = SteadyClock::now();
  run.wallMs = ms(end - start);
  run.summary = err.str();
  std::map<int, SteadyClock::time_point> first;
  const auto requests = sim.log().snapshot(sim::FrameKind::Request);
  run.probes = requests.size();
  for (const auto& r : requests) first.emplace(r.address, r.at);
  for (int a = range.from; a <= range.to; ++a) {
    const auto next = first.find(a + 1);
    const SteadyClock::time_point until = next == first.end() ? end : next->second;
    if (first.count(a) != 0) run.perAddress.push_back(ms(until - first[a]));
  }
  return run;
}

void print(const char* name, const Run& run) {
  std::vector<double> sorted = run.perAddress;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%s: whole bus %.3f s, %zu probes\n", name, run.wallMs / 1000.0, run.probes);
  if (!sorted.empty()) {
    std::printf("  per address: median %.2f ms, min %.2f ms, worst %.2f ms\n", sorted[sorted.size() / 2],
                sorted.front(), sorted.back());
    std::vector<std::pair<double, int>> slowest;
    for (std::size_t i = 0; i < run.perAddress.size(); ++i)
      slowest.emplace_back(run.perAddress[i], static_cast<int>(i) + 1);
    std::sort(slowest.rbegin(), slowest.rend());
    std::printf("  slowest:");
    for (std::size_t i = 0; i < 4 && i < slowest.size(); ++i)
      std::printf(" %d (%.2f ms)", slowest[i].second, slowest[i].first);
    std::printf("\n");
  }
  std::printf("  %s", run.summary.c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const int window = static_cast<int>(bench::option(argc, argv, "--reply-window", 40));
  {
    std::ifstream load("/proc/loadavg");
    std::string l1, l5, l15;
    load >> l1 >> l5 >> l15;
    std::printf("fast scan, 1..247 at 2400 baud, simulator paced, turnaround 5 ms; load %s %s %s\n",
                l1.c_str(), l5.c_str(), l15.c_str());
  }
  std::printf("line's own limit with a %d ms window: 247 x (4 bytes %.1f ms + %d ms) = %.1f s\n", window,
              4 * 4.167, window, 247 * (4 * 4.167 + window) / 1000.0);
  const cli::ScanRange fast{.from = 1, .to = 247, .fast = true, .replyWindow = window};
  print("fast", scan(fast));
  if (bench::flag(argc, argv, "--ser2net")) {
    if (!test::Ser2net::installed()) {
      std::printf("ser2net is not installed (scripts/install-deps)\n");
      return 1;
    }
    print("fast through ser2net, raw TCP", scan(fast, test::Ser2net::Mode::Raw));
    print("fast through ser2net, RFC 2217", scan(fast, test::Ser2net::Mode::Rfc2217));
  }
  if (bench::flag(argc, argv, "--paced")) {
    print("paced (500 ms)", scan({.timeout = 500, .from = 1, .to = 247}));
  } else {
    std::printf("paced (500 ms per address): 247 x 500 ms = %.1f s (--paced measures it)\n", 247 * 0.5);
  }
  return 0;
}
