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
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "cli/bus.h"
#include "cli/commands.h"
#include "cli/serve.h"
#include "sim/sim_server.h"
#include "tests/support/sample_readings.h"
#include "tests/support/ser2net.h"
#include "tests/support/wait_until.h"

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

// The bytes of `request` as a client of `rs485-cli serve` writes them.
inline QByteArray requestFrame(const BusRequest& request) {
  const TxFrame frame = request.frame();
  return {reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(request.frameLength())};
}

// A program using the bus through the server: a raw TCP connection on
// this thread, gathering what the server sends back.
class BusClient {
 public:
  explicit BusClient(quint16 port) {
    QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closedByServer = true; });
    socket.connectToHost(QHostAddress::LocalHost, port);
    connected = socket.waitForConnected(5000);
    localPort = socket.localPort();
  }
  void send(const QByteArray& bytes) {
    socket.write(bytes);
    socket.flush();
  }
  void send(const BusRequest& request) { send(requestFrame(request)); }
  bool waitForBytes(qsizetype count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return waitUntil([&] { return received.size() >= count; }, timeout);
  }
  bool waitForClose(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return waitUntil([&] { return closedByServer; }, timeout);
  }

  QTcpSocket socket;
  QByteArray received;
  bool connected = false;
  quint16 localPort = 0;  // as the server names the client
  bool closedByServer = false;
};

// `rs485-cli serve` in-process on the rig's bus, listening on a free port of
// 127.0.0.1, its log gathered. The simulator paces like the line.
class ServeRig {
 public:
  explicit ServeRig(std::vector<sim::DeviceConfig> devices,
                    std::chrono::milliseconds replyWindow = std::chrono::milliseconds(500))
      : rig(std::move(devices), 0, true),
        server(*rig.bus,
               {.address = QHostAddress(QHostAddress::LocalHost), .port = 0, .replyWindow = replyWindow},
               log) {
    QString error;
    listening = rig.opened && server.listen(error);
  }

  // A client that the server has taken (or refused) by the time it returns.
  std::unique_ptr<BusClient> connect() {
    auto client = std::make_unique<BusClient>(server.port());
    const int before = server.connected();
    waitUntil([&] { return server.connected() > before || client->closedByServer; });
    return client;
  }
  // Sends `request` as `client` and returns once the server has taken it,
  // so that requests of several clients come in a known order.
  bool send(BusClient& client, const BusRequest& request) {
    const int before = server.requestsTaken();
    client.send(request);
    return waitUntil([&] { return server.requestsTaken() > before; });
  }

  // The bytes of the simulator's answer to its `n`-th request (from 0), or
  // none when it did not answer it.
  QByteArray answerTo(std::size_t n) const {
    std::size_t requests = 0;
    const auto records = rig.sim.log().snapshot();
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].kind != sim::FrameKind::Request) continue;
      if (requests++ != n) continue;
      for (std::size_t j = i + 1; j < records.size() && records[j].kind != sim::FrameKind::Request; ++j) {
        if (records[j].kind == sim::FrameKind::Answer)
          return {reinterpret_cast<const char*>(records[j].bytes.data()),
                  static_cast<qsizetype>(records[j].bytes.size())};
      }
      return {};
    }
    return {};
  }
  QString logText() const { return QString::fromStdString(log.str()); }
  // The server's log and the bus's frames, for a run that went wrong.
  std::string dump() const {
    std::string text = log.str();
    for (const auto& record : rig.sim.log().snapshot()) text += sim::FrameLog::format(record) + "\n";
    return text;
  }

  CliRig rig;
  std::ostringstream log;
  cli::Server server;
  bool listening = false;
};

}  // namespace rs485::test
