#include "cli/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdint>
#include <iostream>
#include <map>

#include "protocol/frames.h"

namespace rs485::cli {

namespace {

const char* const kProgramHelp = QT_TRANSLATE_NOOP(
    "rs485-cli",
    "Scans, reads, polls and records the devices of an RS-485 bus without a display.\n"
    "\n"
    "Commands:\n"
    "  scan                 list the addresses that answer (--fast: in seconds)\n"
    "  read ADDR            one readings request, decoded\n"
    "  poll [ADDR...]       ask every device in turn, once a second; record, publish\n"
    "  set-address OLD NEW  give a device a new bus address\n"
    "\n"
    "rs485-cli COMMAND --help describes each command.\n"
    "\n"
    "MQTT (poll): --mqtt HOST[:PORT] publishes every answer to PREFIX/ADDRESS (--topic, default rs485).\n"
    "--mqtt-cafile FILE talks TLS (default port 8883) and verifies the broker's certificate and host name\n"
    "against FILE; --mqtt-user NAME logs in, with the password from --mqtt-password-file FILE (first line)\n"
    "or RS485_MQTT_PASSWORD, never from an argument. PREFIX/status says \"online\" or \"offline\"\n"
    "(retained; the broker says \"offline\" itself when the client dies); PREFIX/ADDRESS/status says\n"
    "\"answering\" or \"silent\" for each device (retained).\n"
    "\n"
    "Exit status: 0 done, 1 no valid answer, 2 usage error, 3 port or broker unavailable\n"
    "(also: the broker refuses the credentials, or its certificate does not verify).\n"
    "\n"
    "Environment:\n"
    "  RS485_MQTT_PASSWORD  the password for --mqtt-user when no --mqtt-password-file is given.");

constexpr int kMqttTlsPort = 8883;
// Ten years: a recorder left running that long is still told when to end.
constexpr std::int64_t kLongestPollSeconds = std::int64_t{10} * 366 * 24 * 3600;
const char* const kMqttPasswordVariable = "RS485_MQTT_PASSWORD";

const std::map<QString, Command> kCommands = {
    {QStringLiteral("scan"), Command::Scan},
    {QStringLiteral("read"), Command::Read},
    {QStringLiteral("poll"), Command::Poll},
    {QStringLiteral("set-address"), Command::SetAddress},
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
std::optional<BrokerAddress> brokerAddress(const QString& text) {
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
    address.port = number(rest.mid(1), 1, 65535);
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

}  // namespace

std::variant<Invocation, int> parseCommandLine(const QStringList& rawArguments) {
  const QStringList arguments = spellRecordDirectory(rawArguments);
  QCommandLineParser parser;
  parser.setApplicationDescription(QCoreApplication::translate("rs485-cli", kProgramHelp));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QCoreApplication::translate("rs485-cli", "This text."));
  const QCommandLineOption version(QStringLiteral("version"),
                                   QCoreApplication::translate("rs485-cli", "The version."));
  const QCommandLineOption port(
      QStringLiteral("port"),
      QCoreApplication::translate("rs485-cli",
                                  "The port: COMn as the window names it (the n-th serial device, "
                                  "USB adapters first), COMn=PATH, or a device PATH such as "
                                  "/dev/serial/by-id/..."),
      QStringLiteral("PORT"));
  const QCommandLineOption json(QStringLiteral("json"),
                                QCoreApplication::translate("rs485-cli", "One JSON object per line."));
  const QCommandLineOption trace(
      QStringLiteral("trace"),
      QCoreApplication::translate("rs485-cli",
                                  "Append one line per frame sent or received to FILE: local "
                                  "time, TX or RX, the bytes in hex, the verdict."),
      QStringLiteral("FILE"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(port);
  parser.addOption(trace);
  parser.addOption(json);
  parser.addPositionalArgument(QStringLiteral("command"),
                               QCoreApplication::translate("rs485-cli", "scan, read, poll or set-address"));

  // The first pass only finds the command; unknown options belong to it.
  parser.parse(arguments);
  const QString commandName = parser.positionalArguments().value(0);
  if (parser.isSet(version) && commandName.isEmpty()) {
    std::cout << "rs485-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
    return kExitOk;
  }
  if (commandName.isEmpty()) {
    if (parser.isSet(help)) {
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
  parser.clearPositionalArguments();
  parser.addPositionalArgument(commandName, QCoreApplication::translate("rs485-cli", "The command."),
                               commandName);

  const QCommandLineOption timeout(
      QStringLiteral("timeout"),
      QCoreApplication::translate("rs485-cli", "Time per probed address in ms, 500..10000 (default 500)."),
      QStringLiteral("MS"), QStringLiteral("500"));
  const QCommandLineOption from(QStringLiteral("from"),
                                QCoreApplication::translate("rs485-cli", "First address probed (default 1)."),
                                QStringLiteral("A"), QStringLiteral("1"));
  const QCommandLineOption to(QStringLiteral("to"),
                              QCoreApplication::translate("rs485-cli", "Last address probed (default 247)."),
                              QStringLiteral("B"), QString::number(kLastBusAddress));
  const QCommandLineOption record(
      QStringLiteral("record"),
      QCoreApplication::translate(
          "rs485-cli",
          "Record as the window does: \"ЗОР_номер - N.txt\" per device in DIR or the working "
          "directory, cp1251, CR LF, one row per device and minute. --record DIR or --record=DIR."));
  QCommandLineOption recordDir(QStringLiteral("record-dir"),
                               QCoreApplication::translate("rs485-cli", "Folder of the files."),
                               QStringLiteral("DIR"));
  recordDir.setFlags(QCommandLineOption::HiddenFromHelp);
  const QCommandLineOption mqtt(
      QStringLiteral("mqtt"),
      QCoreApplication::translate("rs485-cli",
                                  "Also publish every accepted answer, as its JSON object, to an MQTT "
                                  "broker (QoS 1, retained); at most 1000 unsent messages are kept."),
      QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption topic(
      QStringLiteral("topic"),
      QCoreApplication::translate("rs485-cli",
                                  "Topic prefix; each device publishes to PREFIX/ADDRESS "
                                  "(default rs485)."),
      QStringLiteral("PREFIX"), QStringLiteral("rs485"));
  const QCommandLineOption mqttUser(
      QStringLiteral("mqtt-user"),
      QCoreApplication::translate("rs485-cli",
                                  "Log in to the broker as NAME. The password comes from "
                                  "--mqtt-password-file or the environment variable "
                                  "RS485_MQTT_PASSWORD, never from the command line."),
      QStringLiteral("NAME"));
  const QCommandLineOption mqttPasswordFile(
      QStringLiteral("mqtt-password-file"),
      QCoreApplication::translate(
          "rs485-cli",
          "The password is the first line of FILE (keep it chmod 600: a file others can read "
          "draws a warning)."),
      QStringLiteral("FILE"));
  const QCommandLineOption mqttCaFile(
      QStringLiteral("mqtt-cafile"),
      QCoreApplication::translate(
          "rs485-cli",
          "Talk TLS (default port then 8883) and verify the broker's certificate, host name "
          "included, against the CA certificate(s) in FILE. A certificate that does not verify "
          "ends the program with status 3; verification cannot be switched off."),
      QStringLiteral("FILE"));
  const QCommandLineOption fast(
      QStringLiteral("fast"),
      QCoreApplication::translate(
          "rs485-cli",
          "Probe the next address as soon as the last one is settled: its answer is in, or the "
          "reply window has passed without a byte (--timeout does not apply)."));
  const QCommandLineOption replyWindow(
      QStringLiteral("reply-window"),
      QCoreApplication::translate(
          "rs485-cli",
          "With --fast: how long a device has to start its answer, in ms after the probe's last "
          "byte left the port, 10..2000 (default 40). Raise it for slow devices."),
      QStringLiteral("MS"), QStringLiteral("40"));
  const QCommandLineOption interval(
      QStringLiteral("interval"),
      QCoreApplication::translate("rs485-cli",
                                  "Time between two requests in ms, 200..60000 (default "
                                  "1000); more for a slow link such as a radio modem."),
      QStringLiteral("MS"), QStringLiteral("1000"));
  const QCommandLineOption seconds(
      QStringLiteral("seconds"),
      QCoreApplication::translate("rs485-cli",
                                  "End after N seconds, ten years at most (default: at SIGINT or SIGTERM)."),
      QStringLiteral("N"));

  switch (invocation.command) {
    case Command::Scan:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Probes the addresses in ascending order, one per interval (or, with --fast, each as soon as the "
          "one before is settled), and prints one line per device found (its address, or {\"address\":N}); "
          "a summary goes to standard error. An address where bytes came but no valid acknowledgement is "
          "probed once more; when that fails too it is printed as N? (or {\"address\":N,\"unreadable\":true}"
          ") and counted as unreadable: two devices on one address, or a noisy line. Exit 0, also when "
          "nothing answered; 3 when the port stops taking writes."));
      parser.addOptions({timeout, from, to, fast, replyWindow});
      break;
    case Command::Read:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Sends one readings request and prints the answer as the window shows it (or as JSON). Exit 1 when "
          "no valid answer comes within 1 s."));
      parser.addPositionalArgument(QStringLiteral("ADDR"),
                                   QCoreApplication::translate("rs485-cli", "Bus address, 1..247."));
      break;
    case Command::Poll:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Asks every device in turn, one request per 1000 ms (--interval), as the window's poll does, "
          "except that a "
          "device that gives no valid answer within its tick is passed over until its next turn, so that "
          "one dead device does not hold the others back. Without addresses it scans first (--timeout, "
          "--from, --to). One line per accepted answer; at the end (SIGINT, SIGTERM or --seconds) one "
          "summary line per device on standard error: sent, answered, dropped, silent, late or unasked (good "
          "answers of a device that came outside its own request: they are never printed, recorded or "
          "published).\n"
          "With --mqtt the client also publishes \"online\" (retained) to PREFIX/status at every connect and "
          "\"offline\" at the end; the broker publishes \"offline\" itself (the last will) when the client "
          "dies or loses its network. PREFIX/ADDRESS/status (retained) says \"answering\" from a device's "
          "first accepted answer and \"silent\" once the poll has passed over it, each when it changes. A "
          "broker that refuses the credentials (\"not authorised\") or whose "
          "certificate does not verify ends the program with status 3."));
      parser.addPositionalArgument(QStringLiteral("ADDR..."),
                                   QCoreApplication::translate("rs485-cli", "Bus addresses, 1..247."),
                                   QStringLiteral("[ADDR...]"));
      parser.addOptions({record, recordDir, mqtt, topic, mqttUser, mqttPasswordFile, mqttCaFile, seconds,
                         interval, timeout, from, to});
      break;
    case Command::SetAddress:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Sends the address change, waits up to 2 s for the acknowledgement, then probes NEW. Exit 0 only "
          "when NEW answers, 1 otherwise, with the reason."));
      parser.addPositionalArgument(QStringLiteral("OLD"),
                                   QCoreApplication::translate("rs485-cli", "Present address, 1..247."));
      parser.addPositionalArgument(QStringLiteral("NEW"),
                                   QCoreApplication::translate("rs485-cli", "New address, 1..247, not OLD."));
      break;
  }

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
  if (parser.isSet(help)) {
    std::cout << parser.helpText().toStdString();
    return kExitOk;
  }
  if (parser.isSet(version)) {
    std::cout << "rs485-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
    return kExitOk;
  }
  if (!parser.isSet(port))
    return usageError(QCoreApplication::translate("rs485-cli", "--port is required"), commandName);
  invocation.port = parser.value(port).toStdString();
  invocation.json = parser.isSet(json);
  if (parser.isSet(trace)) {
    // The last --trace counts, as with any option given twice.
    invocation.tracePath = QFile::encodeName(parser.values(trace).last()).toStdString();
    if (invocation.tracePath.empty())
      return usageError(QCoreApplication::translate("rs485-cli", "--trace needs a FILE"), commandName);
  }

  const QStringList positional = parser.positionalArguments().mid(1);
  std::vector<int> addresses;
  for (const QString& text : positional) {
    const auto address = number(text, kFirstBusAddress, kLastBusAddress);
    if (!address)
      return usageError(QCoreApplication::translate("rs485-cli", "'%1' is no bus address (1..247)").arg(text),
                        commandName);
    addresses.push_back(*address);
  }

  if (invocation.command == Command::Scan || invocation.command == Command::Poll) {
    const auto pause = number(parser.value(timeout), 500, 10000);
    const auto first = number(parser.value(from), kFirstBusAddress, kLastBusAddress);
    const auto last = number(parser.value(to), kFirstBusAddress, kLastBusAddress);
    if (!pause)
      return usageError(QCoreApplication::translate("rs485-cli", "--timeout must be 500..10000"),
                        commandName);
    if (!first || !last || *first > *last) {
      return usageError(
          QCoreApplication::translate("rs485-cli", "--from and --to must be 1..247, --from not above --to"),
          commandName);
    }
    invocation.scan = {.timeout = *pause, .from = *first, .to = *last};
  }
  if (invocation.command == Command::Scan) {
    const auto window = number(parser.value(replyWindow), 10, 2000);
    if (!window)
      return usageError(QCoreApplication::translate("rs485-cli", "--reply-window must be 10..2000"),
                        commandName);
    if (parser.isSet(replyWindow) && !parser.isSet(fast))
      return usageError(QCoreApplication::translate("rs485-cli", "--reply-window needs --fast"), commandName);
    invocation.scan.fast = parser.isSet(fast);
    invocation.scan.replyWindow = *window;
  }

  switch (invocation.command) {
    case Command::Scan:
      if (!addresses.empty())
        return usageError(QCoreApplication::translate("rs485-cli", "scan takes no addresses"), commandName);
      break;
    case Command::Read:
      if (addresses.size() != 1)
        return usageError(QCoreApplication::translate("rs485-cli", "read takes one address"), commandName);
      invocation.address = addresses.front();
      break;
    case Command::SetAddress:
      if (addresses.size() != 2)
        return usageError(QCoreApplication::translate("rs485-cli", "set-address takes OLD and NEW"),
                          commandName);
      if (addresses[0] == addresses[1])
        return usageError(QCoreApplication::translate("rs485-cli", "OLD and NEW are the same"), commandName);
      invocation.oldAddress = addresses[0];
      invocation.newAddress = addresses[1];
      break;
    case Command::Poll: {
      invocation.poll.addresses = addresses;
      invocation.poll.scan = invocation.scan;
      invocation.poll.record = parser.isSet(record);
      invocation.recordDirectory = parser.value(recordDir);
      if (!invocation.recordDirectory.isEmpty() && !invocation.poll.record) {
        return usageError(QCoreApplication::translate("rs485-cli", "--record-dir needs --record"),
                          commandName);
      }
      invocation.poll.topicPrefix = parser.value(topic).toStdString();
      if (const auto between = number(parser.value(interval), 200, 60000)) {
        invocation.poll.interval = *between;
      } else {
        return usageError(QCoreApplication::translate("rs485-cli", "--interval must be 200..60000"),
                          commandName);
      }
      if (parser.isSet(seconds)) {
        const auto n = longNumber(parser.value(seconds), 1, kLongestPollSeconds);
        if (!n) {
          return usageError(QCoreApplication::translate("rs485-cli", "--seconds must be 1..%1 (ten years)")
                                .arg(kLongestPollSeconds),
                            commandName);
        }
        invocation.poll.seconds = *n;
      }
      if (parser.isSet(mqtt)) {
        MqttSettings settings;
        const auto broker = brokerAddress(parser.value(mqtt));
        if (!broker) {
          return usageError(
              QCoreApplication::translate("rs485-cli",
                                          "--mqtt HOST[:PORT]: a host, a port 1..65535, an IPv6 address in "
                                          "brackets ([::1]:1883)"),
              commandName);
        }
        settings.host = broker->host.toStdString();
        settings.caFile = parser.value(mqttCaFile).toStdString();
        if (!settings.caFile.empty()) settings.port = kMqttTlsPort;
        if (broker->port) settings.port = *broker->port;
        settings.user = parser.value(mqttUser).toStdString();
        if (parser.isSet(mqttPasswordFile)) {
          if (settings.user.empty())
            return usageError(
                QCoreApplication::translate("rs485-cli", "--mqtt-password-file needs --mqtt-user"),
                commandName);
          auto password = readPasswordFile(parser.value(mqttPasswordFile));
          if (const QString* reason = std::get_if<QString>(&password))
            return usageError(*reason, commandName);
          settings.password = std::get<std::string>(password);
        } else if (!settings.user.empty()) {
          settings.password = qEnvironmentVariable(kMqttPasswordVariable).toStdString();
        }
        settings.statusTopic = invocation.poll.topicPrefix + "/status";
        invocation.mqtt = settings;
      } else {
        for (const QCommandLineOption* option : {&topic, &mqttUser, &mqttPasswordFile, &mqttCaFile}) {
          if (parser.isSet(*option))
            return usageError(
                QCoreApplication::translate("rs485-cli", "--%1 needs --mqtt").arg(option->names().front()),
                commandName);
        }
      }
      break;
    }
  }
  return invocation;
}

}  // namespace rs485::cli
