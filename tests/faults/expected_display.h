#pragma once

// What the window should show and record for readings, worked out
// independently of the display's own code.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "monitor/digit_cells.h"
#include "monitor/recording.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/support/sample_readings.h"

namespace rs485::test {

inline QString padded(int value, int width) {
  return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

// Four cells of a temperature in tenths: "0235", "-057".
inline QString temperatureCells(int tenths) {
  return tenths < 0 ? QStringLiteral("-") + padded(-tenths, 3) : padded(tenths, 4);
}

// What the cells read, in the order of kDigitCells, once `r` has been shown.
// Only for readings that the cells can show whole.
inline QStringList cellsShowing(const ReadingsResponse& r) {
  const QString all = temperatureCells(r.temperature) + temperatureCells(r.setTemperature) +
                      padded(r.timeMinutes / 60, 2) + padded(r.timeMinutes % 60, 2) +
                      padded(r.setTimeMinutes / 60, 2) + padded(r.setTimeMinutes % 60, 2) +
                      padded(r.step, 2) + padded(r.numStep, 2) + padded(r.cycles, 3);
  QStringList cells;
  for (const QChar c : all) cells << QString(c);
  return cells;
}

inline QStringList initialCells() { return QStringList(kDigitCells.size(), QStringLiteral("0")); }

// The step and temperature of a recorded row of `r`.
inline RowTexts rowTextsOf(const ReadingsResponse& r) {
  const QString t = temperatureCells(r.temperature);
  return {padded(r.step, 2), t.left(3) + QStringLiteral(",") + t.right(1)};
}

}  // namespace rs485::test
