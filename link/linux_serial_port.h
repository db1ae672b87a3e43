#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "link/adapter_identity.h"
#include "link/serial_device.h"
#include "link/unique_fd.h"

namespace rs485 {

// The one place where a system error becomes an OpenError.
OpenError openErrorFromErrno(int error);

// A tty opened for the link: non-blocking I/O on the descriptor, waits in
// epoll, and an eventfd that shutdown() makes readable for good so that every
// wait returns. A line that goes away is let go at once, so that the kernel
// can free its node name, and is found again by what the adapter is.
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
  void releaseLine(std::uint64_t generation);
  std::uint64_t currentGeneration();
  std::optional<std::string> nodeToReopen() const;

  // The descriptor's number never changes while the port is open: a lost
  // line is swapped at once for a stand-in on which every write fails, and a
  // reopen puts the new line in its place, both with dup2(), so that no
  // thread ever holds a number that was closed or given to another file.
  UniqueFd fd_;
  std::string path_;                        // what open() opened
  std::optional<AdapterIdentity> adapter_;  // the USB adapter behind it, when it is one
  bool reopenable_ = true;                  // the line may come back behind path_
  UniqueFd wakeFd_;                         // eventfd, readable once shutdown() has been called
  UniqueFd readEpoll_;                      // receive thread: arrivals on the port, plus wakeFd_
  UniqueFd writeEpoll_;                     // transmit thread: room in the output queue, plus wakeFd_
  bool exclusive_ = false;                  // this descriptor holds the lock and set TIOCEXCL
  std::atomic<bool> shutDown_{false};
  termios settings_{};  // as the port reported them, then as applied
  // Which line the epoll registrations belong to, so that the receive
  // thread lets go of a line that hung up, not of its successor; counts the
  // reopens. The line and both waits are changed under it.
  std::mutex lineMutex_;
  std::uint64_t generation_ = 0;
  bool released_ = false;  // the stand-in holds the line's place
};

}  // namespace rs485
