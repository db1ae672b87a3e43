#pragma once

#include <QByteArray>
#include <cstdint>

#include "chart/chart_data.h"

namespace rs485::chart {

// "2026-12-08T01:27:00+01:00": local time with its offset from UTC.
QByteArray isoLocalTime(std::int64_t msecs);

enum class CsvForm {
  // For scripts: UTF-8, commas, a decimal point, ISO times with their
  // offset, the header "device,time,step,temperature", LF line ends.
  Plain,
  // What Excel under a Russian locale opens as a table without asking: a
  // UTF-8 byte-order mark, semicolons, a decimal comma, times as
  // "08.12.2026 01:27" (taken for dates), a Russian header, CR LF.
  Excel,
};

// The rows of every file, file after file; the device column is empty for
// a file that names no address.
QByteArray csvOf(const ChartData& data, CsvForm form = CsvForm::Plain);

}  // namespace rs485::chart
