#include "link/linux_serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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

// Bytes pass untouched: no line editing, echo, signals or output processing,
// and on input no CR/LF mapping, case folding, stripping or break handling.
void makeRaw(termios& t) {
  t.c_lflag &= ~tcflag_t(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ISIG | IEXTEN);
  t.c_oflag &= ~tcflag_t(OPOST);
  t.c_iflag &= ~tcflag_t(ICRNL | INLCR | IGNCR | IUCLC | ISTRIP | BRKINT | PARMRK);
}

// Eight data bits, no parity (so nothing to check on input), one stop bit.
void setFraming8N1(termios& t) {
  t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  t.c_cflag |= tcflag_t(CS8);
  t.c_iflag &= ~tcflag_t(INPCK);
}

// No handshake of either kind: the adapter switches the bus direction itself,
// and XON/XOFF would swallow the bytes 0x11 and 0x13 of binary frames.
void disableFlowControl(termios& t) {
  t.c_cflag &= ~tcflag_t(CRTSCTS);
  t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
}

// The modem status lines must not block the line, and the receiver is on.
void enableReceiver(termios& t) { t.c_cflag |= tcflag_t(CLOCAL | CREAD); }

// The bus runs at 2400 baud in both directions.
bool setSpeed(termios& t) { return cfsetispeed(&t, B2400) == 0 && cfsetospeed(&t, B2400) == 0; }

// A read returns at once with what is queued; the engine decides when to read.
void clearReadTimeouts(termios& t) {
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

// DTR and RTS stay off: nothing on the bus listens to them. A pseudo-terminal
// has no modem lines and refuses the call, which is harmless. The open raises
// both, and so does a tty's speed leaving 0 baud.
bool clearModemLines(int fd) {
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(fd, TIOCMBIC, &lines) == 0) return true;
  return errno == EINVAL || errno == ENOTTY;
}

bool watch(int epoll, int fd, std::uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
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

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::unique_ptr<SerialDevice> openLinuxSerialDevice(const std::string& path, OpenError& error) {
  auto device = std::make_unique<LinuxSerialDevice>();
  error = device->open(path);
  if (error != OpenError::None) return nullptr;
  return device;
}

LinuxSerialDevice::~LinuxSerialDevice() {
  closeIfOpen(writeEpoll_);
  closeIfOpen(readEpoll_);
  closeIfOpen(wakeFd_);
  if (fd_ >= 0 && isatty(fd_)) letCloseReturnAtOnce(fd_);
  if (exclusive_) ioctl(fd_, TIOCNXCL);  // the next open, by anyone, may succeed
  closeIfOpen(fd_);                      // also drops the flock
}

OpenError LinuxSerialDevice::open(const std::string& path) {
  // Non-blocking: neither the open waits for carrier nor does any later call
  // wait; the port never becomes this process's controlling terminal.
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return openErrorFromErrno(errno);
  // Lowered before anything else, so that an adapter keyed by RTS transmits
  // no longer than the open itself took.
  if (!clearModemLines(fd_)) return OpenError::SettingsRejected;
  if (!isatty(fd_)) return OpenError::NotSerial;
  if (const OpenError error = lockExclusively(); error != OpenError::None) return error;
  return createWaits();
}

OpenError LinuxSerialDevice::lockExclusively() {
  // The flock makes a second open through this code fail, for root as well;
  // taken first, so that a losing open leaves the holder's TIOCEXCL alone.
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) return openErrorFromErrno(errno);
  // TIOCEXCL turns away other programs' opens, except root's.
  if (ioctl(fd_, TIOCEXCL) != 0) return openErrorFromErrno(errno);
  exclusive_ = true;
  return OpenError::None;
}

OpenError LinuxSerialDevice::createWaits() {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  readEpoll_ = epoll_create1(EPOLL_CLOEXEC);
  writeEpoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (wakeFd_ < 0 || readEpoll_ < 0 || writeEpoll_ < 0) return OpenError::Other;
  // Edge-triggered: every arrival wakes the receive thread once, however many
  // bytes it leaves in the queue; level-triggered it would spin on them.
  const bool ok = watch(readEpoll_, fd_, EPOLLIN | EPOLLET) && watch(readEpoll_, wakeFd_, EPOLLIN) &&
                  watch(writeEpoll_, fd_, EPOLLOUT) && watch(writeEpoll_, wakeFd_, EPOLLIN);
  return ok ? OpenError::None : OpenError::Other;
}

bool LinuxSerialDevice::readLineSettings() { return tcgetattr(fd_, &settings_) == 0; }

bool LinuxSerialDevice::applyLineSettings() {
  termios t = settings_;
  makeRaw(t);
  setFraming8N1(t);
  disableFlowControl(t);
  enableReceiver(t);
  if (!setSpeed(t) || tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  settings_ = t;
  return clearModemLines(fd_);
}

bool LinuxSerialDevice::clearTimeouts() {
  termios t = settings_;
  clearReadTimeouts(t);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  settings_ = t;
  return true;
}

// The tty layer sizes its own queues; Linux has nothing to set here.
void LinuxSerialDevice::setQueueSizes(int, int) {}

bool LinuxSerialDevice::writeAll(const std::uint8_t* data, std::size_t length) {
  std::size_t written = 0;
  while (written < length) {
    if (shutDown_) return false;
    const ssize_t n = ::write(fd_, data + written, length - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!waitWritable()) return false;
    } else {
      return false;  // EIO: the adapter is gone or the other end closed
    }
  }
  return true;
}

bool LinuxSerialDevice::waitWritable() {
  for (;;) {
    epoll_event events[2];
    const int n = epoll_wait(writeEpoll_, events, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == wakeFd_) return false;
    }
    return true;  // room in the queue, or an error that the next write reports
  }
}

int LinuxSerialDevice::inputQueued() {
  int queued = 0;
  return ioctl(fd_, FIONREAD, &queued) == 0 ? queued : 0;
}

int LinuxSerialDevice::readQueued(std::uint8_t* buffer, int maxLength) {
  int total = 0;
  while (total < maxLength) {
    const ssize_t n = ::read(fd_, buffer + total, static_cast<std::size_t>(maxLength - total));
    if (n > 0) {
      total += static_cast<int>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // nothing more queued, or the line is gone
    }
  }
  return total;
}

void LinuxSerialDevice::purgeInput() { tcflush(fd_, TCIFLUSH); }

void LinuxSerialDevice::purgeOutput() { tcflush(fd_, TCOFLUSH); }

SerialPort::Wake LinuxSerialDevice::waitForArrival() {
  for (;;) {
    epoll_event events[2];
    const int n = epoll_wait(readEpoll_, events, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Wake::Error;
    bool arrival = false;
    bool lineGone = false;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == wakeFd_) return Wake::Shutdown;
      if ((events[i].events & (EPOLLHUP | EPOLLERR)) != 0) lineGone = true;
      if ((events[i].events & EPOLLIN) != 0) arrival = true;
    }
    if (lineGone) return Wake::Error;
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
    pollfd wake{wakeFd_, POLLIN, 0};
    const int n = poll(&wake, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (n > 0) return false;
    if (n < 0 && errno != EINTR) return !shutDown_;
  }
}

void LinuxSerialDevice::shutdown() {
  shutDown_ = true;
  // Never read back, so the eventfd stays readable and every later wait returns too.
  const std::uint64_t one = 1;
  const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  static_cast<void>(n);
}

}  // namespace rs485
