#include "link/unique_fd.h"

#include <unistd.h>

namespace rs485 {

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace rs485
