#pragma once

#include <memory>
#include <string>

#include "link/serial_device.h"

namespace rs485 {

// Opens the line that `path` names, by its scheme: tcp://HOST:PORT and
// rfc2217://HOST:PORT reach a serial device server on the network, anything
// else is a local serial device. The opener of the window and of rs485-cli.
std::unique_ptr<SerialDevice> openDevice(const std::string& path, OpenError& error);

}  // namespace rs485
