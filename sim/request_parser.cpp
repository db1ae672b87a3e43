#include "sim/request_parser.h"

#include "protocol/frames.h"

namespace rs485::sim {

void RequestParser::feed(const std::uint8_t* data, std::size_t length, TimePoint now,
                         std::vector<ParsedItem>& out) {
  if (length == 0) return;
  expire(now, out);
  buffer_.insert(buffer_.end(), data, data + length);
  lastByte_ = now;
  scan(out);
  flushGarbage(out);
}

void RequestParser::expire(TimePoint now, std::vector<ParsedItem>& out) {
  if (buffer_.empty() || now - lastByte_ < quietReset_) return;
  garbage_.insert(garbage_.end(), buffer_.begin(), buffer_.end());
  buffer_.clear();
  flushGarbage(out);
}

std::optional<RequestParser::TimePoint> RequestParser::deadline() const {
  if (buffer_.empty()) return std::nullopt;
  return lastByte_ + quietReset_;
}

void RequestParser::scan(std::vector<ParsedItem>& out) {
  std::size_t start = 0;
  while (buffer_.size() - start >= 2) {
    const std::size_t needed = requestLength(buffer_[start + 1]);
    if (needed != 0 && buffer_.size() - start < needed) break;  // wait for the rest
    if (needed != 0 && frameCrcMatches(std::span(buffer_).subspan(start, needed))) {
      flushGarbage(out);
      const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(start);
      out.push_back({ParsedItem::Kind::Request, {begin, begin + static_cast<std::ptrdiff_t>(needed)}});
      start += needed;
    } else {
      garbage_.push_back(buffer_[start]);
      ++start;
    }
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));
}

void RequestParser::flushGarbage(std::vector<ParsedItem>& out) {
  if (garbage_.empty()) return;
  out.push_back({ParsedItem::Kind::Garbage, std::move(garbage_)});
  garbage_.clear();
}

}  // namespace rs485::sim
