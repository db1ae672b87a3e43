#include "sim/text.h"

#include <vector>

namespace rs485::sim {

namespace {
Translation translation = nullptr;
}  // namespace

void setTranslation(Translation t) { translation = t; }

std::string message(const char* english, std::initializer_list<std::string> args) {
  const std::string pattern = translation != nullptr ? translation(english) : std::string(english);
  const std::vector<std::string> values(args);
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    const std::size_t index = static_cast<std::size_t>(next - '1');
    if (pattern[i] == '%' && next >= '1' && next <= '9' && index < values.size()) {
      out += values[index];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace rs485::sim
