#pragma once

#include <termios.h>

#include <string>

#include "link/unique_fd.h"

namespace rs485 {

// The bus line's tty settings, one concern a function. The link's port
// applies them step by step; the simulator and the tests take them whole.
void makeRaw(termios& t);
void setFraming8N1(termios& t);
void disableFlowControl(termios& t);
void enableReceiver(termios& t);
bool setBusSpeed(termios& t);
void clearReadTimeouts(termios& t);

// The C library's raw mode (cfmakeraw) and nothing more, applied at once.
// False, with errno set, when the tty refuses.
bool applyRaw(int fd);

// Raw mode with every bus line setting above, read timeouts cleared, applied
// at once: what the simulator serves on and what the tests' tool ends use.
// False, with errno set, when the tty refuses.
bool applyRawBusLine(int fd);

// The master end of a new pseudo-terminal, granted and unlocked, and the
// path of its slave end.
struct PtyMaster {
  UniqueFd fd;
  std::string slavePath;
  const char* failed = nullptr;  // the call that failed, errno says why; fd is then closed
};

// `flags` (O_CLOEXEC, O_NONBLOCK) are added to O_RDWR | O_NOCTTY.
PtyMaster openPtyMaster(int flags);

}  // namespace rs485
