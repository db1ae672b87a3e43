#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rs485::sim {

enum class FrameKind {
  Request,  // a request recognised on the line (whether or not a device answered)
  Answer,   // an answer, recorded once its last byte has been written
  Garbage,  // bytes dropped because they belong to no request
  Line,     // the line went away or came back, or the tool closed its end
};

const char* kindWord(FrameKind kind);  // "req", "ans", "junk", "line"

struct FrameRecord {
  using TimePoint = std::chrono::steady_clock::time_point;

  FrameKind kind = FrameKind::Request;
  // Request: when its last byte was read. Answer: when its first byte was
  // written. Both on the steady clock, comparable with steady_clock::now().
  TimePoint at{};
  // Answer: when its last byte was written; otherwise equal to `at`.
  TimePoint done{};
  std::vector<std::uint8_t> bytes;  // as read, or as written (faults included)
  int address = 0;  // request: the address it names; answer: the answering device's address then
  // Request: "answered", "silent" (the silent fault), "no-device", "refused"
  // (an address change the device turned down). Answer: "ok" or the faults
  // applied joined by '+' ("bad-crc+split"), with "+cut" when the line
  // stopped it. Garbage: "garbage". Line: "gone", "back", "lost" (the
  // served device failed), "closed" (the tool closed its end of the pty).
  std::string verdict;
  std::vector<std::size_t> bursts;  // answer: the sizes of the bursts it went out in
};

// Microseconds of the steady clock, as the log file prints them.
std::int64_t steadyMicros(FrameRecord::TimePoint t);

// Every frame seen and sent, safe to read from any thread while the
// simulator appends to it. Keeps the latest records in memory (the counts
// cover all of them) and, when given a file, writes one line per record.
class FrameLog {
 public:
  static constexpr std::size_t kKeptRecords = 65536;

  FrameLog() = default;
  ~FrameLog();
  FrameLog(const FrameLog&) = delete;
  FrameLog& operator=(const FrameLog&) = delete;

  // Appends to the file from now on; throws std::system_error if it cannot be opened.
  void openFile(const std::string& path);
  void closeFile();

  void add(FrameRecord record);

  std::vector<FrameRecord> snapshot() const;
  std::vector<FrameRecord> snapshot(FrameKind kind) const;
  // How many records of this kind were ever added.
  std::size_t count(FrameKind kind) const;

  // Waits until `n` records of the kind have been added in all; false on time-out.
  bool waitForCount(FrameKind kind, std::size_t n, std::chrono::milliseconds timeout) const;
  // Waits until the predicate, called on the kept records under the log's
  // lock after every addition, holds; false on time-out.
  bool waitUntil(const std::function<bool(const std::deque<FrameRecord>&)>& done,
                 std::chrono::milliseconds timeout) const;

  // One line of the log file, without the newline:
  // "<at µs> <kind> <verdict> <address> <hex bytes>", answers followed by "done=<µs>".
  static std::string format(const FrameRecord& record);

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<FrameRecord> records_;
  std::size_t counts_[4] = {0, 0, 0, 0};
  std::FILE* file_ = nullptr;
};

}  // namespace rs485::sim
