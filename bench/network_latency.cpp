// What a serial device server adds to an exchange: the same readings
// requests over the pseudo-terminal directly, and through ser2net (a serial
// device server that is not ours, run with a private configuration on
// loopback, in front of the same kind of pty) in raw TCP and in RFC 2217
// mode. The device answers every request at once in one write, so the
// figures are the link's own.
//   round trip: the request handed to the engine -> its reply handled
//   answer leg: the device's answer written -> its reply handled
//
//   network_latency [--exchanges N]      (default 500)

#include <QCoreApplication>
#include <atomic>
#include <cstdio>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "bench/command_line.h"
#include "bench/samples.h"
#include "link/exchange.h"
#include "link/open_device.h"
#include "link/port_session.h"
#include "protocol/readings.h"
#include "tests/link/pty_pair.h"
#include "tests/support/pump_executor.h"
#include "tests/support/ser2net.h"

using namespace rs485;
using bench::SteadyClock;

namespace {

struct Figures {
  std::vector<double> roundTrip, answerLeg;  // ms
};

// Runs `exchanges` readings requests to device 1 over `portPath`, with the
// device played on `pty`'s master end.
std::optional<Figures> measure(test::PtyPair& pty, const std::string& portPath, int exchanges) {
  test::PumpExecutor ui;  // this thread is the user-interface thread
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(std::map<std::string, std::string>{{"COM1", portPath}}),
                      openDevice);
  if (!session.COMOpen("COM1")) {
    std::fprintf(stderr, "cannot open %s: %s\n", portPath.c_str(), describe(session.lastError()).c_str());
    return std::nullopt;
  }
  const auto count = static_cast<std::size_t>(exchanges);
  std::vector<SteadyClock::time_point> asked(count), answered(count), handled(count);
  std::atomic<int> done{0};
  exchange.setListener({.sent = {},
                        .reply =
                            [&](const BusReply& reply) {
                              if (!reply.readings) return;
                              handled[static_cast<std::size_t>(done.load())] = SteadyClock::now();
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
      answered[i] = SteadyClock::now();
      pty.write(answer);
    }
  });

  for (int i = 0; i < exchanges; ++i) {
    asked[static_cast<std::size_t>(i)] = SteadyClock::now();
    exchange.sendRequest(BusRequest::readCurrent(1));
    if (!ui.pumpUntil([&] { return done == i + 1 && exchange.transmitParked(); }, std::chrono::seconds(5))) {
      std::fprintf(stderr, "exchange %d over %s got no answer\n", i, portPath.c_str());
      break;
    }
  }
  device.join();
  session.COMClose();

  Figures figures;
  for (std::size_t i = 0; i < static_cast<std::size_t>(done.load()); ++i) {
    figures.roundTrip.push_back(bench::millisBetween(asked[i], handled[i]));
    figures.answerLeg.push_back(bench::millisBetween(answered[i], handled[i]));
  }
  return figures;
}

void print(const char* name, const std::optional<Figures>& figures) {
  if (!figures) {
    std::printf("%-22s failed\n", name);
    return;
  }
  const bench::Summary trip = bench::summarize(figures->roundTrip);
  const bench::Summary leg = bench::summarize(figures->answerLeg);
  std::printf(
      "%-22s %4zu exchanges  round trip median %.3f p99 %.3f max %.3f ms   "
      "answer leg median %.3f p99 %.3f ms\n",
      name, trip.count, trip.median, trip.p99, trip.max, leg.median, leg.p99);
}

std::optional<Figures> throughSer2net(test::Ser2net::Mode mode, int exchanges) {
  test::PtyPair pty;
  test::Ser2net server(pty.slavePath(), mode);
  if (!server.start()) {
    std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(server.output()));
    return std::nullopt;
  }
  return measure(pty, server.url(), exchanges);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int exchanges = static_cast<int>(bench::option(argc, argv, "--exchanges", 500));
  std::printf("network port latency, readings requests answered at once, no line pacing\n");
  bench::printMachine();
  {
    test::PtyPair pty;
    print("pseudo-terminal", measure(pty, pty.slavePath(), exchanges));
  }
  if (!test::Ser2net::installed()) {
    std::printf("ser2net is not installed (scripts/install-deps): no network figures\n");
    return 1;
  }
  print("ser2net, raw TCP", throughSer2net(test::Ser2net::Mode::Raw, exchanges));
  print("ser2net, RFC 2217", throughSer2net(test::Ser2net::Mode::Rfc2217, exchanges));
  return 0;
}
