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

// The system's own words for why a call failed: errno's text for a positive
// code, the resolver's for getaddrinfo's negative ones ("Name or service not
// known"), which no errno stands for.
std::string systemErrorText(int code);

}  // namespace rs485
