#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <variant>

#include "devices/messages.h"
#include "link/port_names.h"
#include "ui/attention.h"
#include "ui/head_form.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartFailed = 1;

const char* const kUsage =
    "usage: rs485-master [--port COMn=PATH]...\n"
    "  --port COMn=PATH  the port name COMn opens PATH (a serial device or a\n"
    "                    pseudo-terminal); may be given for several names\n"
    "  --help            this text\n"
    "Without --port, COMn is the n-th serial device present when the port opens:\n"
    "USB adapters (ttyUSB*, ttyACM*) first, then on-board ttyS* ports.\n";

// Returns the mapping, or the exit status when the program should end now.
std::variant<std::map<std::string, std::string>, int> parseArguments(const QStringList& arguments) {
  std::map<std::string, std::string> overrides;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      std::cout << kUsage;
      return 0;
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
  return overrides;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  auto parsed = parseArguments(QApplication::arguments());
  if (const int* status = std::get_if<int>(&parsed)) return *status;

  try {
    rs485::THeadForm window{rs485::PortNames(std::get<0>(std::move(parsed)))};
    window.show();
    rs485::TAttention attention(&window);
    window.setConfirmDialog(&attention);
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, rs485::msg::errorCaption(), QString::fromUtf8(error.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, rs485::msg::errorCaption(), QString());
  }
  // A failed start is a failure, whatever the old program reported.
  return kStartFailed;
}
