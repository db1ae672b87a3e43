#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/raw_tty.h"
#include "link/unique_fd.h"
#include "tests/sim/requests.h"

namespace rs485::sim::test {

using Clock = std::chrono::steady_clock;

// The tool's end of the line, opened the way the tool opens it.
class TestPort {
 public:
  // Takes over a descriptor opened elsewhere (a pty master in the tests of a served device).
  explicit TestPort(UniqueFd fd) : fd_(std::move(fd)) {}
  explicit TestPort(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_.valid()) applyRawBusLine(fd_.get());
  }

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  void close() { fd_.reset(); }

  // Writes everything at once; false when the line refused it.
  bool send(const Bytes& bytes) {
    return ::write(fd(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  struct Chunk {
    Bytes bytes;
    Clock::time_point at;
  };
  // Reads as the bytes come until `n` have arrived or the time is up.
  std::vector<Chunk> readChunks(std::size_t n, std::chrono::milliseconds timeout) {
    std::vector<Chunk> chunks;
    std::size_t total = 0;
    const auto end = Clock::now() + timeout;
    while (total < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd(), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      if (!(p.revents & POLLIN)) break;
      std::uint8_t buffer[256];
      const ssize_t got = ::read(fd(), buffer, sizeof buffer);
      if (got <= 0) continue;
      chunks.push_back({Bytes(buffer, buffer + got), Clock::now()});
      total += static_cast<std::size_t>(got);
    }
    return chunks;
  }

  Bytes read(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    Bytes out;
    for (const auto& c : readChunks(n, timeout)) out.insert(out.end(), c.bytes.begin(), c.bytes.end());
    return out;
  }

  int queued() const {
    int n = 0;
    ioctl(fd(), FIONREAD, &n);
    return n;
  }

 private:
  UniqueFd fd_;
};

}  // namespace rs485::sim::test
