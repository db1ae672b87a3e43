#include "monitor/recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <cerrno>
#include <utility>

#include "devices/messages.h"
#include "monitor/cp1251.h"
#include "monitor/digits.h"

namespace rs485 {

namespace {

const char* const kLineEnd = "\r\n";

// A recording file opened for appending only: created when missing (mode
// 0666 less the umask), never truncated but for a line of its own that got
// in only in part, closed by the destructor. Opened without waiting, so that
// a named pipe that nobody reads is skipped instead of hanging the window.
class AppendFile {
 public:
  explicit AppendFile(const QString& path)
      : fd_(::open(QFile::encodeName(path).constData(),
                   O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666)) {}
  ~AppendFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }

  bool empty() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_size == 0;
  }

  // Writes all bytes at the end of the file; false when they did not all
  // get there. The space is reserved first, so a full disk refuses the
  // whole line rather than leaving half of it; a line cut short all the
  // same (the file size limit, a file system without reservations) is taken
  // back, since it is written again whole at the next answer.
  bool append(const QByteArray& bytes) {
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, st.st_size, static_cast<off_t>(bytes.size())) != 0 &&
        errno == ENOSPC) {
      return false;
    }
    const char* p = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        takeBack(st, regular, bytes.size() - static_cast<qsizetype>(left));
        return false;
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  // Cuts off the `written` bytes of a failed line, only when nothing else
  // has been appended after them.
  void takeBack(const struct stat& before, bool regular, qsizetype written) {
    struct stat now {};
    if (regular && written > 0 && ::fstat(fd_, &now) == 0 && now.st_size == before.st_size + written) {
      static_cast<void>(::ftruncate(fd_, before.st_size));
    }
  }

  int fd_;
};

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
