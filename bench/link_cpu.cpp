// CPU time of the process while a port is open and nothing is handled:
// idle, with stray bytes left in the input queue, and with a dead line that
// makes every write fail. Prints the user and system time of each phase.
//
//   link_cpu [seconds per phase]      (default 5)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "link/exchange.h"
#include "link/port_session.h"
#include "tests/link/pty_pair.h"
#include "tests/support/process_figures.h"
#include "tests/support/pump_executor.h"

using namespace rs485;

namespace {

// Runs the user-interface thread's tasks for the whole phase, as the window would.
void phase(const char* name, test::PumpExecutor& ui, const Exchange& exchange, std::chrono::seconds length) {
  const double before = test::processCpuMillis();
  const auto workersBefore = exchange.receiveThreadCpuTime() + exchange.transmitThreadCpuTime();
  const auto end = std::chrono::steady_clock::now() + length;
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    ui.waitForTask(std::chrono::duration_cast<std::chrono::milliseconds>(end - now) +
                   std::chrono::milliseconds(1));
    ui.runPending();
  }
  const double used = test::processCpuMillis() - before;
  const double workers =
      std::chrono::duration<double, std::milli>(exchange.receiveThreadCpuTime() +
                                                exchange.transmitThreadCpuTime() - workersBefore)
          .count();
  std::printf("  %-36s process %7.2f ms (%.3f %% of a core), worker threads %7.2f ms\n", name, used,
              used / (static_cast<double>(length.count()) * 10.0), workers);
}

}  // namespace

int main(int argc, char** argv) {
  const std::chrono::seconds length(argc > 1 ? std::atoi(argv[1]) : 5);
  test::PtyPair pty;
  test::PumpExecutor ui;
  Exchange exchange(ui);
  int failures = 0;
  exchange.setListener({.sent = {},
                        .reply = {},
                        .dropped = {},
                        .unasked = {},
                        .writeFailed = [&] { ++failures; },
                        .writeResumed = {},
                        .requestWritten = {}});
  PortSession session(exchange, PortNames(std::map<std::string, std::string>{{"COM1", pty.slavePath()}}));
  if (!session.COMOpen("COM1")) {
    std::fprintf(stderr, "cannot open %s: %s\n", pty.slavePath().c_str(),
                 describe(session.lastError()).c_str());
    return 1;
  }
  std::printf("link CPU time per %lld s phase, port open on a pty (process: getrusage)\n",
              static_cast<long long>(length.count()));

  phase("idle", ui, exchange, length);

  exchange.expectAnswer(kReadingsResponseLength);
  pty.write({1, 2, 3, 4, 5, 6, 7});
  while (exchange.inputQueued() != 7) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  phase("7 stray bytes queued, 16 expected", ui, exchange, length);

  pty.closeMaster();
  exchange.sendRequest(BusRequest::readCurrent(1));
  phase("line gone, every write failing", ui, exchange, length);
  std::printf("  (%d failed writes reported in that phase)\n", failures);

  session.COMClose();
  return 0;
}
