#include "link/raw_tty.h"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>

namespace rs485 {

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
bool setBusSpeed(termios& t) { return cfsetispeed(&t, B2400) == 0 && cfsetospeed(&t, B2400) == 0; }

// A read returns at once with what is queued; the reader decides when to read.
void clearReadTimeouts(termios& t) {
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

bool applyRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool applyRawBusLine(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  makeRaw(t);
  setFraming8N1(t);
  disableFlowControl(t);
  enableReceiver(t);
  clearReadTimeouts(t);
  return setBusSpeed(t) && tcsetattr(fd, TCSANOW, &t) == 0;
}

PtyMaster openPtyMaster(int flags) {
  PtyMaster pty;
  pty.fd = UniqueFd(posix_openpt(O_RDWR | O_NOCTTY | flags));
  char name[PATH_MAX];
  if (!pty.fd.valid())
    pty.failed = "posix_openpt";
  else if (grantpt(pty.fd.get()) != 0)
    pty.failed = "grantpt";
  else if (unlockpt(pty.fd.get()) != 0)
    pty.failed = "unlockpt";
  else if (ptsname_r(pty.fd.get(), name, sizeof name) != 0)
    pty.failed = "ptsname_r";
  else
    pty.slavePath = name;
  if (pty.failed != nullptr) {
    const int error = errno;
    pty.fd.reset();
    errno = error;
  }
  return pty;
}

}  // namespace rs485
