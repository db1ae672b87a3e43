// Network port paths, and a failed connection's reason in the words a port's
// reason is given in.

#include "link/network_address.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "link/open_error.h"
#include "link/tcp_connect.h"

using namespace rs485;

TEST(NetworkAddress, ParsesBothSchemesAndRefusesMalformedPaths) {
  using T = NetworkAddress::Transport;
  struct Case {
    std::string path;
    std::optional<NetworkAddress> expected;
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:4001", NetworkAddress{T::RawTcp, "127.0.0.1", "4001"}},
      {"rfc2217://plant-gw.local:7000", NetworkAddress{T::Rfc2217, "plant-gw.local", "7000"}},
      {"tcp://[::1]:1", NetworkAddress{T::RawTcp, "::1", "1"}},
      {"rfc2217://[fe80::1%eth0]:65535", NetworkAddress{T::Rfc2217, "fe80::1%eth0", "65535"}},
      {"tcp://127.0.0.1", std::nullopt},
      {"tcp://127.0.0.1:", std::nullopt},
      {"tcp://:4001", std::nullopt},
      {"tcp://127.0.0.1:0", std::nullopt},
      {"tcp://127.0.0.1:65536", std::nullopt},
      {"tcp://127.0.0.1:40x1", std::nullopt},
      {"tcp://::1:4001", std::nullopt},
      {"tcp://[::1]4001", std::nullopt},
      {"tcp://host/path:4001", std::nullopt},
      {"telnet://127.0.0.1:23", std::nullopt},
      {"/dev/ttyUSB0", std::nullopt},
      {"TCP://127.0.0.1:4001", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseNetworkAddress(c.path), c.expected) << c.path;
}

TEST(NetworkAddress, TellsNetworkPathsFromDevicePaths) {
  for (const char* path : {"tcp://127.0.0.1:4001", "rfc2217://h:1", "tcp://broken"})
    EXPECT_TRUE(isNetworkPath(path)) << path;
  for (const char* path : {"/dev/ttyUSB0", "COM1", "/tmp/tcp://x", "serial:/dev/ttyS1", ""})
    EXPECT_FALSE(isNetworkPath(path)) << path;
}

// The reason of a connection that failed, as the window and the CLI put a
// port's reason: OpenError's words, then the system's own.
TEST(NetworkOpenError, NamesTheReasonInTheSystemsOwnWords) {
  struct Case {
    int code;
    OpenError error;
  };
  const Case cases[] = {
      {ECONNREFUSED, OpenError::NotFound}, {EHOSTUNREACH, OpenError::NotFound},
      {ENETUNREACH, OpenError::NotFound},  {EAI_NONAME, OpenError::NotFound},
      {ETIMEDOUT, OpenError::Other},       {EAI_AGAIN, OpenError::Other},
      {ECONNRESET, OpenError::Other},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(openErrorFromConnect(c.code), c.error) << c.code;
    const std::string system = c.code < 0 ? gai_strerror(c.code) : std::strerror(c.code);
    EXPECT_EQ(systemErrorText(c.code), system);
  }
  EXPECT_EQ(openErrorFromConnect(0), OpenError::None);
  EXPECT_EQ(systemErrorText(ECONNREFUSED), "Connection refused");
  EXPECT_EQ(systemErrorText(EAI_NONAME), "Name or service not known");
}
