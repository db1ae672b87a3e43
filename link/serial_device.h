#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/serial_port.h"

namespace rs485 {

// A serial port as it is being opened: the set-up steps that the port
// session performs one after the other before the engine starts.
class SerialDevice : public SerialPort {
 public:
  // Reads the settings the port reports, as the base for the next step.
  virtual bool readLineSettings() = 0;
  // 2400 baud, 8 data bits, no parity, one stop bit, raw binary, no flow
  // control of either kind, receiver on, modem lines ignored; DTR and RTS off.
  virtual bool applyLineSettings() = 0;
  // No read or write time-outs: reads return only what is already queued.
  virtual bool clearTimeouts() = 0;
  // Driver queue sizes; a documented no-op where the driver has none to set.
  virtual void setQueueSizes(int input, int output) = 0;
};

// Opens a device path exclusively. On failure returns null and sets error.
using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(const std::string& path, OpenError& error)>;

// The Linux implementation (termios, epoll, eventfd).
std::unique_ptr<SerialDevice> openLinuxSerialDevice(const std::string& path, OpenError& error);

// The Windows implementation (one COM handle opened for overlapped I/O);
// `path` is "COM1", "COM12" or a name already in the form "\\.\COM12".
std::unique_ptr<SerialDevice> openWin32SerialDevice(const std::string& path, OpenError& error);

}  // namespace rs485
