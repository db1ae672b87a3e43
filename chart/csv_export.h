#pragma once

#include <QByteArray>
#include <cstdint>

#include "chart/chart_data.h"

namespace rs485::chart {

// "2026-12-08T01:27:00+01:00": local time with its offset from UTC.
QByteArray isoLocalTime(std::int64_t msecs);
// Tenths of a degree as a decimal with a point: -5 gives -0.5.
QByteArray decimalTenths(int tenths);

// The rows of every file, file after file, as UTF-8 CSV with the header
// "device,time,step,temperature"; the device column is empty for a file
// that names no address.
QByteArray csvOf(const ChartData& data);

}  // namespace rs485::chart
