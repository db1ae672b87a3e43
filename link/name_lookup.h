#pragma once

#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <vector>

namespace rs485 {

struct SocketAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = AF_UNSPEC;
};

struct LookupResult {
  std::vector<SocketAddress> addresses;  // in the order the resolver prefers
  // On failure: a positive errno, or getaddrinfo's own negative code (see
  // systemErrorText); ETIMEDOUT when the deadline came first, ECANCELED when
  // the wake-up descriptor did.
  int error = 0;
};

// The addresses of a TCP service. The resolver has no time-out of its own
// and cannot be interrupted, so it runs on a thread of its own that this
// call leaves behind when `deadline` passes or `wakeFd` becomes readable;
// that thread ends by itself once the resolver returns and touches nothing
// of the caller's. Numeric addresses are taken at once, without a thread.
LookupResult lookUp(const std::string& host, const std::string& port, int wakeFd,
                    std::chrono::steady_clock::time_point deadline);

}  // namespace rs485
