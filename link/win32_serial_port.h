#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/serial_device.h"

namespace rs485 {

// The one place where a Windows error becomes an OpenError.
OpenError openErrorFromWin32(DWORD error);

// Windows' own words for an error (FormatMessageW), in UTF-8, without the
// line break the system ends them with.
std::string win32ErrorText(DWORD error);

// UTF-8 to and from the UTF-16 of Windows' wide calls.
std::string utf8FromWide(const std::wstring& text);
std::wstring wideFromUtf8(const std::string& text);

// The name CreateFile needs: "COM12" as "\\.\COM12", which every COM port
// answers to (COM10 and above to no other); a name already in the device
// namespace ("\\.\...") as it is.
std::wstring win32DeviceName(const std::string& path);

// Owns one Windows handle and closes it when dropped.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept;
  UniqueHandle& operator=(UniqueHandle&& other) noexcept;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void reset();

 private:
  HANDLE handle_ = nullptr;
};

// A COM port opened for overlapped I/O. Each call waits for its own
// overlapped operation together with the shutdown event, and never returns
// while that operation is pending: cut short, it is cancelled and collected
// first. A line that fails (adapter unplugged) is let go at once, so that the
// driver can free the port's name, and is opened again by that name.
class Win32SerialDevice final : public SerialDevice {
 public:
  Win32SerialDevice();
  ~Win32SerialDevice() override;
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  // Opens `path` exclusively; writes Windows' words for a failure to
  // standard error.
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
  struct Line;
  std::shared_ptr<Line> currentLine();
  void loseLine(const std::shared_ptr<Line>& line, DWORD error);
  bool queuedBytes(const std::shared_ptr<Line>& line, DWORD& queued);
  bool waitForLine();

  std::string path_;          // what open() opened, and what reopen() opens again
  UniqueHandle wake_;         // manual-reset, set by shutdown() and never reset
  UniqueHandle lineChanged_;  // auto-reset, set when the line was lost or replaced
  std::atomic<bool> shutDown_{false};

  // The line is swapped under the mutex; every call works on the line it
  // took, which stays open until the last call on it has returned.
  std::mutex lineMutex_;
  std::shared_ptr<Line> line_;
  bool lost_ = false;             // line_ is empty because the line failed
  DCB settings_{};                // as the port reported them, then as applied
  bool timeoutsCleared_ = false;  // clearTimeouts() has been applied
  DWORD inputQueue_ = 0;          // setQueueSizes(), 0 while not set
  DWORD outputQueue_ = 0;
  DWORD seen_ = 0;  // queued bytes that waitForArrival() has reported
};

}  // namespace rs485
