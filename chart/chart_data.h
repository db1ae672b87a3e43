#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/file_identity.h"
#include "monitor/recording_reader.h"

namespace rs485::chart {

// One recording file as it grows.
struct Trace {
  QString path;
  int address = -1;
  std::vector<RecordedRow> rows;  // in time order
  int skipped = 0;
  // Rows further apart than this are an outage: the curve breaks there.
  std::int64_t gapMsecs = 0;
  // What has been read so far: the reader holds a line still without its end.
  std::int64_t readBytes = 0;
  std::unique_ptr<RecordingReader> reader;
  // The file read; another one under the same name is read from its start.
  std::optional<FileIdentity> identity;

  // "Address 5" (in Russian "Адрес 5"), or the file name when it names no address.
  QString label() const;
};

// The files shown, read at once and then followed while they grow: a
// watcher reports changes, and a timer every second looks again, since
// watchers miss writes over network file systems and into re-created files.
class ChartData : public QObject {
  Q_OBJECT
 public:
  explicit ChartData(ReaderOptions options = {}, QObject* parent = nullptr);

  // Reads the file and follows it; false with `error` set when it cannot be read.
  bool open(const QString& path, QString* error);
  const std::vector<std::unique_ptr<Trace>>& traces() const { return traces_; }
  int skipped() const;
  std::size_t rowCount() const;
  // The time span of all rows; empty when there are none.
  bool span(std::int64_t* first, std::int64_t* last) const;

 public slots:
  // Reads what was appended to each file since the last look.
  void refresh();

 signals:
  // New rows (or a file added, or re-read after it was replaced).
  void changed();

 private:
  bool readMore(Trace& trace, QString* error);

  ReaderOptions options_;
  std::vector<std::unique_ptr<Trace>> traces_;
  QFileSystemWatcher watcher_;
  QTimer poll_;
};

// A typical spacing: the median of the steps between rows.
std::int64_t gapThreshold(const std::vector<RecordedRow>& rows);

enum class Value { Temperature, Step };

// The points to draw of rows within [from, to] on `columns` pixel columns:
// all rows when they are few, else the least and the greatest value of each
// column in time order; a new segment wherever rows are missing for longer
// than `gapMsecs` and the outage is wider than one column. Also one row on
// each side of the range, so the curve runs to the edges. x: msecs since
// the epoch; y: degrees or the step.
std::vector<std::vector<QPointF>> plotSegments(const std::vector<RecordedRow>& rows, std::int64_t from,
                                               std::int64_t to, int columns, std::int64_t gapMsecs,
                                               Value value);

double valueOf(const RecordedRow& row, Value value);

}  // namespace rs485::chart
