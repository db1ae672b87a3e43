#include "link/open_device.h"

#include "link/network_address.h"
#include "link/network_serial_device.h"

namespace rs485 {

std::unique_ptr<SerialDevice> openDevice(const std::string& path, OpenError& error) {
  if (isNetworkPath(path)) return openNetworkSerialDevice(path, error);
  return openLinuxSerialDevice(path, error);
}

}  // namespace rs485
