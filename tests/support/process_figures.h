#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace rs485::test {

// What this process holds and has spent, read from /proc/self and
// getrusage: for tests that check nothing is left behind and for bench
// programs that print the figures.

namespace detail {
// Calls `visit` with every entry of a /proc/self directory; how many there were.
template <class Visit>
int forEachEntry(const char* directory, Visit visit) {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(directory, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    visit(*it);
    ++count;
  }
  return count;
}

inline double cpuMillis(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}
}  // namespace detail

inline int threadCount() {
  return detail::forEachEntry("/proc/self/task", [](const auto&) {});
}

// Open descriptors, less the one the listing itself holds.
inline int descriptorCount() {
  return detail::forEachEntry("/proc/self/fd", [](const auto&) {}) - 1;
}

// Resident memory (VmRSS) of this process or of another one, -1 when its
// status does not tell it.
inline long residentKiB(pid_t pid = 0) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                : "/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// User and system time, of the whole process or of the calling thread.
inline double processCpuMillis() { return detail::cpuMillis(RUSAGE_SELF); }
inline double threadCpuMillis() { return detail::cpuMillis(RUSAGE_THREAD); }

// The names of the threads as the kernel has them, comma separated: says
// which thread was left behind.
inline std::string threadNames() {
  std::string names;
  detail::forEachEntry("/proc/self/task", [&](const std::filesystem::directory_entry& task) {
    std::string name;
    std::getline(std::ifstream(task.path() / "comm"), name);
    names += (names.empty() ? "" : ", ") + name;
  });
  return names;
}

// What the open descriptors point at ("3->/dev/pts/4, ..."): says which
// descriptor was left open. The listing's own descriptor is among them.
inline std::string descriptorTargets() {
  std::string targets;
  detail::forEachEntry("/proc/self/fd", [&](const std::filesystem::directory_entry& fd) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(fd.path(), error);
    targets += (targets.empty() ? "" : ", ") + fd.path().filename().string() + "->" + target.string();
  });
  return targets;
}

// Whether a descriptor of this process still holds `node`, also one that the
// kernel has removed meanwhile ("/dev/pts/4 (deleted)").
inline bool holdsNode(const std::string& node) {
  bool held = false;
  detail::forEachEntry("/proc/self/fd", [&](const std::filesystem::directory_entry& fd) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    held = held || target == node || target == node + " (deleted)";
  });
  return held;
}

}  // namespace rs485::test
