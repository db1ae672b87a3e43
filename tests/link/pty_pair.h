#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/raw_tty.h"
#include "link/unique_fd.h"

namespace rs485::test {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal whose master end the test holds and plays the bus device
// on; the engine opens the slave end as its serial port.
class PtyPair {
 public:
  PtyPair() : pty_(openPtyMaster(O_CLOEXEC)) {
    if (pty_.failed != nullptr) throw std::runtime_error(std::string("no pty: ") + pty_.failed);
    applyRaw(master());
  }

  const std::string& slavePath() const { return pty_.slavePath; }
  int master() const { return pty_.fd.get(); }

  // One write(): the slave sees the bytes arrive as one burst.
  void write(const Bytes& bytes) {
    if (bytes.empty()) return;
    if (::write(master(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("short write to pty master");
    }
  }

  // What the engine sent: exactly `count` bytes, or fewer when they do not
  // come within the time-out.
  Bytes read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !readable(static_cast<int>(left.count()))) break;
      std::uint8_t buffer[64];
      const std::size_t want = std::min(sizeof buffer, count - got.size());
      const ssize_t n = ::read(master(), buffer, want);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  // True when the engine sends nothing during `window`.
  bool silentFor(std::chrono::milliseconds window) { return !readable(static_cast<int>(window.count())); }

  // Bytes the engine wrote that the test has not read yet.
  int pending() const {
    int queued = 0;
    return ioctl(master(), FIONREAD, &queued) == 0 ? queued : -1;
  }

  // Output of the slave end that cannot leave, as from a stalled adapter:
  // suspended (tcflow TCOOFF), or the far end's queue filled while nobody
  // reads it. Done through a descriptor of its own, opened before the
  // engine's exclusive open and held by the caller; invalid when it failed.
  enum class Stall { Suspended, Full };
  UniqueFd stallOutput(Stall how) {
    UniqueFd fd(::open(slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return fd;
    bool stalled = false;
    if (how == Stall::Suspended) {
      stalled = tcflow(fd.get(), TCOOFF) == 0;
    } else {
      const std::vector<std::uint8_t> chunk(4096, 0x55);
      while (::write(fd.get(), chunk.data(), chunk.size()) > 0) {
      }
      stalled = errno == EAGAIN;
    }
    if (!stalled) fd.reset();
    return fd;
  }

  // The line goes away: the slave end is hung up.
  void closeMaster() { pty_.fd.reset(); }

 private:
  bool readable(int timeoutMs) {
    pollfd p{master(), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
  }

  PtyMaster pty_;
};

}  // namespace rs485::test
