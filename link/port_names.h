#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rs485 {

// The names the window offers.
inline const std::vector<std::string> kPortNames = {"COM1", "COM2", "COM3", "COM4", "COM5"};

// Maps "COMn" to a device path. An explicit mapping (--port COMn=PATH) wins;
// otherwise COMn is the n-th serial device present now: USB adapters
// (ttyUSB*, ttyACM*) in numeric order first, then on-board ttyS* ports that
// have hardware behind them. On Windows COMn is the port Windows names so,
// when its driver lists it now, and is opened and reopened by that name.
class PortNames {
 public:
  // devRoot and sysRoot are "/dev" and "/sys" except in tests.
  explicit PortNames(std::map<std::string, std::string> overrides = {}, std::string devRoot = "/dev",
                     std::string sysRoot = "/sys");

  std::optional<std::string> resolve(const std::string& name) const;

  // What the port named `name` is opened by, so that an adapter that comes
  // back as another ttyUSBn is found again: for a found device its link in
  // devRoot/serial/by-id where it has one, else what resolve() gives.
  std::optional<std::string> stablePath(const std::string& name) const;

  // Serial devices present now, in COM order.
  std::vector<std::string> presentDevices() const;

  // Parses "COMn=PATH". Returns nothing when the text is malformed.
  static std::optional<std::pair<std::string, std::string>> parseOption(const std::string& text);

 private:
  std::map<std::string, std::string> overrides_;
  std::string devRoot_;
  std::string sysRoot_;
};

}  // namespace rs485
