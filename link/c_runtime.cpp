#include "link/c_runtime.h"

#include <time.h>

namespace rs485 {

std::tm localTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

// "e": O_CLOEXEC.
std::FILE* openForAppending(const std::string& path) { return std::fopen(path.c_str(), "ae"); }

}  // namespace rs485
