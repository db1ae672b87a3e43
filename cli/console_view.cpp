#include "cli/console_view.h"

#include "devices/messages.h"

namespace rs485::cli {

namespace {
std::array<QString, 3> digitsOf(int address) {
  const QString text = QStringLiteral("%1").arg(address, 3, 10, QLatin1Char('0'));
  return {text.mid(0, 1), text.mid(1, 1), text.mid(2, 1)};
}
}  // namespace

ConsoleView::ConsoleView() {
  readTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&readTimer_, &QTimer::timeout, this, [this] {
    if (onTick) onTick();
  });
}

void ConsoleView::setAddressEditors(int address) { addressDigits_ = digitsOf(address); }
void ConsoleView::setNewAddressEditors(int address) { newDigits_ = digitsOf(address); }

void ConsoleView::showError(const QString& text, FocusTarget /*focus*/) { lastError_ = text; }

void ConsoleView::setReadTimerInterval(int milliseconds) { readTimer_.setInterval(milliseconds / divisor_); }

void ConsoleView::setReadTimerActive(bool active) {
  if (active && !readTimer_.isActive()) readTimer_.start();
  if (!active) readTimer_.stop();
}

QString ConsoleView::cellText(DigitCell cell) const {
  const auto it = cells_.find(cell);
  return it == cells_.end() ? QStringLiteral("0") : it->second;
}

void ConsoleView::setCellText(DigitCell cell, const QString& text) { cells_[cell] = text; }

}  // namespace rs485::cli
