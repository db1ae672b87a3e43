#pragma once

#include <string>
#include <vector>

namespace rs485::test {

// What the logic did to the fakes, in order, as readable lines
// ("status Найдено 0 устройств", "timer on", "ask ...").
using CallLog = std::vector<std::string>;

// The rest of every line that starts with `prefix`, in order: one kind of
// call picked out of a log ("status " gives the texts of the status bar).
inline std::vector<std::string> linesAfter(const CallLog& log, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& line : log)
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

}  // namespace rs485::test
