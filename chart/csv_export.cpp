#include "chart/csv_export.h"

#include <QDateTime>
#include <cstdlib>

namespace rs485::chart {

QByteArray isoLocalTime(std::int64_t msecs) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs);
  const int offset = local.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + (offset < 0 ? '-' : '+') +
         QStringLiteral("%1:%2")
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'))
             .toLatin1();
}

QByteArray decimalTenths(int tenths) {
  const int magnitude = std::abs(tenths);
  return (tenths < 0 ? QByteArray("-") : QByteArray()) + QByteArray::number(magnitude / 10) + '.' +
         QByteArray::number(magnitude % 10);
}

QByteArray csvOf(const ChartData& data) {
  QByteArray out("device,time,step,temperature\n");
  for (const auto& trace : data.traces()) {
    const QByteArray device = trace->address >= 0 ? QByteArray::number(trace->address) : QByteArray();
    out.reserve(out.size() + static_cast<qsizetype>(trace->rows.size()) * 48);
    for (const RecordedRow& row : trace->rows) {
      out += device + ',' + isoLocalTime(row.msecs) + ',' + QByteArray::number(row.step) + ',' +
             decimalTenths(row.temperature) + '\n';
    }
  }
  return out;
}

}  // namespace rs485::chart
