#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rs485::sim {

// What the parser made of the bytes on the line: a request whose CRC is
// right, or bytes that belong to none and were dropped.
struct ParsedItem {
  enum class Kind { Request, Garbage };
  Kind kind = Kind::Request;
  std::vector<std::uint8_t> bytes;

  std::uint8_t address() const { return bytes[0]; }
  std::uint8_t command() const { return bytes[1]; }
  std::uint8_t newAddress() const { return bytes[2]; }  // address changes only
};

// Finds requests in the byte stream the master writes. Frames have no
// markers, so a frame is recognised by its command byte and its CRC; a byte
// that starts no frame is dropped and the search goes on from the next one,
// and a partial frame is given up after a quiet spell on the line.
class RequestParser {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit RequestParser(std::chrono::microseconds quietReset = std::chrono::milliseconds(20))
      : quietReset_(quietReset) {}

  // Bytes that arrived at `now`. Appends what they complete, in line order.
  void feed(const std::uint8_t* data, std::size_t length, TimePoint now, std::vector<ParsedItem>& out);

  // Gives up a partial frame once the line has been quiet long enough.
  void expire(TimePoint now, std::vector<ParsedItem>& out);

  // When the partial frame held now expires; none when nothing is held.
  std::optional<TimePoint> deadline() const;

  std::size_t pending() const { return buffer_.size(); }

 private:
  void scan(std::vector<ParsedItem>& out);
  void flushGarbage(std::vector<ParsedItem>& out);

  std::chrono::microseconds quietReset_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> garbage_;
  TimePoint lastByte_{};
};

}  // namespace rs485::sim
