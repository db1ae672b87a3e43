#include "link/traffic_trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "link/c_runtime.h"

namespace rs485 {

const char* traceVerdictText(TraceVerdict verdict) {
  switch (verdict) {
    case TraceVerdict::Sent:
      return "sent";
    case TraceVerdict::WriteFailed:
      return "write failed";
    case TraceVerdict::Accepted:
      return "accepted";
    case TraceVerdict::BadCrc:
      return "bad CRC";
    case TraceVerdict::WrongLength:
      return "wrong length";
    case TraceVerdict::DroppedByPurge:
      return "dropped by a purge";
    case TraceVerdict::NotAsked:
      return "not the answer awaited";
  }
  return "?";
}

TrafficTrace::TrafficTrace(Sink sink, Now now) : sink_(std::move(sink)), now_(std::move(now)) {}

std::shared_ptr<TrafficTrace> TrafficTrace::appendToFile(const std::string& path, std::string& error) {
  std::FILE* opened = openForAppending(path);
  if (opened == nullptr) {
    error = std::strerror(errno);
    return nullptr;
  }
  std::shared_ptr<std::FILE> file(opened, std::fclose);
  return std::make_shared<TrafficTrace>([file](const std::string& line) {
    // A trace is for finding out what went wrong, so every line reaches the
    // file at once, crash or not.
    std::fwrite(line.data(), 1, line.size(), file.get());
    std::fflush(file.get());
  });
}

void TrafficTrace::record(TraceDirection direction, std::span<const std::uint8_t> bytes,
                          TraceVerdict verdict) {
  std::lock_guard lock(mutex_);
  // The time is taken under the lock, so the lines are in the order of their times.
  sink_(formatLine(now_(), direction, bytes, verdict));
}

std::string TrafficTrace::formatLine(std::chrono::system_clock::time_point when, TraceDirection direction,
                                     std::span<const std::uint8_t> bytes, TraceVerdict verdict) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto millis = duration_cast<milliseconds>(when - seconds).count();
  const time_t t = system_clock::to_time_t(seconds);
  const std::tm local = localTime(t);
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));

  std::string line = stamp;
  line += direction == TraceDirection::Transmit ? "  TX  " : "  RX  ";
  static constexpr char kHex[] = "0123456789ABCDEF";
  bool first = true;
  for (const std::uint8_t byte : bytes) {
    if (!first) line += ' ';
    first = false;
    line += kHex[byte >> 4];
    line += kHex[byte & 0x0F];
  }
  line += "  ";
  line += traceVerdictText(verdict);
  line += '\n';
  return line;
}

}  // namespace rs485
