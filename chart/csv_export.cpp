#include "chart/csv_export.h"

#include <QDateTime>

#include "monitor/data_text.h"

namespace rs485::chart {

QByteArray isoLocalTime(std::int64_t msecs) {
  return isoTimeWithOffset(QDateTime::fromMSecsSinceEpoch(msecs)).toLatin1();
}

QByteArray csvOf(const ChartData& data, CsvForm form) {
  const bool excel = form == CsvForm::Excel;
  const char separator = excel ? ';' : ',';
  const QByteArray end = excel ? "\r\n" : "\n";
  QByteArray out = excel ? QStringLiteral("\uFEFFУстройство;Время;Шаг;Температура, °C").toUtf8()
                         : QByteArray("device,time,step,temperature");
  out += end;
  for (const auto& trace : data.traces()) {
    const QByteArray device = trace->address >= 0 ? QByteArray::number(trace->address) : QByteArray();
    out.reserve(out.size() + static_cast<qsizetype>(trace->rows.size()) * 48);
    for (const RecordedRow& row : trace->rows) {
      QByteArray degrees = decimalTenths(row.temperature);
      if (excel) degrees.replace('.', ',');
      const QByteArray time = excel ? QDateTime::fromMSecsSinceEpoch(row.msecs)
                                          .toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                                          .toLatin1()
                                    : isoLocalTime(row.msecs);
      out += device + separator + time + separator + QByteArray::number(row.step) + separator + degrees + end;
    }
  }
  return out;
}

}  // namespace rs485::chart
