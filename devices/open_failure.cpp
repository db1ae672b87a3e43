#include "devices/open_failure.h"

#include <QCoreApplication>

#include "link/processes.h"

namespace rs485 {

QString openFailureText(OpenError error, int systemError, bool brlttyRunning) {
  QString text = QCoreApplication::translate("rs485::OpenError", describe(error).c_str());
  if (systemError != 0)
    text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(systemErrorText(systemError).c_str()));
  // Ubuntu's braille service claims CH340 and CP210x adapters as they are
  // plugged in, and their node vanishes again.
  if (error == OpenError::NotFound && brlttyRunning) {
    text += QCoreApplication::translate(
        "rs485::OpenError",
        "; brltty (the braille display service) is running and may have claimed the adapter: stop it with "
        "'sudo systemctl stop brltty-udev.service brltty.service', or remove it with 'sudo apt remove "
        "brltty', then plug the adapter in again");
  }
  return text;
}

QString openFailureText(const PortSession& session) {
  const OpenError error = session.lastError();
  return openFailureText(error, session.lastErrno(),
                         error == OpenError::NotFound && processRunning("brltty"));
}

}  // namespace rs485
