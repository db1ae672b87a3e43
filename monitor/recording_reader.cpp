#include "monitor/recording_reader.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "monitor/cp1251.h"
#include "monitor/recording_layout.h"

namespace rs485 {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value of `n` digits at `p`, or -1.
int digits(const char* p, int n) {
  int value = 0;
  for (int i = 0; i < n; ++i) {
    if (!isDigit(p[i])) return -1;
    value = value * 10 + (p[i] - '0');
  }
  return value;
}

bool startsWith(const char* begin, const char* end, const QByteArray& prefix) {
  return end - begin >= prefix.size() && QByteArrayView(begin, prefix.size()) == prefix;
}

int monthOfName(const QByteArray& word) {
  static const std::array<const char*, 12> names{"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  const QByteArray lower = word.toLower();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower.startsWith(names[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

int fullYear(const QByteArray& number) {
  const int value = number.toInt();
  return number.size() <= 2 ? 2000 + value : value;
}

}  // namespace

std::optional<QDate> parseRowDate(const QByteArray& text, const ReaderOptions& options) {
  // Numbers and words, with the separator seen first.
  std::vector<QByteArray> numbers;
  QByteArray word;
  char separator = 0;
  for (qsizetype i = 0; i < text.size();) {
    const char c = text[i];
    qsizetype j = i;
    if (isDigit(c)) {
      while (j < text.size() && isDigit(text[j])) ++j;
      if (j - i > 4) return std::nullopt;
      numbers.push_back(text.mid(i, j - i));
    } else if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
      while (j < text.size() && std::isalpha(static_cast<unsigned char>(text[j])) != 0) ++j;
      if (!word.isEmpty()) return std::nullopt;
      word = text.mid(i, j - i);
    } else {
      if (separator == 0 && c != ' ') separator = c;
      j = i + 1;
    }
    i = j;
  }
  int year = 0;
  int month = 0;
  int day = 0;
  if (!word.isEmpty()) {  // "8 Dec 2026"
    month = monthOfName(word);
    if (numbers.size() != 2 || month == 0) return std::nullopt;
    const bool yearFirst = numbers[0].size() == 4;
    day = numbers[yearFirst ? 1 : 0].toInt();
    year = fullYear(numbers[yearFirst ? 0 : 1]);
  } else {
    if (numbers.size() != 3) return std::nullopt;
    if (numbers[0].size() == 4) {  // 2026-12-08
      year = numbers[0].toInt();
      month = numbers[1].toInt();
      day = numbers[2].toInt();
    } else {
      year = fullYear(numbers[2]);
      const int first = numbers[0].toInt();
      const int second = numbers[1].toInt();
      const bool monthFirst = separator == '/' && !options.slashedDayFirst && first <= 12;
      month = monthFirst ? first : second;
      day = monthFirst ? second : first;
    }
  }
  const QDate date(year, month, day);
  if (!date.isValid()) return std::nullopt;
  return date;
}

int addressFromFileName(const QString& fileName) {
  if (!fileName.startsWith(layout::fileNamePrefix()) || !fileName.endsWith(layout::fileNameSuffix()))
    return -1;
  const QString number =
      fileName.mid(layout::fileNamePrefix().size(),
                   fileName.size() - layout::fileNamePrefix().size() - layout::fileNameSuffix().size());
  bool ok = false;
  const int address = number.toInt(&ok);
  return ok && address >= 0 && address <= 255 && number == QString::number(address) ? address : -1;
}

RecordingReader::RecordingReader(ReaderOptions options)
    : options_(options),
      title_(toCp1251(layout::headerTitle())),
      columns_(toCp1251(layout::headerColumns())),
      afterDate_(toCp1251(layout::afterDate())),
      afterTime_(toCp1251(layout::afterTime())),
      afterStep_(toCp1251(layout::afterStep())) {}

void RecordingReader::feed(const QByteArray& bytes) {
  const char* p = bytes.constData();
  const char* const end = p + bytes.size();
  while (p < end) {
    const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (newline == nullptr) {
      partial_.append(p, end - p);
      return;
    }
    if (partial_.isEmpty()) {
      line(p, newline);
    } else {
      partial_.append(p, newline - p);
      line(partial_.constData(), partial_.constData() + partial_.size());
      partial_.clear();
    }
    p = newline + 1;
  }
}

void RecordingReader::finish() {
  if (partial_.isEmpty()) return;
  line(partial_.constData(), partial_.constData() + partial_.size());
  partial_.clear();
}

void RecordingReader::line(const char* begin, const char* end) {
  if (end > begin && end[-1] == '\r') --end;
  if (begin == end) return;
  if (startsWith(begin, end, title_)) {
    const QByteArray number(begin + title_.size(), end - begin - title_.size());
    bool ok = false;
    const int address = number.toInt(&ok);
    if (ok && address >= 0 && address <= 255) {
      contents_.address = address;
      return;
    }
  } else if (end - begin == columns_.size() && startsWith(begin, end, columns_)) {
    return;
  } else if (row(begin, end)) {
    return;
  }
  ++contents_.skipped;
}

bool RecordingReader::row(const char* begin, const char* end) {
  // From the end: the temperature, the spaces, the step, the spaces, hh:mm,
  // the spaces, then the date ending in "г.    ".
  const char* p = end - layout::kTemperatureWidth;
  if (p < begin) return false;
  const char* t = p;
  if (t[3] != ',' || (t[0] != '-' && !isDigit(t[0]))) return false;
  const int whole = digits(t + 1, 2);
  const int tenths = digits(t + 4, 1);
  if (whole < 0 || tenths < 0) return false;
  int temperature = whole * 10 + tenths;
  if (t[0] == '-') {
    temperature = -temperature;
  } else {
    temperature += (t[0] - '0') * 1000;
  }
  p -= afterStep_.size();
  if (p < begin || !startsWith(p, end, afterStep_)) return false;
  const char* stepEnd = p;
  while (p > begin && isDigit(p[-1]) && stepEnd - p < 3) --p;
  if (p == stepEnd || (p > begin && isDigit(p[-1]))) return false;
  const int step = digits(p, static_cast<int>(stepEnd - p));
  p -= afterTime_.size();
  if (p < begin || !startsWith(p, end, afterTime_)) return false;
  p -= 5;
  if (p < begin || p[2] != ':') return false;
  const int hour = digits(p, 2);
  const int minute = digits(p + 3, 2);
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
  p -= afterDate_.size();
  if (p <= begin || !startsWith(p, end, afterDate_)) return false;
  const std::optional<std::int64_t> msecs = localMsecs(begin, p, hour, minute);
  if (!msecs) return false;
  contents_.rows.push_back(
      {*msecs, static_cast<std::int16_t>(temperature), static_cast<std::uint16_t>(step)});
  return true;
}

std::optional<std::int64_t> RecordingReader::localMsecs(const char* dateBegin, const char* dateEnd, int hour,
                                                        int minute) {
  if (QByteArrayView(dateBegin, dateEnd - dateBegin) != lastDateText_) {
    lastDateText_ = QByteArray(dateBegin, dateEnd - dateBegin);
    lastDate_ = parseRowDate(lastDateText_, options_);
    lastHourKey_ = -1;
  }
  if (!lastDate_) return std::nullopt;
  const std::int64_t key = lastDate_->toJulianDay() * 24 + hour;
  if (key != lastHourKey_) {
    lastHourKey_ = key;
    lastHourMsecs_ = QDateTime(*lastDate_, QTime(hour, 0)).toMSecsSinceEpoch();
  }
  return lastHourMsecs_ + std::int64_t{minute} * 60'000;
}

std::optional<RecordingContents> readRecordingFile(const QString& path, QString* error,
                                                   const ReaderOptions& options) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr) *error = file.errorString();
    return std::nullopt;
  }
  RecordingReader reader(options);
  while (true) {
    const QByteArray chunk = file.read(1 << 20);
    if (chunk.isEmpty()) break;
    reader.feed(chunk);
  }
  if (file.error() != QFileDevice::NoError) {
    if (error != nullptr) *error = file.errorString();
    return std::nullopt;
  }
  reader.finish();
  RecordingContents contents = std::move(reader.contents());
  if (contents.address < 0) contents.address = addressFromFileName(QFileInfo(path).fileName());
  return contents;
}

}  // namespace rs485
