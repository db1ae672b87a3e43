#include "sim/pty.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "link/raw_tty.h"

namespace rs485::sim {

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Raw binary at the bus's 2400 baud 8N1: XON/XOFF would swallow bytes 0x11
// and 0x13 of a frame, echo would hand the master its own request back.
void makeRaw(int fd, const std::string& name) {
  if (!applyRawBusLine(fd)) fail("raw line settings " + name);
}

}  // namespace

void Line::close() {
  if (closeWatch.valid()) closeWatch.reset();  // first, so that our own close is not taken for the tool's
  if (io.valid() && !isPty) ioctl(io.get(), TIOCNXCL);
  io.reset();
  innerSlave.reset();
  toolPath.clear();
  isPty = false;
}

Line openPseudoTerminal() {
  Line line;
  line.isPty = true;
  PtyMaster pty = openPtyMaster(O_CLOEXEC);
  if (pty.failed != nullptr) fail(pty.failed);
  line.io = std::move(pty.fd);
  line.toolPath = pty.slavePath;
  line.innerSlave = UniqueFd(::open(line.toolPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!line.innerSlave.valid()) fail("open " + line.toolPath);
  makeRaw(line.innerSlave.get(), line.toolPath);
  if (fcntl(line.io.get(), F_SETFL, O_NONBLOCK) != 0) fail("fcntl O_NONBLOCK");
  line.closeWatch = UniqueFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!line.closeWatch.valid()) fail("inotify_init1");
  if (inotify_add_watch(line.closeWatch.get(), line.toolPath.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
    fail("inotify_add_watch " + line.toolPath);
  return line;
}

Line openSerialDevice(const std::string& path) {
  Line line;
  line.toolPath = path;
  line.io = UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!line.io.valid()) fail("open " + path);
  if (ioctl(line.io.get(), TIOCEXCL) != 0) fail("TIOCEXCL " + path);
  makeRaw(line.io.get(), path);
  tcflush(line.io.get(), TCIOFLUSH);
  return line;
}

bool takeToolClose(Line& line) {
  if (!line.closeWatch.valid()) return false;
  alignas(inotify_event) char buffer[4096];
  bool closed = false;
  while (read(line.closeWatch.get(), buffer, sizeof buffer) > 0) closed = true;
  if (closed) ioctl(line.innerSlave.get(), TIOCNXCL);
  return closed;
}

void placeSymlink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    errno = EEXIST;
    fail(link + " exists and is not a symlink");
  }
  const std::string temporary = link + ".tmp" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) fail("symlink " + temporary);
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    errno = error;
    fail("rename to " + link);
  }
}

void removeSymlink(const std::string& link, const std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n < 0) return;
  if (std::string(buffer, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

Wakeup::Wakeup() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!fd_.valid()) fail("eventfd");
}

void Wakeup::notify() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(fd_.get(), &one, sizeof one);
}

void Wakeup::drain() {
  std::uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = read(fd_.get(), &value, sizeof value);
}

std::optional<LineSettings> lineSettingsOf(const Line& line) {
  termios t{};
  if (!line.io.valid() || tcgetattr(line.io.get(), &t) != 0) return std::nullopt;
  constexpr std::pair<speed_t, int> kSpeeds[] = {{B1200, 1200},   {B2400, 2400},    {B4800, 4800},
                                                 {B9600, 9600},   {B19200, 19200},  {B38400, 38400},
                                                 {B57600, 57600}, {B115200, 115200}};
  LineSettings settings;
  for (const auto& [code, baud] : kSpeeds) {
    if (cfgetospeed(&t) == code) settings.baud = baud;
  }
  switch (t.c_cflag & CSIZE) {
    case CS5:
      settings.dataBits = 5;
      break;
    case CS6:
      settings.dataBits = 6;
      break;
    case CS7:
      settings.dataBits = 7;
      break;
    default:
      settings.dataBits = 8;
      break;
  }
  settings.parity = (t.c_cflag & PARENB) != 0;
  settings.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
  settings.hardwareFlowControl = (t.c_cflag & CRTSCTS) != 0;
  settings.softwareFlowControl = (t.c_iflag & (IXON | IXOFF)) != 0;
  return settings;
}

}  // namespace rs485::sim
