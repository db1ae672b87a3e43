#include "link/network_address.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace rs485 {

namespace {

struct Scheme {
  const char* prefix;
  NetworkAddress::Transport transport;
};

constexpr std::array kSchemes{Scheme{"tcp://", NetworkAddress::Transport::RawTcp},
                              Scheme{"rfc2217://", NetworkAddress::Transport::Rfc2217}};

bool isPortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
    return false;
  const int number = std::stoi(text);
  return number >= 1 && number <= 65535;
}

// "HOST:PORT" or "[V6]:PORT" into host and port.
std::optional<std::pair<std::string, std::string>> splitHostPort(const std::string& text) {
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return std::nullopt;
    return std::pair{text.substr(1, close - 1), text.substr(close + 2)};
  }
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  std::string host = text.substr(0, colon);
  if (host.find(':') != std::string::npos) return std::nullopt;  // an IPv6 address needs its brackets
  return std::pair{std::move(host), text.substr(colon + 1)};
}

bool isPlainHost(const std::string& host) {
  return !host.empty() && std::none_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isspace(c) != 0 || c == '/' || c == '[' || c == ']' || c == '@';
  });
}

}  // namespace

bool isNetworkPath(const std::string& path) {
  return std::any_of(kSchemes.begin(), kSchemes.end(),
                     [&](const Scheme& scheme) { return path.starts_with(scheme.prefix); });
}

std::optional<NetworkAddress> parseNetworkAddress(const std::string& path) {
  for (const Scheme& scheme : kSchemes) {
    if (!path.starts_with(scheme.prefix)) continue;
    const auto parts = splitHostPort(path.substr(std::string(scheme.prefix).size()));
    if (!parts || !isPlainHost(parts->first) || !isPortNumber(parts->second)) return std::nullopt;
    return NetworkAddress{scheme.transport, parts->first, parts->second};
  }
  return std::nullopt;
}

}  // namespace rs485
