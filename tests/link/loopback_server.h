#pragma once

// A TCP server on 127.0.0.1 that the test drives by hand, standing in for a
// serial device server: it accepts, sends and receives bytes, closes or
// resets a connection, stops listening, and can be made to leave a connect
// hanging (a full accept queue drops further SYNs).

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/unique_fd.h"

namespace rs485::test {

class LoopbackServer {
 public:
  using Bytes = std::vector<std::uint8_t>;
  static constexpr std::chrono::milliseconds kWait{5000};

  // Listens on a free port; `backlog` 0 makes a queue of one connection.
  explicit LoopbackServer(int backlog = 8) : backlog_(backlog) { listen(0); }

  int port() const { return port_; }
  std::string url(const char* scheme = "tcp") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }

  // Takes the next connection; false when none came within kWait.
  bool accept() {
    if (!ready(listener_.get(), POLLIN)) return false;
    connection_ = UniqueFd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    return connection_.valid();
  }

  bool send(const Bytes& bytes) {
    return ::send(connection_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // Exactly `count` bytes, or what came before kWait passed.
  Bytes receive(std::size_t count) {
    Bytes bytes;
    while (bytes.size() < count && ready(connection_.get(), POLLIN)) {
      std::uint8_t chunk[256];
      const ssize_t n = ::recv(connection_.get(), chunk, std::min(sizeof chunk, count - bytes.size()), 0);
      if (n <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  // An orderly close (FIN), or a reset (RST) as a crashed server's kernel sends.
  void closeConnection() { connection_ = UniqueFd(); }
  void resetConnection() {
    const linger abortive{1, 0};
    setsockopt(connection_.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    connection_ = UniqueFd();
  }

  // No one listens on the port any more (connects are refused); and again.
  void stopListening() { listener_ = UniqueFd(); }
  void listenAgain() { listen(port_); }

  // Connections of the test's own that fill the accept queue, so that the
  // next connect to the port neither completes nor fails.
  void fillAcceptQueue() {
    for (int i = 0; i <= backlog_; ++i) {
      UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      const sockaddr_in address = loopback(port_);
      if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot fill the accept queue");
      fillers_.push_back(std::move(client));
    }
  }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  static bool ready(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(kWait.count())) == 1;
  }

  void listen(int port) {
    listener_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(port);
    if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), backlog_) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    socklen_t length = sizeof address;
    getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }

  int backlog_;
  int port_ = 0;
  UniqueFd listener_;
  UniqueFd connection_;
  std::vector<UniqueFd> fillers_;
};

// A port on 127.0.0.1 on which nothing listens (free a moment ago).
inline int closedLoopbackPort() {
  LoopbackServer server;
  return server.port();
}

}  // namespace rs485::test
