#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rs485 {

// Which file a path names right now: a file replaced under the same name
// (rotated, re-created, copied over) is another file, whatever its size.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// `path` in the file system's own encoding; none when nothing is there.
std::optional<FileIdentity> fileIdentity(const std::string& path);
// The file an open descriptor reads, whatever its name has become since.
std::optional<FileIdentity> fileIdentity(int descriptor);

}  // namespace rs485
