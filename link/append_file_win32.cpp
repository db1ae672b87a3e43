#include <windows.h>
// The C runtime's descriptors, which UniqueFd holds on Windows too.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "link/append_file.h"
#include "link/win32_serial_port.h"

namespace rs485 {

namespace {

// The descriptor's Windows handle, for the calls the C runtime has none of.
HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

std::int64_t sizeOf(int fd) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(handleOf(fd), &size) ? size.QuadPart : -1;
}

// Space for the whole line before any of it is written, so that a full
// disk refuses the line whole. A file system that keeps no reservations
// refuses otherwise and is written to all the same.
bool reserve(int fd, std::int64_t size, std::size_t more) {
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = size + static_cast<std::int64_t>(more);
  if (SetFileInformationByHandle(handleOf(fd), FileAllocationInfo, &allocation, sizeof allocation))
    return true;
  return GetLastError() != ERROR_DISK_FULL;
}

// Cuts off the `written` bytes of a failed line, only when nothing else has
// been appended after them. A cut that fails leaves the partial line; the
// caller reports the failed append either way.
void takeBack(int fd, std::int64_t before, std::size_t written) {
  if (written > 0 && sizeOf(fd) == before + static_cast<std::int64_t>(written)) _chsize_s(fd, before);
}

}  // namespace

// `path` in UTF-8: Windows' own names are UTF-16, and every name has a UTF-8
// form, which the ANSI code page does not promise.
AppendFile::AppendFile(const std::string& path)
    : fd_(_wopen(wideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE)) {}

bool AppendFile::empty() const { return sizeOf(fd_.get()) == 0; }

bool AppendFile::append(std::span<const char> bytes) {
  const int fd = fd_.get();
  const bool regular = GetFileType(handleOf(fd)) == FILE_TYPE_DISK;
  const std::int64_t before = regular ? sizeOf(fd) : -1;
  if (before >= 0 && !reserve(fd, before, bytes.size())) return false;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const int n = _write(fd, p, static_cast<unsigned>(std::min<std::size_t>(left, INT_MAX)));
    if (n <= 0) {
      if (before >= 0) takeBack(fd, before, bytes.size() - left);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace rs485
