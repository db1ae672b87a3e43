#pragma once

// Figures of this process as the kernel keeps them: threads, open
// descriptors, resident memory and CPU time.

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace rs485::test {

// Each entry of a folder such as /proc/self/task, as "name" or with `what`
// of it ("comm" of a thread, the target of a descriptor's link).
inline std::string listEntries(const char* directory, bool targets) {
  std::string listed;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(directory, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::string entry;
    if (targets) {
      entry =
          it->path().filename().string() + "->" + std::filesystem::read_symlink(it->path(), error).string();
    } else {
      std::getline(std::ifstream(it->path() / "comm"), entry);
    }
    listed += (listed.empty() ? "" : ", ") + entry;
  }
  return listed;
}

inline int entriesIn(const char* directory) {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(directory, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

inline int threadCount() { return entriesIn("/proc/self/task"); }
inline int descriptorCount() { return entriesIn("/proc/self/fd") - 1; }  // less the listing's own

// The names of the threads, and what the open descriptors point at.
inline std::string threadNames() { return listEntries("/proc/self/task", false); }
inline std::string descriptorTargets() { return listEntries("/proc/self/fd", true); }

// VmRSS of this process, or of another one.
inline long residentKiB(pid_t pid = 0) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                : "/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

inline double cpuMillis(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}
inline double processCpuMillis() { return cpuMillis(RUSAGE_SELF); }
inline double threadCpuMillis() { return cpuMillis(RUSAGE_THREAD); }

}  // namespace rs485::test
