#pragma once

#include <optional>
#include <string>

#include "link/unique_fd.h"

namespace rs485::sim {

// The end of the line that the simulator serves.
struct Line {
  UniqueFd io;           // read requests here, write answers here (non-blocking)
  UniqueFd innerSlave;   // pty only: a slave descriptor the simulator holds but never reads
  UniqueFd closeWatch;   // pty only: inotify descriptor reporting closes of the slave by others
  std::string toolPath;  // what the tool opens: the slave of the pty, or the serial device
  bool isPty = false;

  void close();
};

// The speed and framing that the line is set to now, as whoever opened its
// tool end left them (a pseudo-terminal's master reads the slave's settings).
struct LineSettings {
  int baud = 0;  // 0: a speed other than the usual ones
  int dataBits = 0;
  bool parity = false;
  int stopBits = 0;
  bool hardwareFlowControl = false;
  bool softwareFlowControl = false;
};
std::optional<LineSettings> lineSettingsOf(const Line& line);

// Creates a pseudo-terminal. The slave is made raw at once (no echo, no line
// discipline) so that the tool never sees its own request come back, and one
// slave descriptor stays open inside the simulator so that the master sees
// no hang-up while the tool closes and reopens its end. Throws std::system_error.
Line openPseudoTerminal();

// Opens a real serial device: raw binary, 2400 baud 8N1, no flow control,
// modem lines ignored. Throws std::system_error.
Line openSerialDevice(const std::string& path);

// After the tool closed the slave: exclusive mode, which a pty keeps while
// its master lives, would otherwise make the tool's next open fail with
// EBUSY for anyone but root. Returns true if the tool closed it since the last call.
bool takeToolClose(Line& line);

// Places a symlink at `link` that points to `target`, replacing an existing
// symlink atomically; any other kind of file there is an error. Throws std::system_error.
void placeSymlink(const std::string& link, const std::string& target);

// Removes the symlink at `link` if it still points to `target`.
void removeSymlink(const std::string& link, const std::string& target);

// An eventfd that wakes the simulator's thread.
class Wakeup {
 public:
  Wakeup();  // throws std::system_error
  int fd() const { return fd_.get(); }
  void notify();
  void drain();

 private:
  UniqueFd fd_;
};

}  // namespace rs485::sim
