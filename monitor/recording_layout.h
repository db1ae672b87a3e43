#pragma once

#include <QString>

namespace rs485::layout {

// The texts of a recording file around its values, shared by the writer and
// the reader. A row: date, kAfterDate, hh, kTimeSeparator, mm, kAfterTime,
// step (2 or 3 digits), kAfterStep, temperature (kTemperatureWidth), kLineEnd.
inline QString fileNamePrefix() { return QStringLiteral("ЗОР_номер - "); }
inline QString fileNameSuffix() { return QStringLiteral(".txt"); }
inline QString headerTitle() { return QStringLiteral("               Номер устройства: "); }
inline QString headerColumns() {
  return QStringLiteral("     Дата      Время      Шаг          Температура");
}
inline QString afterDate() { return QStringLiteral("г.    "); }
inline QString timeSeparator() { return QStringLiteral(":"); }
inline QString afterTime() { return QStringLiteral("       "); }
inline QString afterStep() { return QStringLiteral("             "); }
inline constexpr int kTemperatureWidth = 5;
inline constexpr char kLineEnd[] = "\r\n";

}  // namespace rs485::layout
