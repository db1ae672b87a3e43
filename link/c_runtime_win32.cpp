#include <time.h>

#include "link/c_runtime.h"

namespace rs485 {

std::tm localTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}

// "N": not inherited. The name is in the ANSI code page, as
// QFile::encodeName gives it on Windows.
std::FILE* openForAppending(const std::string& path) { return std::fopen(path.c_str(), "abN"); }

}  // namespace rs485
