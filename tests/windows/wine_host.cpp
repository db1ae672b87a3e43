#include "tests/windows/wine_host.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace rs485::test {

std::optional<WineHost> WineHost::fromEnvironment() {
  const char* folder = std::getenv("RS485_WINE_FOLDER");
  if (folder == nullptr || *folder == '\0') return std::nullopt;
  // wine's drive Z: is the Linux root.
  std::string path = std::string("Z:") + folder;
  for (char& c : path)
    if (c == '/') c = '\\';
  return WineHost(path);
}

std::optional<std::string> WineHost::ask(const std::string& command,
                                         std::chrono::milliseconds timeout) const {
  const std::string request = folder_ + "\\request";
  const std::string answer = folder_ + "\\answer";
  DeleteFileA(answer.c_str());
  {
    std::ofstream out(request + ".tmp", std::ios::binary | std::ios::trunc);
    out << command << '\n';
  }
  // Whole or not at all: the helper never reads half a request.
  if (!MoveFileExA((request + ".tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING))
    return std::nullopt;
  // The helper's answer is a file: looked for until it is there.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(answer);
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      in.close();
      DeleteFileA(answer.c_str());
      return text.str();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

}  // namespace rs485::test
