#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace rs485 {

// One row of a recording file, kept small: a year at a row a minute is
// half a million of them.
struct RecordedRow {
  std::int64_t msecs;        // local time of the row, since the epoch
  std::int16_t temperature;  // tenths of a degree
  std::uint16_t step;
};

struct RecordingContents {
  int address = -1;  // from the header line, or the file name; -1: unknown
  std::vector<RecordedRow> rows;
  int skipped = 0;  // lines that are neither a header nor a row
};

struct ReaderOptions {
  // A date with slashes reads month first (12/08/2026) unless the locale
  // writes day first (08/12/2026).
  bool slashedDayFirst = false;
};

// The date part of a row as written under any locale so far: the forms of
// RowDateFormat (08.12.2026, 12/08/2026, 2026-12-08), two-digit years of
// older versions (08.12.26, 12/8/26) and their C-locale form "8 Dec 2026".
std::optional<QDate> parseRowDate(const QByteArray& text, const ReaderOptions& options = {});

// The address in a file name "ЗОР_номер - 5.txt"; -1 for another name.
int addressFromFileName(const QString& fileName);

// Reads a recording file (code page 1251, CR LF or LF) piece by piece, as
// it grows: each feed() takes the bytes appended since the last one and adds
// the rows of the lines they complete.
class RecordingReader {
 public:
  explicit RecordingReader(ReaderOptions options = {});

  // Adds the rows of the complete lines; a line without its end waits for
  // the next feed, or for finish().
  void feed(const QByteArray& bytes);
  // Takes a last line that has no line end.
  void finish();

  RecordingContents& contents() { return contents_; }
  const RecordingContents& contents() const { return contents_; }

 private:
  void line(const char* begin, const char* end);
  bool row(const char* begin, const char* end);
  std::optional<std::int64_t> localMsecs(const char* dateBegin, const char* dateEnd, int hour, int minute);

  ReaderOptions options_;
  RecordingContents contents_;
  QByteArray partial_;
  QByteArray title_, columns_, afterDate_, afterTime_, afterStep_;
  // Consecutive rows share their date and hour: both conversions are cached.
  QByteArray lastDateText_;
  std::optional<QDate> lastDate_;
  std::int64_t lastHourKey_ = -1;
  std::int64_t lastHourMsecs_ = 0;
};

// The whole file at `path`; nullopt with `error` set when it cannot be read.
std::optional<RecordingContents> readRecordingFile(const QString& path, QString* error = nullptr,
                                                   const ReaderOptions& options = {});

}  // namespace rs485
