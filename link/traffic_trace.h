#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace rs485 {

enum class TraceDirection { Transmit, Receive };

// What the engine made of the bytes of one line.
enum class TraceVerdict {
  Sent,            // a write completed
  WriteFailed,     // a write did not complete; the frame goes out again
  Accepted,        // a frame of ExpectedLength bytes with a good CRC
  BadCrc,          // a frame of ExpectedLength bytes whose CRC did not match
  WrongLength,     // bytes that were not a frame of ExpectedLength bytes
  DroppedByPurge,  // a whole frame's worth of bytes that came too late
  NotAsked,        // a good readings frame that is not the answer of the request in flight
};

const char* traceVerdictText(TraceVerdict verdict);

// The opt-in traffic trace: one line per frame sent or received, as
//   2024-05-01 12:34:56.789  TX  01 50 00 1C  sent
// (local time with milliseconds, direction, the bytes in hex, the verdict;
// fields apart by two spaces). Safe from any thread: the transmit thread's
// lines and the user-interface thread's are serialised here, and each line is
// handed to the sink whole.
class TrafficTrace {
 public:
  using Sink = std::function<void(const std::string& line)>;  // gets the line with its '\n'
  using Now = std::function<std::chrono::system_clock::time_point()>;

  explicit TrafficTrace(
      Sink sink, Now now = [] { return std::chrono::system_clock::now(); });

  // A trace appended to the file at `path` (created when missing), flushed
  // after every line. Null, with the system's reason in `error`, when the
  // file cannot be opened.
  static std::shared_ptr<TrafficTrace> appendToFile(const std::string& path, std::string& error);

  void record(TraceDirection direction, std::span<const std::uint8_t> bytes, TraceVerdict verdict);

  static std::string formatLine(std::chrono::system_clock::time_point when, TraceDirection direction,
                                std::span<const std::uint8_t> bytes, TraceVerdict verdict);

 private:
  std::mutex mutex_;
  Sink sink_;
  Now now_;
};

}  // namespace rs485
