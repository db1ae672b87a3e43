#include "cli/command_options.h"

#include <QCoreApplication>

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
    "  serve                let several programs use the bus at once over TCP\n"
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

}  // namespace

CommandOptions declareOptions() {
  QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                          QCoreApplication::translate("rs485-cli", "This text."));
  QCommandLineOption version(QStringLiteral("version"),
                             QCoreApplication::translate("rs485-cli", "The version."));
  QCommandLineOption port(
      QStringLiteral("port"),
      QCoreApplication::translate("rs485-cli",
                                  "The port: COMn as the window names it (the n-th serial device, "
                                  "USB adapters first), COMn=PATH, or a device PATH such as "
                                  "/dev/serial/by-id/...; a PATH tcp://HOST:PORT or rfc2217://HOST:PORT "
                                  "reaches a serial device server"),
      QStringLiteral("PORT"));
  QCommandLineOption json(QStringLiteral("json"),
                          QCoreApplication::translate("rs485-cli", "One JSON object per line."));
  QCommandLineOption trace(
      QStringLiteral("trace"),
      QCoreApplication::translate("rs485-cli",
                                  "Append one line per frame sent or received to FILE: local "
                                  "time, TX or RX, the bytes in hex, the verdict."),
      QStringLiteral("FILE"));
  QCommandLineOption timeout(
      QStringLiteral("timeout"),
      QCoreApplication::translate("rs485-cli", "Time per probed address in ms, 500..10000 (default 500)."),
      QStringLiteral("MS"), QStringLiteral("500"));
  QCommandLineOption from(QStringLiteral("from"),
                          QCoreApplication::translate("rs485-cli", "First address probed (default 1)."),
                          QStringLiteral("A"), QStringLiteral("1"));
  QCommandLineOption to(QStringLiteral("to"),
                        QCoreApplication::translate("rs485-cli", "Last address probed (default 247)."),
                        QStringLiteral("B"), QString::number(kLastBusAddress));
  QCommandLineOption record(
      QStringLiteral("record"),
      QCoreApplication::translate(
          "rs485-cli",
          "Record as the window does: \"ЗОР_номер - N.txt\" per device in DIR or the working "
          "directory, cp1251, CR LF, one row per device and minute. --record DIR or --record=DIR."));
  QCommandLineOption recordDir(QStringLiteral("record-dir"),
                               QCoreApplication::translate("rs485-cli", "Folder of the files."),
                               QStringLiteral("DIR"));
  recordDir.setFlags(QCommandLineOption::HiddenFromHelp);
  QCommandLineOption mqtt(
      QStringLiteral("mqtt"),
      QCoreApplication::translate("rs485-cli",
                                  "Also publish every accepted answer, as its JSON object, to an MQTT "
                                  "broker (QoS 1, retained); at most 1000 unsent messages are kept."),
      QStringLiteral("HOST[:PORT]"));
  QCommandLineOption topic(
      QStringLiteral("topic"),
      QCoreApplication::translate("rs485-cli",
                                  "Topic prefix; each device publishes to PREFIX/ADDRESS "
                                  "(default rs485)."),
      QStringLiteral("PREFIX"), QStringLiteral("rs485"));
  QCommandLineOption mqttUser(
      QStringLiteral("mqtt-user"),
      QCoreApplication::translate("rs485-cli",
                                  "Log in to the broker as NAME. The password comes from "
                                  "--mqtt-password-file or the environment variable "
                                  "RS485_MQTT_PASSWORD, never from the command line."),
      QStringLiteral("NAME"));
  QCommandLineOption mqttPasswordFile(
      QStringLiteral("mqtt-password-file"),
      QCoreApplication::translate(
          "rs485-cli",
          "The password is the first line of FILE (keep it chmod 600: a file others can read "
          "draws a warning)."),
      QStringLiteral("FILE"));
  QCommandLineOption mqttCaFile(
      QStringLiteral("mqtt-cafile"),
      QCoreApplication::translate(
          "rs485-cli",
          "Talk TLS (default port then 8883) and verify the broker's certificate, host name "
          "included, against the CA certificate(s) in FILE. A certificate that does not verify "
          "ends the program with status 3; verification cannot be switched off."),
      QStringLiteral("FILE"));
  QCommandLineOption fast(
      QStringLiteral("fast"),
      QCoreApplication::translate(
          "rs485-cli",
          "Probe the next address as soon as the last one is settled: its answer is in, or the "
          "reply window has passed without a byte (--timeout does not apply)."));
  QCommandLineOption replyWindow(
      QStringLiteral("reply-window"),
      QCoreApplication::translate(
          "rs485-cli",
          "With --fast: how long a device has to start its answer, in ms after the probe's last "
          "byte left the port, 10..2000 (default 40). Raise it for slow devices."),
      QStringLiteral("MS"), QStringLiteral("40"));
  QCommandLineOption interval(
      QStringLiteral("interval"),
      QCoreApplication::translate("rs485-cli",
                                  "Time between two requests in ms, 200..60000 (default "
                                  "1000); more for a slow link such as a radio modem."),
      QStringLiteral("MS"), QStringLiteral("1000"));
  QCommandLineOption seconds(
      QStringLiteral("seconds"),
      QCoreApplication::translate("rs485-cli",
                                  "End after N seconds, ten years at most (default: at SIGINT or SIGTERM)."),
      QStringLiteral("N"));

  QCommandLineOption listen(
      QStringLiteral("listen"),
      QCoreApplication::translate("rs485-cli",
                                  "The address and port to listen on (default 127.0.0.1:4001: this "
                                  "machine only). Whoever reaches it can use the bus, address changes "
                                  "included: name another address only on a trusted network."),
      QStringLiteral("ADDR[:PORT]"), QStringLiteral("127.0.0.1:4001"));
  QCommandLineOption serveReplyWindow(
      QStringLiteral("reply-window"),
      QCoreApplication::translate(
          "rs485-cli",
          "How long a device has to start its answer, in ms after the request's last byte left the "
          "port, 10..10000 (default 500); an answer begun in time gets its time on the line."),
      QStringLiteral("MS"), QStringLiteral("500"));

  return {.help = help,
          .version = version,
          .port = port,
          .json = json,
          .trace = trace,
          .timeout = timeout,
          .from = from,
          .to = to,
          .record = record,
          .recordDir = recordDir,
          .mqtt = mqtt,
          .topic = topic,
          .mqttUser = mqttUser,
          .mqttPasswordFile = mqttPasswordFile,
          .mqttCaFile = mqttCaFile,
          .fast = fast,
          .replyWindow = replyWindow,
          .interval = interval,
          .seconds = seconds,
          .listen = listen,
          .serveReplyWindow = serveReplyWindow};
}

void describeProgram(QCommandLineParser& parser, const CommandOptions& o) {
  parser.setApplicationDescription(QCoreApplication::translate("rs485-cli", kProgramHelp));
  parser.addOptions({o.help, o.version, o.port, o.trace, o.json});
  parser.addPositionalArgument(
      QStringLiteral("command"),
      QCoreApplication::translate("rs485-cli", "scan, read, poll, set-address or serve"));
}

void describeCommand(QCommandLineParser& parser, Command command, const QString& name,
                     const CommandOptions& o) {
  parser.clearPositionalArguments();
  parser.addPositionalArgument(name, QCoreApplication::translate("rs485-cli", "The command."), name);
  switch (command) {
    case Command::Scan:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Probes the addresses in ascending order, one per interval (or, with --fast, each as soon as the "
          "one before is settled), and prints one line per device found (its address, or {\"address\":N}); "
          "a summary goes to standard error. An address where bytes came but no valid acknowledgement is "
          "probed once more; when that fails too it is printed as N? (or {\"address\":N,\"unreadable\":true}"
          ") and counted as unreadable: two devices on one address, or a noisy line. Exit 0, also when "
          "nothing answered; 3 when the port stops taking writes."));
      parser.addOptions({o.timeout, o.from, o.to, o.fast, o.replyWindow});
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
      parser.addOptions({o.record, o.recordDir, o.mqtt, o.topic, o.mqttUser, o.mqttPasswordFile, o.mqttCaFile,
                         o.seconds, o.interval, o.timeout, o.from, o.to});
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
    case Command::Serve:
      parser.setApplicationDescription(QCoreApplication::translate(
          "rs485-cli",
          "Owns the bus and lets several programs use it at once: each connects as to a raw-TCP serial "
          "device server (rs485-master --port COM1=tcp://127.0.0.1:4001, rs485-cli --port "
          "tcp://127.0.0.1:4001) and writes the bus's own requests. One request at a time goes on the "
          "bus, in the order they came; each answer goes back only to the program that asked. A request "
          "without an answer in the reply window gets nothing back, as on a line, and an answer that "
          "comes later goes to no one. At most 8 programs at once; one that sends what is no request, "
          "leaves half a request for 200 ms or has more than 64 requests waiting is disconnected. Every "
          "program that comes and goes is a line on standard error; at SIGINT or SIGTERM one summary "
          "line per program (requests, answers) and the totals."));
      parser.addOptions({o.listen, o.serveReplyWindow});
      break;
  }
}

}  // namespace rs485::cli
