#include "cli/console_view.h"

#include "devices/messages.h"

namespace rs485::cli {

namespace {
std::array<QString, 3> digitsOf(int address) {
  const QString text = QStringLiteral("%1").arg(address, 3, 10, QLatin1Char('0'));
  return {text.mid(0, 1), text.mid(1, 1), text.mid(2, 1)};
}
}  // namespace

ConsoleView::ConsoleView(const DeviceState& state) : state_(state) {
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

QString ConsoleView::cell(int address, DigitCell cell) const {
  const auto device = cells_.find(address);
  if (device == cells_.end()) return QStringLiteral("0");
  const auto it = device->second.find(cell);
  return it == device->second.end() ? QStringLiteral("0") : it->second;
}

QString ConsoleView::cellText(DigitCell cell) const { return this->cell(state_.SelectedAddress, cell); }

void ConsoleView::setCellText(DigitCell cell, const QString& text) {
  cells_[state_.SelectedAddress][cell] = text;
}

}  // namespace rs485::cli
