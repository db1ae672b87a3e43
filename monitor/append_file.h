#pragma once

#include <QByteArray>
#include <QString>

namespace rs485 {

// A recording file opened for appending only: created when missing (mode
// 0666 less the umask), never truncated but for a line of its own that got
// in only in part, closed by the destructor. Opened without waiting, so that
// a named pipe that nobody reads is skipped instead of hanging the window.
// The one place where the recording touches the file system's calls.
class AppendFile {
 public:
  explicit AppendFile(const QString& path);
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  bool empty() const;

  // Writes all bytes at the end of the file; false when they did not all
  // get there. The space is reserved first, so a full disk refuses the
  // whole line rather than leaving half of it; a line cut short all the
  // same (the file size limit, a file system without reservations) is taken
  // back, since it is written again whole at the next answer.
  bool append(const QByteArray& bytes);

 private:
  int fd_;
};

}  // namespace rs485
