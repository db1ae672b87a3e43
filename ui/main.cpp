#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <variant>

#include "devices/messages.h"
#include "i18n/catalogue.h"
#include "link/parent_console.h"
#include "link/port_names.h"
#include "link/traffic_trace.h"
#include "ui/attention.h"
#include "ui/head_form.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartFailed = 1;

struct Options {
  std::map<std::string, std::string> overrides;
  std::shared_ptr<rs485::TrafficTrace> trace;
};

int usageError(const QString& message) {
  std::cerr << "rs485-master: " << message.toStdString() << '\n'
            << QCoreApplication::translate("rs485-master", "Try 'rs485-master --help'.").toStdString()
            << '\n';
  return kUsageError;
}

// Reads the command line with a core application only, so that --help,
// --version and a mistake need no display. Returns the options, or the exit
// status when the program should end now.
std::variant<Options, int> parseArguments(int argc, char* argv[]) {
  QCoreApplication core(argc, argv);
  rs485::i18n::installCatalogue();
  QCommandLineParser parser;
  parser.setApplicationDescription(QCoreApplication::translate(
      "rs485-master",
      "Services controllers on an RS-485 bus through a serial port: scans the bus\n"
      "addresses 1..247, gives a device a new address, polls the readings of every\n"
      "found device and records them to one text file per device.\n"
      "The port list offers COM1..COM5. Without --port, COMn is the n-th serial\n"
      "device present when the port opens: USB adapters (ttyUSB*, ttyACM*) first,\n"
      "then on-board ttyS* ports."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QCoreApplication::translate("rs485-master", "Show this help and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QCoreApplication::translate("rs485-master", "Show the version and exit."));
  const QCommandLineOption port(
      QStringLiteral("port"),
      QCoreApplication::translate("rs485-master",
                                  "The port name COMn (COM1..COM5) opens PATH, a serial device or "
                                  "a pseudo-terminal, or a serial device server at tcp://HOST:PORT or "
                                  "rfc2217://HOST:PORT; may be given for several names."),
      QStringLiteral("COMn=PATH"));
  const QCommandLineOption trace(
      QStringLiteral("trace"),
      QCoreApplication::translate("rs485-master",
                                  "Append one line per frame sent or received to FILE: "
                                  "local time, TX or RX, the bytes in hex, the verdict."),
      QCoreApplication::translate("rs485-master", "FILE"));
  parser.addOptions({help, version, port, trace});

  if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
  if (parser.isSet(help)) {
    std::cout << parser.helpText().toStdString();
    return 0;
  }
  if (parser.isSet(version)) {
    std::cout << "rs485-master " << RS485_VERSION << '\n';
    return 0;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return usageError(QCoreApplication::translate("rs485-master", "unexpected argument '%1'")
                          .arg(parser.positionalArguments().first()));
  }

  Options options;
  for (const QString& value : parser.values(port)) {
    const auto mapping = rs485::PortNames::parseOption(value.toStdString());
    if (!mapping)
      return usageError(
          QCoreApplication::translate("rs485-master", "--port '%1' is not COMn=PATH").arg(value));
    if (std::find(rs485::kPortNames.begin(), rs485::kPortNames.end(), mapping->first) ==
        rs485::kPortNames.end()) {
      return usageError(
          QCoreApplication::translate("rs485-master", "--port '%1': the port names are COM1..COM5")
              .arg(value));
    }
    options.overrides[mapping->first] = mapping->second;
  }
  if (parser.isSet(trace)) {
    // The last --trace counts, as with any option given twice.
    const QString path = parser.values(trace).last();
    if (path.isEmpty())
      return usageError(QCoreApplication::translate("rs485-master", "--trace needs a FILE"));
    const std::string name = QFile::encodeName(path).toStdString();
    std::string error;
    options.trace = rs485::TrafficTrace::appendToFile(name, error);
    if (!options.trace) {
      std::cerr << "rs485-master: "
                << QCoreApplication::translate("rs485-master", "cannot open the trace file '%1': %2")
                       .arg(path, QString::fromLocal8Bit(error.c_str()))
                       .toStdString()
                << "\n";
      return kUsageError;
    }
  }
  return options;
}

// With RS485_EXIT_WHEN_SHOWN set (bench/startup uses it), the program prints
// "shown" once its main window is first exposed, and quits.
class ExitWhenShown : public QObject {
 public:
  ExitWhenShown() {
    if (qEnvironmentVariableIsSet("RS485_EXIT_WHEN_SHOWN"))
      QCoreApplication::instance()->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto* window = qobject_cast<QWindow*>(watched);
    if (event->type() == QEvent::Expose && window != nullptr && window->isExposed()) {
      QCoreApplication::instance()->removeEventFilter(this);
      QTimer::singleShot(0, [] {
        std::cout << "shown" << std::endl;
        QCoreApplication::quit();
      });
    }
    return false;
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  rs485::useParentConsole();
  auto parsed = parseArguments(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  Options& options = std::get<Options>(parsed);

  QApplication application(argc, argv);
  // For the reasons written to standard error; the window's texts are its own.
  rs485::i18n::installCatalogue();

  try {
    rs485::THeadForm window{rs485::PortNames(std::move(options.overrides))};
    window.exchange().setTrace(options.trace);
    ExitWhenShown exitWhenShown;
    window.show();
    rs485::TAttention attention(&window);
    window.setConfirmDialog(&attention);
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, rs485::msg::errorCaption(), QString::fromUtf8(error.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, rs485::msg::errorCaption(), QString());
  }
  // A start that failed ends with a failure status, so that scripts see it.
  return kStartFailed;
}
