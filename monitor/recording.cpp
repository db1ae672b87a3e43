#include "monitor/recording.h"

#include <QDir>
#include <span>
#include <utility>

#include "devices/messages.h"
#include "link/append_file.h"
#include "monitor/cp1251.h"
#include "monitor/digits.h"
#include "monitor/recording_layout.h"

namespace rs485 {

namespace {

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

// AppendFile takes UTF-8 names: Linux stores them so, and Windows turns them
// into its UTF-16 ones (the local 8-bit form there is the ANSI code page,
// which may lack the letters of the name).
AppendFile openForAppending(const QString& path) { return AppendFile(path.toUtf8().toStdString()); }

std::span<const char> bytesOf(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

QString recordingFileName(int address) {
  return layout::fileNamePrefix() + QString::number(address) + layout::fileNameSuffix();
}

QString recordingHeader(int address) {
  return layout::headerTitle() + QString::number(address) + QLatin1String(layout::kLineEnd) +
         layout::headerColumns() + QLatin1String(layout::kLineEnd);
}

QString recordingRow(const QString& date, const QTime& time, const RowTexts& texts) {
  return date + layout::afterDate() + twoDigits(time.hour()) + layout::timeSeparator() +
         twoDigits(time.minute()) + layout::afterTime() + texts.step + layout::afterStep() +
         texts.temperature + QLatin1String(layout::kLineEnd);
}

RowTexts rowTextsFromAnswer(const ReadingsResponse& answer) {
  return {recordedStepText(answer.step), recordedTemperatureText(answer.temperature)};
}

Recording::Recording(MonitorView& view, Clock clock, RecordingOptions options)
    : view_(view),
      clock_(std::move(clock)),
      options_(std::move(options)),
      dateFormat_(RowDateFormat::fromEnvironment()) {}

void Recording::switchOn() {
  on_ = true;
  view_.setWFileCaption(msg::stopRecordingCaption());
}

void Recording::switchOff() {
  on_ = false;
  view_.setWFileCaption(msg::recordCaption());
}

QString Recording::filePath(int address) const {
  const QString name = recordingFileName(address);
  return options_.directory.isEmpty() ? name : QDir(options_.directory).filePath(name);
}

QString Recording::dateText(const QDate& date) const {
  return options_.formatDate ? options_.formatDate(date) : dateFormat_.format(date);
}

void Recording::prepareRecordingFile(int address) {
  AppendFile file = openForAppending(filePath(address));
  if (!file.isOpen()) return;
  if (file.empty()) file.append(bytesOf(toCp1251(recordingHeader(address))));
}

void Recording::recordReading(DeviceEntry& entry, const ReadingsResponse& answer,
                              const std::optional<RowTexts>& shown) {
  const QDateTime now = clock_();
  const RowTexts texts = shown ? *shown : rowTextsFromAnswer(answer);
  AppendFile file = openForAppending(filePath(entry.address));
  if (!file.isOpen()) return;
  const int minute = now.time().minute();
  if (minute == entry.recordedMinute) return;
  // A row that did not get into the file whole is tried again at the next answer.
  if (file.append(bytesOf(toCp1251(recordingRow(dateText(now.date()), now.time(), texts))))) {
    entry.recordedMinute = static_cast<std::uint8_t>(minute);
  }
}

}  // namespace rs485
