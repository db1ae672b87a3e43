#include "link/processes.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace rs485 {

bool processRunning(const std::string& name, const std::string& procRoot) {
  // The kernel keeps 15 characters of a command name.
  const std::string wanted = name.substr(0, 15);
  std::error_code error;
  for (std::filesystem::directory_iterator it(procRoot, error), end; !error && it != end;
       it.increment(error)) {
    const std::string pid = it->path().filename().string();
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid.front()))) continue;
    // A process may end between the listing and the read: it runs no more.
    std::ifstream comm(it->path() / "comm");
    std::string command;
    if (std::getline(comm, command) && command == wanted) return true;
  }
  return false;
}

}  // namespace rs485
