#pragma once

#include <QString>

#include "link/port_session.h"
#include "link/serial_port.h"

namespace rs485 {

// Why a port did not open, in the language of the user's messages: the
// reason, the system's own words for the error in parentheses, and, when no
// device was there while brltty runs, that brltty may have taken the adapter
// and how to stop it. For standard error; never shown in the window.
QString openFailureText(OpenError error, int systemError, bool brlttyRunning);

// The same for the last open of `session`; brltty is looked for only when
// the device was missing.
QString openFailureText(const PortSession& session);

}  // namespace rs485
