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
#include <cstdio>
#include <optional>
#include <vector>

#include "bench/command_line.h"
#include "bench/readings_exchanges.h"
#include "bench/samples.h"
#include "tests/link/pty_pair.h"
#include "tests/support/ser2net.h"

using namespace rs485;
using bench::SteadyClock;

namespace {

struct Figures {
  std::vector<double> roundTrip, answerLeg;  // ms
};

std::optional<Figures> measure(test::PtyPair& pty, const std::string& portPath, int exchanges) {
  const auto times = bench::timeReadingsExchanges(pty, portPath, exchanges);
  if (!times) return std::nullopt;
  Figures figures;
  for (std::size_t i = 0; i < times->handled.size(); ++i) {
    figures.roundTrip.push_back(bench::millisBetween(times->asked[i], times->handled[i]));
    figures.answerLeg.push_back(bench::millisBetween(times->answered[i], times->handled[i]));
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
