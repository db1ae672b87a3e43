#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace rs485 {

// The texts of a reading for other programs (the command line's JSON, the
// chart's CSV), the same whatever the locale; the window's own digits are
// made in digits.h.

// Tenths of a degree as a decimal with a point: -5 gives -0.5.
QByteArray decimalTenths(int tenths);

// "2026-12-08T01:27:00+03:00": the time in its own zone, with the offset from UTC.
QString isoTimeWithOffset(const QDateTime& time);

}  // namespace rs485
