#include "monitor/device_health.h"

#include <utility>

namespace rs485 {

ExchangeNotes DeviceHealth::notes(Clock now) {
  return {
      .requestSent = [this](int address) { requestSent(address); },
      .answerDropped = [this] { answerDropped(); },
      .answerAccepted = [this, now = std::move(now)] { answerAccepted(now()); },
      .answerNotAsked = [this](int address) { answerNotAsked(address); },
  };
}

void DeviceHealth::reset() {
  figures_.clear();
  asked_ = 0;
  settled_ = true;
}

void DeviceHealth::requestSent(int address) {
  settle();
  asked_ = address;
  settled_ = false;
  ++figures_[address].sent;
}

void DeviceHealth::answerAccepted(const QDateTime& at) {
  if (asked_ == 0) return;
  Figures& f = figures_[asked_];
  ++f.accepted;
  f.lastAnswer = at;
  settled_ = true;
}

void DeviceHealth::answerDropped() {
  if (asked_ == 0 || settled_) return;  // stray bytes after a settled request are no answer
  ++figures_[asked_].dropped;
  settled_ = true;
}

void DeviceHealth::answerNotAsked(int address) { ++figures_[address].notAsked; }

void DeviceHealth::settle() {
  if (!settled_) ++figures_[asked_].unanswered;
  settled_ = true;
}

DeviceHealth::Figures DeviceHealth::figures(int address) const {
  const auto it = figures_.find(address);
  return it == figures_.end() ? Figures{} : it->second;
}

QString DeviceHealth::toolTip(int address) const {
  const Figures f = figures(address);
  const QString last = f.lastAnswer.isValid()
                           ? QStringLiteral("Последний ответ: %1")
                                 .arg(f.lastAnswer.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
                           : QStringLiteral("Ещё не отвечал");
  return QStringLiteral(
             "Запросов отправлено: %1\nОтветов принято: %2\nОтветов отброшено (ошибка CRC, неверная длина): "
             "%3\n"
             "Запросов без ответа: %4\nОтветов не в свой черёд (поздних, без запроса): %5\n%6")
      .arg(f.sent)
      .arg(f.accepted)
      .arg(f.dropped)
      .arg(f.unanswered)
      .arg(f.notAsked)
      .arg(last);
}

}  // namespace rs485
