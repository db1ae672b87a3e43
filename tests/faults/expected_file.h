#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "tests/support/window_rig.h"

namespace rs485::test {

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file's expected bytes: what it held before, the scan's header when it
// was empty, then the rows the answers should have left.
class ExpectedFile {
 public:
  explicit ExpectedFile(int address, const QByteArray& before = {})
      : bytes_(before.isEmpty() ? toCp1251(recordingHeader(address)) : before) {}
  void row(const QDateTime& at, const RowTexts& texts) {
    bytes_ += toCp1251(recordingRow(dayMonthYear(at.date()), at.time(), texts));
    ++rows_;
  }
  // The file is gone: the next row starts a new one, without a header.
  void restart() { bytes_.clear(); }
  const QByteArray& bytes() const { return bytes_; }
  int rows() const { return rows_; }

 private:
  QByteArray bytes_;
  int rows_ = 0;
};

}  // namespace rs485::test
