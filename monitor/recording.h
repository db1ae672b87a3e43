#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

#include "devices/clock.h"
#include "devices/found_devices.h"
#include "monitor/monitor_view.h"
#include "monitor/row_date.h"
#include "protocol/readings.h"

namespace rs485 {

// The step and the temperature as a row shows them.
struct RowTexts {
  QString step;         // "03", or three digits for 100..255 of a device not displayed
  QString temperature;  // "023,5"
};

struct RecordingOptions {
  // Folder of the files; empty: the process's current working directory.
  QString directory;
  // The row's date; empty: the user's date format as RowDateFormat reads it.
  std::function<QString(const QDate&)> formatDate;
};

// "ЗОР_номер - 5.txt". On Linux the name is stored in the file system's
// encoding (UTF-8); only the contents are in code page 1251.
QString recordingFileName(int address);

// Both header lines, CR LF after each, still in Unicode.
QString recordingHeader(int address);
// One row with its line end: date, "г.    ", hh:mm, the step, the temperature.
QString recordingRow(const QString& date, const QTime& time, const RowTexts& texts);

// The texts of a row taken from the answer itself, for a device whose
// cells do not show it.
RowTexts rowTextsFromAnswer(const ReadingsResponse& answer);

// One text file per device, with one row per device and minute while `wFile`
// is ticked. Every header and row opens the file for appending, writes and
// closes it again; the file is never truncated, and a file that cannot be
// opened is skipped without a message.
class Recording {
 public:
  Recording(MonitorView& view, Clock clock, RecordingOptions options = {});

  // On: every polled device gets its row each minute, and `wFile` offers
  // "Остановить запись"; off: "Записать в файл".
  void switchOn();
  void switchOff();
  bool recordingOn() const { return on_; }

  // Called by the scan for each find: creates the file when missing and
  // writes the header into an empty one.
  void prepareRecordingFile(int address);

  // Appends the row of `entry` when the minute has changed since its last
  // row. `shown`: the texts of the cells for the displayed device; without
  // them the texts come from the answer.
  void recordReading(DeviceEntry& entry, const ReadingsResponse& answer,
                     const std::optional<RowTexts>& shown);

  void setOptions(RecordingOptions options) { options_ = std::move(options); }

  // Where the file of `address` lies.
  QString filePath(int address) const;

 private:
  QString dateText(const QDate& date) const;

  MonitorView& view_;
  Clock clock_;
  RecordingOptions options_;
  RowDateFormat dateFormat_;
  bool on_ = false;
};

}  // namespace rs485
