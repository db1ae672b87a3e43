#include "link/file_identity.h"

#include <sys/stat.h>

namespace rs485 {

namespace {
FileIdentity identityOf(const struct stat& st) {
  return {.device = static_cast<std::uint64_t>(st.st_dev), .inode = static_cast<std::uint64_t>(st.st_ino)};
}
}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return identityOf(st);
}

std::optional<FileIdentity> fileIdentity(int descriptor) {
  struct stat st {};
  if (::fstat(descriptor, &st) != 0) return std::nullopt;
  return identityOf(st);
}

}  // namespace rs485
