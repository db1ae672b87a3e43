#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>
#include <map>
#include <memory>

#include "cli/bus.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/publisher.h"
#include "cli/serve.h"
#include "devices/open_failure.h"
#include "i18n/catalogue.h"
#include "link/port_names.h"
#include "link/serial_port.h"
#include "link/traffic_trace.h"

using namespace rs485;
using namespace rs485::cli;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  const ssize_t ignored = write(signalPipe[1], &byte, 1);
  (void)ignored;
}

// SIGINT and SIGTERM become a stop request on the event loop's thread.
void watchSignals(StopRequest& stop, QObject& context) {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &context);
  QObject::connect(notifier, &QSocketNotifier::activated, &context, [&stop] {
    char bytes[16];
    while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    stop.request();
  });
}

// "COMn" as the window names it, "COMn=PATH", or a device path.
std::pair<PortNames, std::string> portNamed(const std::string& port) {
  if (const auto mapping = PortNames::parseOption(port)) {
    return {PortNames(std::map<std::string, std::string>{{mapping->first, mapping->second}}), mapping->first};
  }
  if (port.find('/') != std::string::npos)
    return {PortNames(std::map<std::string, std::string>{{port, port}}), port};
  return {PortNames(), port};
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("rs485-cli"));
  QCoreApplication::setApplicationVersion(QStringLiteral(RS485_VERSION));
  i18n::installCatalogue();

  const auto parsed = parseCommandLine(QCoreApplication::arguments());
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const Invocation& invocation = std::get<Invocation>(parsed);

  StopRequest stop;
  watchSignals(stop, app);

  auto [names, portName] = portNamed(invocation.port);
  BusOptions options{.names = std::move(names), .recording = {invocation.recordDirectory, {}}};
  Bus bus(std::move(options));
  if (!invocation.tracePath.empty()) {
    std::string error;
    auto trace = TrafficTrace::appendToFile(invocation.tracePath, error);
    if (!trace) {
      std::cerr << "rs485-cli: "
                << QCoreApplication::translate("rs485-cli", "cannot open the trace file '%1': %2")
                       .arg(QString::fromStdString(invocation.tracePath),
                            QString::fromLocal8Bit(error.c_str()))
                       .toStdString()
                << '\n';
      return kExitUsage;
    }
    bus.exchange.setTrace(std::move(trace));
  }
  if (!bus.open(portName)) {
    const std::string& path = bus.session.lastPath();
    QString port = QString::fromStdString(invocation.port);
    if (!path.empty() && path != invocation.port)
      port += QStringLiteral(" (%1)").arg(QString::fromStdString(path));
    std::cerr << "rs485-cli: "
              << QCoreApplication::translate("rs485-cli", "cannot open %1: %2")
                     .arg(port, openFailureText(bus.session))
                     .toStdString()
              << '\n';
    return kExitUnavailable;
  }

  std::unique_ptr<Publisher> publisher;
  if (invocation.mqtt) {
    std::string error;
    publisher = connectMqtt(*invocation.mqtt, error);
    if (!publisher) {
      std::cerr << "rs485-cli: " << error << '\n';
      return kExitUnavailable;
    }
  }

  const Output output{std::cout, std::cerr, invocation.json};
  switch (invocation.command) {
    case Command::Scan:
      return runScan(bus, invocation.scan, output, stop);
    case Command::Read:
      return runRead(bus, invocation.address, output);
    case Command::Poll:
      return runPoll(bus, invocation.poll, output, stop, publisher.get());
    case Command::SetAddress:
      return runSetAddress(bus, invocation.oldAddress, invocation.newAddress, output);
    case Command::Serve:
      return runServe(bus, invocation.serve, output, stop);
  }
  return kExitUsage;
}
