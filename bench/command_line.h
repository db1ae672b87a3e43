#pragma once

#include <cstdlib>
#include <string_view>

namespace rs485::bench {

// "--name VALUE" or "--name=VALUE"; the fallback when absent.
inline double option(int argc, char** argv, std::string_view name, double fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == name && i + 1 < argc) return std::atof(argv[i + 1]);
    if (argument.size() > name.size() && argument.substr(0, name.size()) == name &&
        argument[name.size()] == '=') {
      return std::atof(argv[i] + name.size() + 1);
    }
  }
  return fallback;
}

inline bool flag(int argc, char** argv, std::string_view name) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] == name) return true;
  return false;
}

// The offscreen platform unless the caller chose one.
inline void defaultToOffscreen() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

}  // namespace rs485::bench
