#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWindow>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "devices/messages.h"
#include "link/port_names.h"
#include "link/traffic_trace.h"
#include "ui/attention.h"
#include "ui/head_form.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartFailed = 1;

const char* const kUsage =
    "usage: rs485-master [--port COMn=PATH]... [--trace FILE]\n"
    "  --port COMn=PATH  the port name COMn opens PATH (a serial device or a\n"
    "                    pseudo-terminal); may be given for several names\n"
    "  --trace FILE      append one line per frame sent or received to FILE:\n"
    "                    local time, TX or RX, the bytes in hex, the verdict\n"
    "  --help            this text\n"
    "Without --port, COMn is the n-th serial device present when the port opens:\n"
    "USB adapters (ttyUSB*, ttyACM*) first, then on-board ttyS* ports.\n";

struct Options {
  std::map<std::string, std::string> overrides;
  std::optional<std::string> tracePath;
};

// Returns the options, or the exit status when the program should end now.
std::variant<Options, int> parseArguments(const QStringList& arguments) {
  Options options;
  std::map<std::string, std::string>& overrides = options.overrides;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      std::cout << kUsage;
      return 0;
    }
    if (argument == QLatin1String("--trace") || argument.startsWith(QLatin1String("--trace="))) {
      QString path;
      if (argument != QLatin1String("--trace")) {
        path = argument.mid(8);
      } else if (++i < arguments.size()) {
        path = arguments[i];
      }
      if (path.isEmpty()) {
        std::cerr << "rs485-master: --trace needs a FILE\n" << kUsage;
        return kUsageError;
      }
      options.tracePath = QFile::encodeName(path).toStdString();
      continue;
    }
    QString value;
    if (argument == QLatin1String("--port")) {
      if (++i == arguments.size()) {
        std::cerr << "rs485-master: --port needs COMn=PATH\n" << kUsage;
        return kUsageError;
      }
      value = arguments[i];
    } else if (argument.startsWith(QLatin1String("--port="))) {
      value = argument.mid(7);
    } else {
      std::cerr << "rs485-master: unknown argument '" << argument.toStdString() << "'\n" << kUsage;
      return kUsageError;
    }
    const auto mapping = rs485::PortNames::parseOption(value.toStdString());
    if (!mapping) {
      std::cerr << "rs485-master: --port '" << value.toStdString() << "' is not COMn=PATH\n";
      return kUsageError;
    }
    overrides[mapping->first] = mapping->second;
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
  QApplication application(argc, argv);
  auto parsed = parseArguments(QApplication::arguments());
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  Options& options = std::get<Options>(parsed);

  std::shared_ptr<rs485::TrafficTrace> trace;
  if (options.tracePath) {
    std::string error;
    trace = rs485::TrafficTrace::appendToFile(*options.tracePath, error);
    if (!trace) {
      std::cerr << "rs485-master: cannot open the trace file '" << *options.tracePath << "': " << error
                << "\n";
      return kUsageError;
    }
  }

  try {
    rs485::THeadForm window{rs485::PortNames(std::move(options.overrides))};
    window.exchange().setTrace(trace);
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
