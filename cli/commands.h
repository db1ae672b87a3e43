#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/bus.h"
#include "cli/publisher.h"
#include "protocol/frames.h"

namespace rs485::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnavailable = 3;

// A request to end (SIGINT, SIGTERM, or a test), seen by the running command.
struct StopRequest {
  bool requested = false;
  std::function<void()> wake;
  void request() {
    requested = true;
    if (wake) wake();
  }
};

struct Output {
  std::ostream& out;  // one line per device or answer
  std::ostream& err;  // summaries and reasons
  bool json = false;
};

struct ScanRange {
  int timeout = 500;  // ms per address
  int from = 1;
  int to = kLastBusAddress;
  // Each probe settled by its answer or its reply window instead of one
  // probe per interval.
  bool fast = false;
  int replyWindow = 40;  // ms after the probe's last byte left the port
};

struct PollSettings {
  std::vector<int> addresses;  // empty: scan first
  ScanRange scan;
  bool record = false;
  std::int64_t seconds = 0;  // 0: until stopped
  int interval = 1000;       // ms between two requests
  std::string topicPrefix = "rs485";
};

// Each returns the program's exit status. The port is open.
//
// The scan probes an address that gave bytes but no valid answer once more,
// and reports it unreadable when it does so again (two devices answering
// together, or a noisy line).
int runScan(Bus& bus, const ScanRange& range, Output output, StopRequest& stop);
int runRead(Bus& bus, int address, Output output);
int runPoll(Bus& bus, const PollSettings& settings, Output output, StopRequest& stop, Publisher* publisher);
int runSetAddress(Bus& bus, int oldAddress, int newAddress, Output output);

}  // namespace rs485::cli
