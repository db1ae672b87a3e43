#pragma once
// Readings requests to device 1 through the engine, one at a time, with the
// device played on a pty's master end: it answers each request at once in
// one write, so the times are the link's own. Shared by the link and network
// latency benchmarks.

#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/samples.h"
#include "link/exchange.h"
#include "link/open_device.h"
#include "link/port_session.h"
#include "protocol/readings.h"
#include "tests/link/pty_pair.h"
#include "tests/support/pump_executor.h"

namespace rs485::bench {

struct ExchangeTimes {
  std::vector<SteadyClock::time_point> asked;     // the request handed to the engine
  std::vector<SteadyClock::time_point> answered;  // the device starts writing its answer
  std::vector<SteadyClock::time_point> handled;   // the reply handler starts
};

// `exchanges` requests over `portPath` (which leads to `pty`'s slave end,
// directly or through a server); the times of those answered, or nothing
// when the port does not open.
inline std::optional<ExchangeTimes> timeReadingsExchanges(test::PtyPair& pty, const std::string& portPath,
                                                          int exchanges) {
  test::PumpExecutor ui;  // this thread is the user-interface thread
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(std::map<std::string, std::string>{{"COM1", portPath}}),
                      openDevice);
  if (!session.COMOpen("COM1")) {
    std::fprintf(stderr, "cannot open %s: %s\n", portPath.c_str(), describe(session.lastError()).c_str());
    return std::nullopt;
  }
  const auto count = static_cast<std::size_t>(exchanges);
  ExchangeTimes times{std::vector<SteadyClock::time_point>(count),
                      std::vector<SteadyClock::time_point>(count),
                      std::vector<SteadyClock::time_point>(count)};
  std::atomic<int> done{0};
  exchange.setListener({.sent = {},
                        .reply =
                            [&](const BusReply& reply) {
                              if (!reply.readings) return;
                              times.handled[static_cast<std::size_t>(done.load())] = SteadyClock::now();
                              ++done;
                            },
                        .dropped = {},
                        .unasked = {},
                        .writeFailed = {},
                        .writeResumed = {},
                        .requestWritten = {}});

  std::thread device([&] {
    test::Bytes answer(kReadingsResponseLength);
    encodeReadingsResponse(ReadingsResponse{1, CmdReadCurrent, 215, 130, 3, 7, 9, 1200, 90, 0},
                           answer.data());
    for (std::size_t i = 0; i < count; ++i) {
      if (pty.read(kBusRequestLength, std::chrono::seconds(5)).size() != kBusRequestLength) return;
      // Stamped as the write starts: on two cores the device's thread may
      // lose the processor inside write() while the engine already runs.
      times.answered[i] = SteadyClock::now();
      pty.write(answer);
    }
  });

  for (int i = 0; i < exchanges; ++i) {
    times.asked[static_cast<std::size_t>(i)] = SteadyClock::now();
    exchange.sendRequest(BusRequest::readCurrent(1));
    if (!ui.pumpUntil([&] { return done == i + 1 && exchange.transmitParked(); }, std::chrono::seconds(5))) {
      std::fprintf(stderr, "exchange %d over %s got no answer\n", i, portPath.c_str());
      break;
    }
  }
  device.join();
  session.COMClose();
  for (auto* column : {&times.asked, &times.answered, &times.handled})
    column->resize(static_cast<std::size_t>(done.load()));
  return times;
}

}  // namespace rs485::bench
