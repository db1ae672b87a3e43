#pragma once

#include <chrono>
#include <string>

#include "link/open_error.h"
#include "link/unique_fd.h"

namespace rs485 {

// A device server that lost its power sends no reset: keep-alive probes after
// kKeepAliveIdle of silence, kKeepAliveCount of them kKeepAliveInterval apart,
// and TCP_USER_TIMEOUT for data left unacknowledged, make it a lost line
// within 10 s whether the line is idle or busy.
constexpr std::chrono::seconds kKeepAliveIdle{2};
constexpr std::chrono::seconds kKeepAliveInterval{1};
constexpr int kKeepAliveCount = 5;
constexpr std::chrono::milliseconds kUserTimeout{7000};

// No waiting on a device server for longer than this to connect.
constexpr std::chrono::seconds kConnectTimeLimit{3};

struct Connection {
  UniqueFd socket;  // non-blocking, with the options above; invalid on failure
  int error = 0;    // why it failed: errno, or getaddrinfo's negative code
};

// Looks the host up and connects to the first of its addresses that takes
// the connection, by `deadline`. Returns early, with ECANCELED, once
// `wakeFd` is readable.
Connection connectTcp(const std::string& host, const std::string& port, int wakeFd,
                      std::chrono::steady_clock::time_point deadline);

// A failed connection's reason as a port's reason: refused, unreachable or a
// name that names nothing is a port that is not there; the rest, a time-out
// among them, a port that could not be opened.
OpenError openErrorFromConnect(int error);

}  // namespace rs485
