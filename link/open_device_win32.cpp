#include "link/open_device.h"

namespace rs485 {

// The network ports are not part of the Windows build yet: every path names
// a local COM port, and a tcp:// one fails to open as a missing port.
std::unique_ptr<SerialDevice> openDevice(const std::string& path, OpenError& error) {
  return openWin32SerialDevice(path, error);
}

}  // namespace rs485
