#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace rs485::test {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal whose master end the test holds and plays the bus device
// on; the engine opens the slave end as its serial port.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    slavePath_ = name;
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
  }
  ~PtyPair() { closeMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }

  // One write(): the slave sees the bytes arrive as one burst.
  void write(const Bytes& bytes) {
    if (bytes.empty()) return;
    if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
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
      const ssize_t n = ::read(master_, buffer, want);
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
    return ioctl(master_, FIONREAD, &queued) == 0 ? queued : -1;
  }

  // Output of the slave end that cannot leave, as from a stalled adapter:
  // suspended (tcflow TCOOFF), or the far end's queue filled while nobody
  // reads it. Done through a descriptor of its own, opened before the
  // engine's exclusive open and closed by the caller; -1 when it failed.
  enum class Stall { Suspended, Full };
  int stallOutput(Stall how) {
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    bool stalled = false;
    if (how == Stall::Suspended) {
      stalled = tcflow(fd, TCOOFF) == 0;
    } else {
      const std::vector<std::uint8_t> chunk(4096, 0x55);
      while (::write(fd, chunk.data(), chunk.size()) > 0) {
      }
      stalled = errno == EAGAIN;
    }
    if (!stalled) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  // The line goes away: the slave end is hung up.
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  bool readable(int timeoutMs) {
    pollfd p{master_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
  }

  int master_ = -1;
  std::string slavePath_;
};

}  // namespace rs485::test
