#include "monitor/recording.h"

#include <QDir>
#include <QLocale>
#include <utility>

#include "devices/messages.h"
#include "monitor/append_file.h"
#include "monitor/cp1251.h"
#include "monitor/digits.h"

namespace rs485 {

namespace {

const char* const kLineEnd = "\r\n";

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

}  // namespace

QString recordingFileName(int address) {
  return QStringLiteral("ЗОР_номер - ") + QString::number(address) + QStringLiteral(".txt");
}

QString recordingHeader(int address) {
  return QStringLiteral("               Номер устройства: ") + QString::number(address) +
         QLatin1String(kLineEnd) + QStringLiteral("     Дата      Время      Шаг          Температура") +
         QLatin1String(kLineEnd);
}

QString recordingRow(const QString& date, const QTime& time, const RowTexts& texts) {
  return date + QStringLiteral("г.    ") + twoDigits(time.hour()) + QStringLiteral(":") +
         twoDigits(time.minute()) + QStringLiteral("       ") + texts.step + QStringLiteral("             ") +
         texts.temperature + QLatin1String(kLineEnd);
}

RowTexts rowTextsFromAnswer(const ReadingsResponse& answer) {
  return {recordedStepText(answer.step), recordedTemperatureText(answer.temperature)};
}

Recording::Recording(MonitorView& view, Clock clock, RecordingOptions options)
    : view_(view), clock_(std::move(clock)), options_(std::move(options)) {}

void Recording::wFileClick() {
  view_.setWFileCaption(view_.wFileCaption() == msg::recordCaption() ? msg::stopRecordingCaption()
                                                                     : msg::recordCaption());
}

bool Recording::recordingOn() const { return view_.wFileCaption() == msg::stopRecordingCaption(); }

QString Recording::filePath(int address) const {
  const QString name = recordingFileName(address);
  return options_.directory.isEmpty() ? name : QDir(options_.directory).filePath(name);
}

QString Recording::dateText(const QDate& date) const {
  return options_.formatDate ? options_.formatDate(date)
                             : QLocale::system().toString(date, QLocale::ShortFormat);
}

void Recording::prepareRecordingFile(int address) {
  AppendFile file(filePath(address));
  if (!file.isOpen()) return;
  if (file.empty()) file.append(toCp1251(recordingHeader(address)));
}

void Recording::recordReading(DeviceEntry& entry, const ReadingsResponse& answer,
                              const std::optional<RowTexts>& shown) {
  const QDateTime now = clock_();
  const RowTexts texts = shown ? *shown : rowTextsFromAnswer(answer);
  AppendFile file(filePath(entry.address));
  if (!file.isOpen()) return;
  const int minute = now.time().minute();
  if (minute == entry.recordedMinute) return;
  // A row that did not get into the file whole is tried again at the next answer.
  if (file.append(toCp1251(recordingRow(dateText(now.date()), now.time(), texts)))) {
    entry.recordedMinute = static_cast<std::uint8_t>(minute);
  }
}

}  // namespace rs485
