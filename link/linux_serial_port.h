#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/serial_device.h"
#include "link/unique_fd.h"

namespace rs485 {

// The one place where a system error becomes an OpenError.
OpenError openErrorFromErrno(int error);

// A tty opened for the link: non-blocking I/O on the descriptor, waits in
// epoll, and an eventfd that shutdown() makes readable for good so that every
// wait returns.
class LinuxSerialDevice final : public SerialDevice {
 public:
  LinuxSerialDevice() = default;
  ~LinuxSerialDevice() override;
  LinuxSerialDevice(const LinuxSerialDevice&) = delete;
  LinuxSerialDevice& operator=(const LinuxSerialDevice&) = delete;

  // Opens `path` exclusively; on failure what was opened is closed again by
  // the destructor.
  OpenError open(const std::string& path);

  bool readLineSettings() override;
  bool applyLineSettings() override;
  bool clearTimeouts() override;
  void setQueueSizes(int input, int output) override;

  bool writeAll(const std::uint8_t* data, std::size_t length) override;
  int inputQueued() override;
  std::size_t readQueued(std::span<std::uint8_t> buffer) override;
  void purgeInput() override;
  void purgeOutput() override;
  Wake waitForArrival() override;
  bool pause(std::chrono::milliseconds duration) override;
  bool reopen() override;
  void shutdown() override;

 private:
  OpenError createWaits();
  bool waitWritable();
  bool watchLine(std::uint64_t generation);
  void forgetDeadLine(std::uint64_t generation);

  // The descriptor's number never changes while the port is open: a reopen
  // puts the new line in its place with dup2(), so that no thread ever
  // holds a number that was closed or given to another file.
  UniqueFd fd_;
  std::string path_;        // what open() and reopen() open
  UniqueFd wakeFd_;         // eventfd, readable once shutdown() has been called
  UniqueFd readEpoll_;      // receive thread: arrivals on the port, plus wakeFd_
  UniqueFd writeEpoll_;     // transmit thread: room in the output queue, plus wakeFd_
  bool exclusive_ = false;  // this descriptor holds the lock and set TIOCEXCL
  std::atomic<bool> shutDown_{false};
  termios settings_{};  // as the port reported them, then as applied
  // Which line the epoll registrations belong to, so that the receive
  // thread drops the registration of a line that hung up, not of its
  // successor; counts the reopens. Both waits are changed under it.
  std::mutex lineMutex_;
  std::uint64_t generation_ = 0;
};

}  // namespace rs485
