// Latency that `rs485-cli serve` adds: a readings request written by a
// client to the answer handed to that client, once on the pseudo-terminal
// directly (rs485-cli's engine in this process: request sent -> reply
// handler) and once through serve (its own process) on loopback (the
// request written to the socket -> the answer's 16th byte read from it).
// The device answers at once (no pacing), so the figures are the tool's.
// Prints the median and the 99th percentile of each, and the difference.
//
//   serve_latency [requests]      (default 500)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/bus.h"
#include "tests/support/serve_process.h"
#include "tests/support/sim_bus.h"
#include "tests/support/wait_until.h"

using namespace rs485;

namespace {

struct Spread {
  double p50 = 0;
  double p99 = 0;
  double max = 0;
};

Spread spread(std::vector<double> micros) {
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) {
    return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
  };
  return {at(0.5), at(0.99), micros.back()};
}

// rs485-cli's engine on the pty: sendRequest -> the reply handler.
std::vector<double> direct(const std::string& path, int requests) {
  std::vector<double> micros;
  cli::BusOptions options;
  options.names = PortNames(std::map<std::string, std::string>{{"COM1", path}});
  cli::Bus bus(std::move(options));
  if (!bus.open("COM1")) return micros;
  bool answered = false;
  QEventLoop loop;
  bus.onReply = [&](const BusReply& reply) {
    answered = reply.answered();
    loop.quit();
  };
  QTimer limit;  // a lost answer ends the run instead of holding it
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  for (int i = 0; i < requests; ++i) {
    test::waitUntil([&] { return bus.exchange.transmitParked(); }, std::chrono::seconds(5));
    answered = false;
    limit.start(5000);
    QElapsedTimer timer;
    timer.start();
    bus.exchange.sendRequest(BusRequest::readCurrent(1));
    loop.exec();
    if (!answered) break;
    micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
  }
  bus.onReply = nullptr;
  bus.close();
  return micros;
}

// A client of serve: written to the socket -> the whole answer read.
std::vector<double> throughServe(quint16 port, int requests) {
  std::vector<double> micros;
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  if (!socket.waitForConnected(5000)) return micros;
  socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  const TxFrame frame = BusRequest::readCurrent(1).frame();
  const QByteArray request(reinterpret_cast<const char*>(frame.data()), kBusRequestLength);
  for (int i = 0; i < requests; ++i) {
    QElapsedTimer timer;
    timer.start();
    socket.write(request);
    socket.flush();
    QByteArray answer;
    while (answer.size() < static_cast<qsizetype>(kReadingsResponseLength) && socket.waitForReadyRead(5000))
      answer += socket.readAll();
    if (answer.size() != static_cast<qsizetype>(kReadingsResponseLength)) break;
    micros.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
  }
  return micros;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int requests = argc > 1 ? std::atoi(argv[1]) : 500;
  sim::SimServer sim(test::instantBus({{1}}));
  sim.start();

  const std::vector<double> onPty = direct(sim.toolPath(), requests);
  test::ServeProcess serve(QStringLiteral(RS485_CLI), sim.toolPath());
  if (!serve.start()) {
    std::fprintf(stderr, "serve did not start: %s\n", serve.log().toUtf8().constData());
    return 1;
  }
  const std::vector<double> served = throughServe(serve.port(), requests);
  serve.terminate();
  if (onPty.size() != static_cast<std::size_t>(requests) ||
      served.size() != static_cast<std::size_t>(requests)) {
    std::fprintf(stderr, "answers missing: %zu on the pty, %zu through serve, of %d\n", onPty.size(),
                 served.size(), requests);
    return 1;
  }
  const Spread a = spread(onPty);
  const Spread b = spread(served);
  std::printf(
      "serve latency, request written -> whole 16-byte answer handed to the client, %d requests, "
      "device answering at once\n",
      requests);
  std::printf("  pty directly:          median %.0f us   p99 %.0f us   max %.0f us\n", a.p50, a.p99, a.max);
  std::printf("  through serve (tcp):   median %.0f us   p99 %.0f us   max %.0f us\n", b.p50, b.p99, b.max);
  std::printf("  added by serve:        median %.0f us   p99 %.0f us\n", b.p50 - a.p50, b.p99 - a.p99);
  return 0;
}
