#pragma once

#include <span>
#include <string>

#include "link/unique_fd.h"

namespace rs485 {

// A file opened for appending only: created when missing (mode 0666 less the
// umask), never truncated but for a line of its own that got in only in part,
// closed by the destructor. Opened without waiting, so that a named pipe that
// nobody reads is skipped instead of hanging the caller. The recording's one
// door to the file system's calls.
class AppendFile {
 public:
  // `path` in UTF-8, the encoding of Linux file names; Windows gets its
  // UTF-16 name from it.
  explicit AppendFile(const std::string& path);

  bool isOpen() const { return fd_.valid(); }
  bool empty() const;

  // Writes all bytes at the end of the file; false when they did not all
  // get there. The space is reserved first, so a full disk refuses the
  // whole line rather than leaving half of it; a line cut short all the
  // same (the file size limit, a file system without reservations) is taken
  // back, since it is written again whole at the next answer.
  bool append(std::span<const char> bytes);

 private:
  UniqueFd fd_;
};

}  // namespace rs485
