#pragma once

#include <QByteArray>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace rs485::cli {

struct OutMessage {
  std::string topic;
  QByteArray payload;
};

// Messages not yet acknowledged by the broker: those waiting here plus
// those handed to the client library (in flight). At most `capacity` of
// them; a new message beyond that pushes out the oldest waiting one.
// Not thread-safe: the publisher locks around it.
class Outbox {
 public:
  static constexpr std::size_t kDefaultCapacity = 1000;
  explicit Outbox(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  void push(OutMessage message, std::size_t inFlight);
  std::optional<OutMessage> take();
  // Back to the front, when the library refused it.
  void putBack(OutMessage message) { waiting_.push_front(std::move(message)); }

  std::size_t waiting() const { return waiting_.size(); }
  std::size_t dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::deque<OutMessage> waiting_;
  std::size_t dropped_ = 0;
};

}  // namespace rs485::cli
