#include "sim/frame_log.h"

#include <cerrno>
#include <system_error>

namespace rs485::sim {

namespace {
std::size_t index(FrameKind kind) { return static_cast<std::size_t>(kind); }
}  // namespace

const char* kindWord(FrameKind kind) {
  switch (kind) {
    case FrameKind::Request:
      return "req";
    case FrameKind::Answer:
      return "ans";
    case FrameKind::Garbage:
      return "junk";
    case FrameKind::Line:
      return "line";
  }
  return "?";
}

std::int64_t steadyMicros(FrameRecord::TimePoint t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

FrameLog::~FrameLog() { closeFile(); }

void FrameLog::openFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) throw std::system_error(errno, std::generic_category(), "cannot open log " + path);
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = file;
}

void FrameLog::closeFile() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

std::string FrameLog::format(const FrameRecord& r) {
  static const char* const hex = "0123456789ABCDEF";
  std::string line = std::to_string(steadyMicros(r.at)) + ' ' + kindWord(r.kind) + ' ' + r.verdict + ' ' +
                     std::to_string(r.address);
  for (const std::uint8_t b : r.bytes) {
    line += ' ';
    line += hex[b >> 4];
    line += hex[b & 0x0F];
  }
  if (r.kind == FrameKind::Answer) line += " done=" + std::to_string(steadyMicros(r.done));
  return line;
}

void FrameLog::add(FrameRecord record) {
  {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
      const std::string line = format(record) + '\n';
      std::fputs(line.c_str(), file_);
      std::fflush(file_);
    }
    ++counts_[index(record.kind)];
    records_.push_back(std::move(record));
    if (records_.size() > kKeptRecords) records_.pop_front();
  }
  changed_.notify_all();
}

std::vector<FrameRecord> FrameLog::snapshot() const {
  std::lock_guard lock(mutex_);
  return {records_.begin(), records_.end()};
}

std::vector<FrameRecord> FrameLog::snapshot(FrameKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<FrameRecord> out;
  for (const auto& r : records_)
    if (r.kind == kind) out.push_back(r);
  return out;
}

std::size_t FrameLog::count(FrameKind kind) const {
  std::lock_guard lock(mutex_);
  return counts_[index(kind)];
}

bool FrameLog::waitForCount(FrameKind kind, std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return counts_[index(kind)] >= n; });
}

bool FrameLog::waitUntil(const std::function<bool(const std::deque<FrameRecord>&)>& done,
                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(records_); });
}

}  // namespace rs485::sim
