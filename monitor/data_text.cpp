#include "monitor/data_text.h"

#include <cstdlib>

namespace rs485 {

QByteArray decimalTenths(int tenths) {
  const int magnitude = std::abs(tenths);
  return QByteArray(tenths < 0 ? "-" : "") + QByteArray::number(magnitude / 10) + '.' +
         QByteArray::number(magnitude % 10);
}

QString isoTimeWithOffset(const QDateTime& time) {
  const int minutes = time.offsetFromUtc() / 60;
  const int magnitude = std::abs(minutes);
  return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
             .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace rs485
