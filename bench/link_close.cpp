// Time to close the port while its output cannot leave (a stalled adapter,
// played by a pseudo-terminal whose output is suspended or whose far end
// never reads) and the transmit thread waits for room. Prints the median and
// the worst close for each kind of stall.
//
//   link_close [closes]      (default 20 of each kind)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/exchange.h"
#include "link/port_session.h"
#include "tests/link/pty_pair.h"
#include "tests/support/pump_executor.h"

using namespace rs485;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int closes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  for (const auto stall : {test::PtyPair::Stall::Suspended, test::PtyPair::Stall::Full}) {
    std::vector<double> ms;
    for (int i = 0; i < closes; ++i) {
      test::PtyPair pty;
      test::PumpExecutor ui;
      Exchange exchange(ui);
      PortSession session(exchange, PortNames(std::map<std::string, std::string>{{"COM1", pty.slavePath()}}));
      UniqueFd stalled = pty.stallOutput(stall);
      if (!stalled.valid() || !session.COMOpen("COM1")) {
        std::fprintf(stderr, "cannot stall and open %s\n", pty.slavePath().c_str());
        return 1;
      }
      exchange.sendRequest(BusRequest::readCurrent(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the transmit thread reaches its wait
      const auto start = Clock::now();
      session.COMClose();
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      stalled.reset();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("close with output %s: %d closes, median %.3f ms, worst %.3f ms\n",
                stall == test::PtyPair::Stall::Suspended ? "suspended" : "unread", closes, ms[ms.size() / 2],
                ms.back());
  }
  return 0;
}
