#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/open_error.h"

namespace rs485 {

// What the exchange engine needs of an open serial line. Every call is safe
// from any thread; waits return early once shutdown() has been called.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Writes all bytes, waiting (cancellably) while the driver's output queue
  // is full. False when the write failed, or shutdown() cut it short.
  virtual bool writeAll(const std::uint8_t* data, std::size_t length) = 0;

  // Number of bytes waiting in the input queue; 0 when it cannot be read.
  // An int, as the system reports it.
  virtual int inputQueued() = 0;

  // Fills as much of `buffer` as the bytes already queued allow, never
  // waiting. Returns the number read (0 when none or on error).
  virtual std::size_t readQueued(std::span<std::uint8_t> buffer) = 0;

  virtual void purgeInput() = 0;
  virtual void purgeOutput() = 0;

  enum class Wake { Arrival, Shutdown, Error };
  // Sleeps until new bytes arrive (every arrival wakes it once, however
  // many bytes are already waiting) or until shutdown().
  virtual Wake waitForArrival() = 0;

  // Sleeps for the given time; false when shutdown() ended it early.
  virtual bool pause(std::chrono::milliseconds duration) = 0;

  // After a failed write: when the device has gone (adapter unplugged) and
  // is back, opens it again by the same path with the same settings,
  // exclusivity and purge, and from then on every call, waitForArrival()
  // included, works on the new line. False while it is not back, or when
  // the line never went (the port keeps the one it has). A port that cannot
  // come back leaves the default.
  virtual bool reopen() { return false; }

  // Wakes every wait, now and later, so that the workers can leave.
  virtual void shutdown() = 0;
};

}  // namespace rs485
