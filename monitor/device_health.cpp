#include "monitor/device_health.h"

namespace rs485 {

void DeviceHealth::count(const BusReply& reply, const QDateTime& at) {
  Figures& f = figures_[reply.address()];
  switch (reply.kind) {
    case BusReply::Kind::Answered:
      ++f.accepted;
      f.lastAnswer = at;
      break;
    case BusReply::Kind::Dropped:
      break;
    case BusReply::Kind::Silent:
    case BusReply::Kind::NotSent:
      ++f.unanswered;
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
