#include "link/linux_serial_port.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "link/raw_tty.h"

namespace rs485 {

OpenError openErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return OpenError::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return OpenError::NotFound;
    case EACCES:
    case EPERM:
      return OpenError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:  // flock: another descriptor holds the lock
      return OpenError::Busy;
    case ENOTTY:
      return OpenError::NotSerial;
    default:
      return OpenError::Other;
  }
}

namespace {

// DTR and RTS stay off: nothing on the bus listens to them. A pseudo-terminal
// has no modem lines and refuses the call, which is harmless. The open raises
// both, and so does a tty's speed leaving 0 baud.
bool clearModemLines(int fd) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(fd, TIOCMBIC, &lines) == 0) return true;
  return errno == EINVAL || errno == ENOTTY;
}

// Tags the events of the wake-up descriptor; a line's events carry its generation.
constexpr std::uint64_t kWakeTag = ~std::uint64_t{0};

bool watch(int epoll, int fd, std::uint32_t events, std::uint64_t tag) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = tag;
  return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

// The flock makes a second open through this code fail, for root as well;
// taken first, so that a losing open leaves the holder's TIOCEXCL alone.
// TIOCEXCL turns away other programs' opens, except root's.
OpenError lockExclusively(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return openErrorFromErrno(errno);
  if (ioctl(fd, TIOCEXCL) != 0) return openErrorFromErrno(errno);
  return OpenError::None;
}

bool applyLine(int fd, termios& settings) {
  termios t = settings;
  makeRaw(t);
  setFraming8N1(t);
  disableFlowControl(t);
  enableReceiver(t);
  if (!setBusSpeed(t) || tcsetattr(fd, TCSANOW, &t) != 0) return false;
  settings = t;
  return clearModemLines(fd);
}

bool applyNoTimeouts(int fd, termios& settings) {
  termios t = settings;
  clearReadTimeouts(t);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
  settings = t;
  return true;
}

// Non-blocking: neither the open waits for carrier nor does any later call
// wait; the port never becomes this process's controlling terminal.
int openNonBlocking(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// A stalled adapter must not hold close(): what still waits to go out is
// thrown away, and where the driver allows it (CAP_SYS_ADMIN) the tty's
// closing wait, up to 30 s by default, is switched off. A refusal, or a
// pseudo-terminal that has no such setting, is harmless.
void letCloseReturnAtOnce(int fd) {
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.closing_wait != ASYNC_CLOSING_WAIT_NONE) {
    serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    ioctl(fd, TIOCSSERIAL, &serial);
  }
  tcflush(fd, TCOFLUSH);
}

// A pseudo-terminal opened by its own /dev/pts name: a new one never comes
// back under that name by design, only by a stranger's chance, so it is
// reopened only through a link that its owner moves (as the simulator does).
bool isPtyByItsOwnName(int fd, const std::string& path) {
  struct statfs filesystem {};
  struct stat node {};
  return fstatfs(fd, &filesystem) == 0 && filesystem.f_type == DEVPTS_SUPER_MAGIC &&
         lstat(path.c_str(), &node) == 0 && !S_ISLNK(node.st_mode);
}

}  // namespace

std::unique_ptr<SerialDevice> openLinuxSerialDevice(const std::string& path, OpenError& error) {
  auto device = std::make_unique<LinuxSerialDevice>();
  error = device->open(path);
  if (error == OpenError::None) return device;
  // The clean-up of a half-opened device makes calls of its own (ioctl,
  // tcflush, close): errno is kept from the call that failed the open.
  const int failed = errno;
  device.reset();
  errno = failed;
  return nullptr;
}

LinuxSerialDevice::~LinuxSerialDevice() {
  writeEpoll_.reset();
  readEpoll_.reset();
  wakeFd_.reset();
  if (fd_.valid() && isatty(fd_.get())) letCloseReturnAtOnce(fd_.get());
  if (exclusive_) ioctl(fd_.get(), TIOCNXCL);  // the next open, by anyone, may succeed
  fd_.reset();                                 // also drops the flock
}

OpenError LinuxSerialDevice::open(const std::string& path) {
  path_ = path;
  fd_ = UniqueFd(openNonBlocking(path));
  if (!fd_.valid()) return openErrorFromErrno(errno);
  // Lowered before anything else, so that an adapter keyed by RTS transmits
  // no longer than the open itself took.
  if (!clearModemLines(fd_.get())) return OpenError::SettingsRejected;
  if (!isatty(fd_.get())) return OpenError::NotSerial;
  if (const OpenError error = lockExclusively(fd_.get()); error != OpenError::None) return error;
  exclusive_ = true;
  adapter_ = adapterIdentity(path);
  reopenable_ = adapter_ || !isPtyByItsOwnName(fd_.get(), path);
  return createWaits();
}

OpenError LinuxSerialDevice::createWaits() {
  wakeFd_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  readEpoll_ = UniqueFd(epoll_create1(EPOLL_CLOEXEC));
  writeEpoll_ = UniqueFd(epoll_create1(EPOLL_CLOEXEC));
  if (!wakeFd_.valid() || !readEpoll_.valid() || !writeEpoll_.valid()) return OpenError::Other;
  const bool ok = watch(readEpoll_.get(), wakeFd_.get(), EPOLLIN, kWakeTag) &&
                  watch(writeEpoll_.get(), wakeFd_.get(), EPOLLIN, kWakeTag);
  std::lock_guard lock(lineMutex_);
  return ok && watchLine(generation_) ? OpenError::None : OpenError::Other;
}

bool LinuxSerialDevice::watchLine(std::uint64_t generation) {
  // Edge-triggered: every arrival wakes the receive thread once, however many
  // bytes it leaves in the queue; level-triggered it would spin on them.
  return watch(readEpoll_.get(), fd_.get(), EPOLLIN | EPOLLET, generation) &&
         watch(writeEpoll_.get(), fd_.get(), EPOLLOUT, generation);
}

// A line that hung up or failed a write is closed at once: while any
// descriptor of a tty stays open the kernel cannot free its name, and an
// adapter plugged back in would come back as the next ttyUSBn. An eventfd
// takes its place: waits and descriptors stay valid, every write on it fails
// (it takes only 8-byte writes), which is what sends the engine to reopen(),
// and it is always writable, so a transmit thread that waited for room in the
// dead line's queue goes on to its failing write. Unless a reopen has
// replaced the line already.
void LinuxSerialDevice::releaseLine(std::uint64_t generation) {
  std::lock_guard lock(lineMutex_);
  if (generation != generation_ || released_) return;
  epoll_ctl(readEpoll_.get(), EPOLL_CTL_DEL, fd_.get(), nullptr);
  const UniqueFd standIn(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!standIn.valid()) return;  // keeps the dead line, which fails its writes too
  if (isatty(fd_.get())) letCloseReturnAtOnce(fd_.get());
  ioctl(fd_.get(), TIOCNXCL);
  if (dup2(standIn.get(), fd_.get()) != fd_.get()) return;
  released_ = true;
  watch(writeEpoll_.get(), fd_.get(), EPOLLOUT, generation_);
}

std::uint64_t LinuxSerialDevice::currentGeneration() {
  std::lock_guard lock(lineMutex_);
  return generation_;
}

// A USB adapter is looked for by what it is, never by a node name that may
// now belong to another adapter or to an on-board port; anything else (a
// UART, a link to a pseudo-terminal) by the path it was opened by.
std::optional<std::string> LinuxSerialDevice::nodeToReopen() const {
  if (adapter_) return findAdapter(*adapter_);
  if (!reopenable_) return std::nullopt;
  return path_;
}

bool LinuxSerialDevice::reopen() {
  if (shutDown_) return false;
  {
    std::lock_guard lock(lineMutex_);
    if (!released_) return false;  // the line it holds has not gone
  }
  const auto node = nodeToReopen();
  if (!node) return false;
  // The same recipe as the first open.
  UniqueFd fd(openNonBlocking(*node));
  if (!fd.valid()) return false;
  termios settings{};
  const bool locked =
      clearModemLines(fd.get()) && isatty(fd.get()) && lockExclusively(fd.get()) == OpenError::None;
  const bool ok = locked && tcgetattr(fd.get(), &settings) == 0 && applyLine(fd.get(), settings) &&
                  applyNoTimeouts(fd.get(), settings) && tcflush(fd.get(), TCIFLUSH) == 0;
  std::lock_guard lock(lineMutex_);
  if (!ok || shutDown_) {
    if (locked) ioctl(fd.get(), TIOCNXCL);  // never when the lock was another's
    fd.reset();
    return false;
  }
  // dup2 closes the stand-in in the same step, and with it its
  // registration; the new line is watched under the next generation.
  const bool placed = dup2(fd.get(), fd_.get()) == fd_.get();
  fd.reset();
  if (!placed) return false;
  released_ = false;
  return watchLine(++generation_);
}

bool LinuxSerialDevice::readLineSettings() { return tcgetattr(fd_.get(), &settings_) == 0; }

bool LinuxSerialDevice::applyLineSettings() { return applyLine(fd_.get(), settings_); }

bool LinuxSerialDevice::clearTimeouts() { return applyNoTimeouts(fd_.get(), settings_); }

// The tty layer sizes its own queues; Linux has nothing to set here.
void LinuxSerialDevice::setQueueSizes(int, int) {}

bool LinuxSerialDevice::writeAll(const std::uint8_t* data, std::size_t length) {
  std::size_t written = 0;
  while (written < length) {
    if (shutDown_) return false;
    const ssize_t n = ::write(fd_.get(), data + written, length - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!waitWritable()) return false;
    } else {
      releaseLine(currentGeneration());  // EIO: the adapter is gone or the other end closed
      return false;
    }
  }
  return true;
}

bool LinuxSerialDevice::waitWritable() {
  for (;;) {
    epoll_event events[2];
    const int n = epoll_wait(writeEpoll_.get(), events, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.u64 == kWakeTag) return false;
    }
    return true;  // room in the queue, or an error that the next write reports
  }
}

int LinuxSerialDevice::inputQueued() {
  int queued = 0;
  return ioctl(fd_.get(), FIONREAD, &queued) == 0 ? queued : 0;
}

std::size_t LinuxSerialDevice::readQueued(std::span<std::uint8_t> buffer) {
  std::size_t total = 0;
  while (total < buffer.size()) {
    const ssize_t n = ::read(fd_.get(), buffer.data() + total, buffer.size() - total);
    if (n > 0) {
      total += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // nothing more queued, or the line is gone
    }
  }
  return total;
}

void LinuxSerialDevice::purgeInput() { tcflush(fd_.get(), TCIFLUSH); }

void LinuxSerialDevice::purgeOutput() { tcflush(fd_.get(), TCOFLUSH); }

SerialPort::Wake LinuxSerialDevice::waitForArrival() {
  for (;;) {
    epoll_event events[2];
    const int n = epoll_wait(readEpoll_.get(), events, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Wake::Error;
    bool arrival = false;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.u64 == kWakeTag) return Wake::Shutdown;
      if ((events[i].events & (EPOLLHUP | EPOLLERR)) != 0) {
        // The line has gone (adapter unplugged, other end closed): wait on
        // for the line that a reopen puts in its place.
        releaseLine(events[i].data.u64);
      } else if ((events[i].events & EPOLLIN) != 0) {
        arrival = true;
      }
    }
    if (arrival) return Wake::Arrival;
  }
}

bool LinuxSerialDevice::pause(std::chrono::milliseconds duration) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + duration;
  for (;;) {
    if (shutDown_) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    pollfd wake{wakeFd_.get(), POLLIN, 0};
    const int n = poll(&wake, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (n > 0) return false;
    if (n < 0 && errno != EINTR) return !shutDown_;
  }
}

void LinuxSerialDevice::shutdown() {
  shutDown_ = true;
  // Never read back, so the eventfd stays readable and every later wait returns too.
  const std::uint64_t one = 1;
  const ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
  static_cast<void>(n);
}

}  // namespace rs485
