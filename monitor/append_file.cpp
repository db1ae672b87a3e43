#include "monitor/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace rs485 {

namespace {

// Cuts off the `written` bytes of a failed line, only when nothing else has
// been appended after them.
void takeBack(int fd, const struct stat& before, bool regular, qsizetype written) {
  struct stat now {};
  if (regular && written > 0 && ::fstat(fd, &now) == 0 && now.st_size == before.st_size + written) {
    static_cast<void>(::ftruncate(fd, before.st_size));
  }
}

}  // namespace

AppendFile::AppendFile(const QString& path)
    : fd_(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC,
                 0666)) {}

AppendFile::~AppendFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool AppendFile::empty() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 && st.st_size == 0;
}

bool AppendFile::append(const QByteArray& bytes) {
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
      takeBack(fd_, st, regular, bytes.size() - static_cast<qsizetype>(left));
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace rs485
