#pragma once

#include <optional>
#include <string>

namespace rs485 {

// A serial line reached through a device server on the network.
struct NetworkAddress {
  enum class Transport {
    RawTcp,   // tcp://HOST:PORT: the line's bytes as they are
    Rfc2217,  // rfc2217://HOST:PORT: Telnet, with the line set from here
  };
  Transport transport = Transport::RawTcp;
  std::string host;  // a name, an IPv4 address, or an IPv6 address without its brackets
  std::string port;  // 1..65535, in digits

  friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// True when `path` names a network transport (tcp:// or rfc2217://), well
// formed or not; every other path is a local device.
bool isNetworkPath(const std::string& path);

// "tcp://HOST:PORT" or "rfc2217://HOST:PORT", an IPv6 host in brackets
// ("tcp://[::1]:4001"). Nothing when the text is not one of them.
std::optional<NetworkAddress> parseNetworkAddress(const std::string& path);

}  // namespace rs485
