#include "cli/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdint>
#include <iostream>
#include <map>

#include "cli/command_options.h"
#include "protocol/frames.h"

namespace rs485::cli {

namespace {

constexpr int kMqttTlsPort = 8883;
// Ten years: a recorder left running that long is still told when to end.
constexpr std::int64_t kLongestPollSeconds = std::int64_t{10} * 366 * 24 * 3600;
const char* const kMqttPasswordVariable = "RS485_MQTT_PASSWORD";

const std::map<QString, Command> kCommands = {
    {QStringLiteral("scan"), Command::Scan},   {QStringLiteral("read"), Command::Read},
    {QStringLiteral("poll"), Command::Poll},   {QStringLiteral("set-address"), Command::SetAddress},
    {QStringLiteral("serve"), Command::Serve},
};

int usageError(const QString& message, const QString& command) {
  const QString help = command.isEmpty() ? QStringLiteral("rs485-cli --help")
                                         : QStringLiteral("rs485-cli %1 --help").arg(command);
  std::cerr << "rs485-cli: " << message.toStdString() << "\n"
            << QCoreApplication::translate("rs485-cli", "Try '%1'.").arg(help).toStdString() << "\n";
  return kExitUsage;
}

std::optional<int> number(const QString& text, int low, int high) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  if (!ok || value < low || value > high) return std::nullopt;
  return value;
}

std::optional<std::int64_t> longNumber(const QString& text, std::int64_t low, std::int64_t high) {
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok, 10);
  if (!ok || value < low || value > high) return std::nullopt;
  return value;
}

struct BrokerAddress {
  QString host;
  std::optional<int> port;  // none: the default of the transport
};

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT, as the host of a URL: an IPv6
// literal has colons of its own, so it stands in brackets.
std::optional<BrokerAddress> brokerAddress(const QString& text, int lowestPort = 1) {
  BrokerAddress address;
  QString rest;
  if (text.startsWith(QLatin1Char('['))) {
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0) return std::nullopt;
    address.host = text.mid(1, close - 1);
    rest = text.mid(close + 1);
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) return std::nullopt;
  } else {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0 && text.indexOf(QLatin1Char(':'), colon + 1) >= 0) return std::nullopt;  // bare IPv6
    address.host = colon < 0 ? text : text.left(colon);
    if (colon >= 0) rest = text.mid(colon);
  }
  if (address.host.isEmpty()) return std::nullopt;
  if (!rest.isEmpty()) {
    address.port = number(rest.mid(1), lowestPort, 65535);
    if (!address.port) return std::nullopt;
  }
  return address;
}

// "--record DIR" takes DIR only when it is neither an option nor an address:
// QCommandLineParser has no optional values, so DIR moves to --record-dir.
QStringList spellRecordDirectory(const QStringList& arguments) {
  QStringList result;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument.startsWith(QLatin1String("--record="))) {
      result << QStringLiteral("--record") << QStringLiteral("--record-dir") << argument.mid(9);
    } else if (argument == QLatin1String("--record") && i + 1 < arguments.size() &&
               !arguments[i + 1].startsWith(QLatin1Char('-')) && !number(arguments[i + 1], 0, 1 << 30)) {
      result << argument << QStringLiteral("--record-dir") << arguments[++i];
    } else {
      result << argument;
    }
  }
  return result;
}

// The first line of `path`, or the reason it cannot be read. A file that
// others may read gives the password away and draws a warning.
std::variant<std::string, QString> readPasswordFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QCoreApplication::translate("rs485-cli", "cannot read %1: %2").arg(path, file.errorString());
  if ((file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) != 0) {
    std::cerr << "rs485-cli: "
              << QCoreApplication::translate(
                     "rs485-cli", "warning: the password file %1 is readable by other users; chmod 600 it")
                     .arg(path)
                     .toStdString()
              << "\n";
  }
  QByteArray line = file.readLine();
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return line.toStdString();
}

// A usage error's text, or none.
using Problem = std::optional<QString>;

Problem takePortAndOutput(const QCommandLineParser& parser, const CommandOptions& o, Invocation& invocation) {
  if (!parser.isSet(o.port)) return QCoreApplication::translate("rs485-cli", "--port is required");
  invocation.port = parser.value(o.port).toStdString();
  invocation.json = parser.isSet(o.json);
  if (parser.isSet(o.trace)) {
    // The last --trace counts, as with any option given twice.
    invocation.tracePath = QFile::encodeName(parser.values(o.trace).last()).toStdString();
    if (invocation.tracePath.empty()) return QCoreApplication::translate("rs485-cli", "--trace needs a FILE");
  }
  return std::nullopt;
}

// The command's positional arguments, every one a bus address.
std::variant<std::vector<int>, QString> takeAddresses(const QCommandLineParser& parser) {
  std::vector<int> addresses;
  for (const QString& text : parser.positionalArguments().mid(1)) {
    const auto address = number(text, kFirstBusAddress, kLastBusAddress);
    if (!address)
      return QCoreApplication::translate("rs485-cli", "'%1' is no bus address (1..247)").arg(text);
    addresses.push_back(*address);
  }
  return addresses;
}

Problem takeScanRange(const QCommandLineParser& parser, const CommandOptions& o, ScanRange& scan) {
  const auto pause = number(parser.value(o.timeout), 500, 10000);
  const auto first = number(parser.value(o.from), kFirstBusAddress, kLastBusAddress);
  const auto last = number(parser.value(o.to), kFirstBusAddress, kLastBusAddress);
  if (!pause) return QCoreApplication::translate("rs485-cli", "--timeout must be 500..10000");
  if (!first || !last || *first > *last)
    return QCoreApplication::translate("rs485-cli", "--from and --to must be 1..247, --from not above --to");
  scan = {.timeout = *pause, .from = *first, .to = *last};
  return std::nullopt;
}

Problem takeFastScan(const QCommandLineParser& parser, const CommandOptions& o, ScanRange& scan) {
  const auto window = number(parser.value(o.replyWindow), 10, 2000);
  if (!window) return QCoreApplication::translate("rs485-cli", "--reply-window must be 10..2000");
  if (parser.isSet(o.replyWindow) && !parser.isSet(o.fast))
    return QCoreApplication::translate("rs485-cli", "--reply-window needs --fast");
  scan.fast = parser.isSet(o.fast);
  scan.replyWindow = *window;
  return std::nullopt;
}

Problem takeMqtt(const QCommandLineParser& parser, const CommandOptions& o, Invocation& invocation) {
  if (!parser.isSet(o.mqtt)) {
    for (const QCommandLineOption* option : {&o.topic, &o.mqttUser, &o.mqttPasswordFile, &o.mqttCaFile}) {
      if (parser.isSet(*option))
        return QCoreApplication::translate("rs485-cli", "--%1 needs --mqtt").arg(option->names().front());
    }
    return std::nullopt;
  }
  MqttSettings settings;
  const auto broker = brokerAddress(parser.value(o.mqtt));
  if (!broker) {
    return QCoreApplication::translate("rs485-cli",
                                       "--mqtt HOST[:PORT]: a host, a port 1..65535, an IPv6 address in "
                                       "brackets ([::1]:1883)");
  }
  settings.host = broker->host.toStdString();
  settings.caFile = parser.value(o.mqttCaFile).toStdString();
  if (!settings.caFile.empty()) settings.port = kMqttTlsPort;
  if (broker->port) settings.port = *broker->port;
  settings.user = parser.value(o.mqttUser).toStdString();
  if (parser.isSet(o.mqttPasswordFile)) {
    if (settings.user.empty())
      return QCoreApplication::translate("rs485-cli", "--mqtt-password-file needs --mqtt-user");
    auto password = readPasswordFile(parser.value(o.mqttPasswordFile));
    if (const QString* reason = std::get_if<QString>(&password)) return *reason;
    settings.password = std::get<std::string>(password);
  } else if (!settings.user.empty()) {
    settings.password = qEnvironmentVariable(kMqttPasswordVariable).toStdString();
  }
  settings.statusTopic = invocation.poll.topicPrefix + "/status";
  invocation.mqtt = settings;
  return std::nullopt;
}

Problem takePoll(const QCommandLineParser& parser, const CommandOptions& o, Invocation& invocation) {
  PollSettings& poll = invocation.poll;
  poll.scan = invocation.scan;
  poll.record = parser.isSet(o.record);
  invocation.recordDirectory = parser.value(o.recordDir);
  if (!invocation.recordDirectory.isEmpty() && !poll.record)
    return QCoreApplication::translate("rs485-cli", "--record-dir needs --record");
  poll.topicPrefix = parser.value(o.topic).toStdString();
  const auto between = number(parser.value(o.interval), 200, 60000);
  if (!between) return QCoreApplication::translate("rs485-cli", "--interval must be 200..60000");
  poll.interval = *between;
  if (parser.isSet(o.seconds)) {
    const auto n = longNumber(parser.value(o.seconds), 1, kLongestPollSeconds);
    if (!n) {
      return QCoreApplication::translate("rs485-cli", "--seconds must be 1..%1 (ten years)")
          .arg(kLongestPollSeconds);
    }
    poll.seconds = *n;
  }
  return takeMqtt(parser, o, invocation);
}

Problem takeServe(const QCommandLineParser& parser, const CommandOptions& o, ServeSettings& serve) {
  const auto window = number(parser.value(o.serveReplyWindow), 10, 10000);
  if (!window) return QCoreApplication::translate("rs485-cli", "--reply-window must be 10..10000");
  serve.replyWindow = std::chrono::milliseconds(*window);
  // Port 0: any free port, told in the log (for tests).
  const auto listen = brokerAddress(parser.value(o.listen), 0);
  const QHostAddress host(listen ? listen->host : QString());
  if (!listen || host.isNull()) {
    return QCoreApplication::translate("rs485-cli",
                                       "--listen ADDR[:PORT]: an IP address, a port 1..65535, an IPv6 "
                                       "address in brackets ([::1]:4001)");
  }
  serve.address = host;
  serve.port = listen->port ? static_cast<quint16>(*listen->port) : kDefaultServePort;
  return std::nullopt;
}

// Everything after the command's name, checked as the command needs it.
Problem takeArguments(const QCommandLineParser& parser, const CommandOptions& o, Invocation& invocation) {
  if (Problem p = takePortAndOutput(parser, o, invocation)) return p;
  auto taken = takeAddresses(parser);
  if (const QString* reason = std::get_if<QString>(&taken)) return *reason;
  const std::vector<int>& addresses = std::get<std::vector<int>>(taken);
  const Command command = invocation.command;
  if (command == Command::Scan || command == Command::Poll) {
    if (Problem p = takeScanRange(parser, o, invocation.scan)) return p;
  }
  switch (command) {
    case Command::Scan:
      if (Problem p = takeFastScan(parser, o, invocation.scan)) return p;
      if (!addresses.empty()) return QCoreApplication::translate("rs485-cli", "scan takes no addresses");
      return std::nullopt;
    case Command::Read:
      if (addresses.size() != 1) return QCoreApplication::translate("rs485-cli", "read takes one address");
      invocation.address = addresses.front();
      return std::nullopt;
    case Command::SetAddress:
      if (addresses.size() != 2)
        return QCoreApplication::translate("rs485-cli", "set-address takes OLD and NEW");
      if (addresses[0] == addresses[1])
        return QCoreApplication::translate("rs485-cli", "OLD and NEW are the same");
      invocation.oldAddress = addresses[0];
      invocation.newAddress = addresses[1];
      return std::nullopt;
    case Command::Poll:
      invocation.poll.addresses = addresses;
      return takePoll(parser, o, invocation);
    case Command::Serve:
      if (!addresses.empty()) return QCoreApplication::translate("rs485-cli", "serve takes no addresses");
      return takeServe(parser, o, invocation.serve);
  }
  return std::nullopt;
}

}  // namespace

std::variant<Invocation, int> parseCommandLine(const QStringList& rawArguments) {
  const QStringList arguments = spellRecordDirectory(rawArguments);
  const CommandOptions o = declareOptions();
  QCommandLineParser parser;
  describeProgram(parser, o);

  // The first pass only finds the command; unknown options belong to it.
  parser.parse(arguments);
  const QString commandName = parser.positionalArguments().value(0);
  if (parser.isSet(o.version) && commandName.isEmpty()) {
    std::cout << "rs485-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
    return kExitOk;
  }
  if (commandName.isEmpty()) {
    if (parser.isSet(o.help)) {
      std::cout << parser.helpText().toStdString();
      return kExitOk;
    }
    return usageError(QCoreApplication::translate("rs485-cli", "no command given"), {});
  }
  const auto found = kCommands.find(commandName);
  if (found == kCommands.end())
    return usageError(QCoreApplication::translate("rs485-cli", "unknown command '%1'").arg(commandName), {});

  Invocation invocation;
  invocation.command = found->second;
  describeCommand(parser, invocation.command, commandName, o);

  for (const QString& argument : arguments) {
    if (argument == QLatin1String("--mqtt-password") ||
        argument.startsWith(QLatin1String("--mqtt-password="))) {
      return usageError(QCoreApplication::translate(
                            "rs485-cli",
                            "no password on the command line (every user of the machine can see it); "
                            "use --mqtt-password-file FILE or RS485_MQTT_PASSWORD"),
                        commandName);
    }
  }
  if (!parser.parse(arguments)) return usageError(parser.errorText(), commandName);
  if (parser.isSet(o.help)) {
    std::cout << parser.helpText().toStdString();
    return kExitOk;
  }
  if (parser.isSet(o.version)) {
    std::cout << "rs485-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
    return kExitOk;
  }
  if (const Problem problem = takeArguments(parser, o, invocation)) return usageError(*problem, commandName);
  return invocation;
}

}  // namespace rs485::cli
