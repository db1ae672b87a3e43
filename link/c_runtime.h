#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace rs485 {

// The C library's calls whose names or flags differ between the platforms.

// The local time of `t`, the thread-safe way.
std::tm localTime(std::time_t t);
// Opens `path` (in the encoding of the C library's narrow names) for
// appending, not inherited by child processes. Null with errno set on failure.
std::FILE* openForAppending(const std::string& path);

}  // namespace rs485
