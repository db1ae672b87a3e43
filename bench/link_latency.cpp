// Latency of the link: from the moment the device has written the last byte
// of its 16-byte answer on the line to the start of the readings handler on
// the user-interface thread. Prints the median and the 99th percentile.
//
//   link_latency [exchanges]      (default 1000)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/exchange.h"
#include "link/port_session.h"
#include "protocol/readings.h"
#include "tests/link/pty_pair.h"
#include "tests/support/pump_executor.h"

using namespace rs485;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::atoi(argv[1]) : 1000;
  test::PtyPair pty;
  test::PumpExecutor ui;  // this thread is the user-interface thread
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(std::map<std::string, std::string>{{"COM1", pty.slavePath()}}));
  if (!session.COMOpen("COM1")) {
    std::fprintf(stderr, "cannot open %s: %s\n", pty.slavePath().c_str(),
                 describe(session.lastError()).c_str());
    return 1;
  }

  std::vector<Clock::time_point> answered(static_cast<std::size_t>(exchanges));
  std::vector<Clock::time_point> handled(static_cast<std::size_t>(exchanges));
  std::atomic<int> done{0};
  exchange.setListener({.sent = {},
                        .reply =
                            [&](const BusReply& reply) {
                              if (!reply.readings) return;
                              handled[static_cast<std::size_t>(done.load())] = Clock::now();
                              ++done;
                            },
                        .dropped = {},
                        .unasked = {},
                        .writeFailed = {},
                        .writeResumed = {},
                        .requestWritten = {}});

  // The device: answers every request with a readings frame in one write.
  std::thread device([&] {
    test::Bytes answer(kReadingsResponseLength);
    encodeReadingsResponse(ReadingsResponse{1, CmdReadCurrent, 215, 130, 3, 7, 9, 1200, 90, 0},
                           answer.data());
    for (int i = 0; i < exchanges; ++i) {
      if (pty.read(kBusRequestLength, std::chrono::seconds(5)).size() != kBusRequestLength) return;
      // Stamped as the write starts: on two cores the device's thread may lose
      // the processor inside write() while the engine already runs.
      answered[static_cast<std::size_t>(i)] = Clock::now();
      pty.write(answer);
    }
  });

  for (int i = 0; i < exchanges; ++i) {
    exchange.sendRequest(BusRequest::readCurrent(1));
    if (!ui.pumpUntil([&] { return done == i + 1 && exchange.transmitParked(); }, std::chrono::seconds(5))) {
      std::fprintf(stderr, "exchange %d got no answer\n", i);
      break;
    }
  }
  device.join();
  session.COMClose();

  std::vector<double> micros;
  for (int i = 0; i < done; ++i) {
    const auto index = static_cast<std::size_t>(i);
    micros.push_back(std::chrono::duration<double, std::micro>(handled[index] - answered[index]).count());
  }
  if (micros.empty()) return 1;
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) {
    return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
  };
  std::printf("link latency, last answer byte written -> readings handler starts, %zu exchanges over a pty\n",
              micros.size());
  std::printf("  min %.0f us   median %.0f us   p99 %.0f us   max %.0f us\n", micros.front(), at(0.5),
              at(0.99), micros.back());
  return 0;
}
