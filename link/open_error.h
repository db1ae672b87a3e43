#pragma once

#include <string>

namespace rs485 {

// Why a port did not open, mapped once from the system's error.
enum class OpenError {
  None,
  NotFound,          // no such device, or a name that names nothing
  PermissionDenied,  // the user may not open it (on Linux: not in "dialout")
  Busy,              // another program holds it
  NotSerial,         // it exists but is no serial device
  SettingsRejected,  // it opened but refused the line settings
  Other,
};

// Plain words for standard error; never shown in the window.
std::string describe(OpenError error);

}  // namespace rs485
