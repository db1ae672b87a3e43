#pragma once

#include <chrono>

#include "link/telnet_codec.h"

namespace rs485 {

// The steps of a Telnet connection to a serial device server before the
// engine uses it, each waiting on the socket by `deadline` (or until the
// wake-up descriptor `wakeFd` is readable). Bytes of the line that arrive
// meanwhile are thrown away. On failure `error` holds the reason: an errno,
// or 0 when the server refused what was asked.
struct Rfc2217Setup {
  int socket;
  telnet::Client& client;
  int wakeFd;
  std::chrono::steady_clock::time_point deadline;
  int error = 0;

  // Offers binary both ways and the serial port option, and waits for the
  // server's answers; true when it agrees to let the client set the line.
  bool negotiate();
  // 2400 baud, 8 data bits, no parity, one stop bit, no flow control, DTR and
  // RTS off; true once the server has confirmed the speed and the framing,
  // and then purged both of its queues.
  bool setLine();

 private:
  template <typename Done>
  bool awaitServer(Done done);
};

}  // namespace rs485
