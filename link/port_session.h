#pragma once

#include <memory>
#include <string>

#include "link/exchange.h"
#include "link/open_device.h"
#include "link/port_names.h"
#include "link/serial_device.h"

namespace rs485 {

// Opens the chosen port with the fixed line settings and starts the engine;
// closes it again. User-interface thread only.
class PortSession {
 public:
  PortSession(Exchange& exchange, PortNames names, DeviceOpener opener = openDevice);
  ~PortSession();

  // Opens the port named `portName` ("COM1".."COM5"). False when any step
  // fails; then nothing stays open and lastError() says why.
  bool COMOpen(const std::string& portName);
  // Stops the engine's threads and closes the port; the request in flight
  // gets its reply. Safe when nothing is open.
  void COMClose();

  bool isOpen() const { return device_ != nullptr; }
  OpenError lastError() const { return lastError_; }
  // errno of the system call that failed the last open, 0 when none did; a
  // network port's failed name lookup leaves the resolver's negative code.
  int lastErrno() const { return lastErrno_; }
  // describe(lastError()), then the system's own text in parentheses when there is one.
  std::string lastErrorText() const;
  const std::string& lastPath() const { return lastPath_; }
  const PortNames& names() const { return names_; }

 private:
  Exchange& exchange_;
  PortNames names_;
  DeviceOpener opener_;
  std::unique_ptr<SerialDevice> device_;  // PortHandle
  OpenError lastError_ = OpenError::None;
  int lastErrno_ = 0;
  std::string lastPath_;
};

}  // namespace rs485
