#include "monitor/device_health.h"

#include <utility>

namespace rs485 {

ExchangeNotes DeviceHealth::notes(Clock now) {
  return {.outcome = [this, now = std::move(now)](const RequestOutcome& outcome) {
    // The clock is read only for an answer.
    count(outcome, outcome.kind == RequestOutcome::Kind::Answered ? now() : QDateTime());
  }};
}

void DeviceHealth::count(const RequestOutcome& outcome, const QDateTime& at) {
  Figures& f = figures_[outcome.address];
  switch (outcome.kind) {
    case RequestOutcome::Kind::Sent:
      ++f.sent;
      break;
    case RequestOutcome::Kind::Answered:
      ++f.accepted;
      f.lastAnswer = at;
      break;
    case RequestOutcome::Kind::Dropped:
      ++f.dropped;
      break;
    case RequestOutcome::Kind::Silent:
      ++f.unanswered;
      break;
    case RequestOutcome::Kind::OtherDevice:
      ++f.notAsked;
      break;
  }
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
