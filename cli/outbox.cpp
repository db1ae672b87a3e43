#include "cli/outbox.h"

namespace rs485::cli {

void Outbox::push(OutMessage message, std::size_t inFlight) {
  waiting_.push_back(std::move(message));
  while (!waiting_.empty() && waiting_.size() + inFlight > capacity_) {
    waiting_.pop_front();
    ++dropped_;
  }
}

std::optional<OutMessage> Outbox::take() {
  if (waiting_.empty()) return std::nullopt;
  OutMessage message = std::move(waiting_.front());
  waiting_.pop_front();
  return message;
}

}  // namespace rs485::cli
