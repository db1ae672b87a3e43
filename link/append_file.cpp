#include "link/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rs485 {

namespace {

// Cuts off the `written` bytes of a failed line, only when nothing else has
// been appended after them.
void takeBack(int fd, const struct stat& before, bool regular, std::size_t written) {
  struct stat now {};
  if (regular && written > 0 && ::fstat(fd, &now) == 0 &&
      now.st_size == before.st_size + static_cast<off_t>(written)) {
    // A cut that fails leaves the partial line; the caller reports the failed
    // append either way, so there is nothing more to do.
    if (::ftruncate(fd, before.st_size) != 0) return;
  }
}

}  // namespace

AppendFile::AppendFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666)) {}

bool AppendFile::empty() const {
  struct stat st {};
  return ::fstat(fd_.get(), &st) == 0 && st.st_size == 0;
}

bool AppendFile::append(std::span<const char> bytes) {
  const int fd = fd_.get();
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, st.st_size, static_cast<off_t>(bytes.size())) != 0 &&
      errno == ENOSPC) {
    return false;
  }
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      takeBack(fd, st, regular, bytes.size() - left);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace rs485
