#include "monitor/no_window.h"

namespace rs485 {

NoWindow::NoWindow(int timeDivisor) : divisor_(timeDivisor < 1 ? 1 : timeDivisor) {
  readTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&readTimer_, &QTimer::timeout, this, [this] {
    if (onTick) onTick();
  });
}

void NoWindow::showError(const QString& text, FocusTarget /*focus*/) {
  if (onRefusal) onRefusal(text);
}

void NoWindow::setReadTimerInterval(int milliseconds) { readTimer_.setInterval(milliseconds / divisor_); }

// Switching on a running timer leaves its period undisturbed, as the window's.
void NoWindow::setReadTimerActive(bool active) {
  if (active && !readTimer_.isActive()) readTimer_.start();
  if (!active) readTimer_.stop();
}

}  // namespace rs485
