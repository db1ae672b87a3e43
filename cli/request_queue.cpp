#include "cli/request_queue.h"

namespace rs485::cli {

bool RequestQueue::push(int client, const BusRequest& request) {
  auto& queue = queues_[client];
  if (queue.size() >= perClient_) return false;
  queue.push_back({.arrival = arrivals_++, .request = request});
  return true;
}

std::optional<RequestQueue::Turn> RequestQueue::next() {
  auto chosen = queues_.end();
  for (auto it = queues_.begin(); it != queues_.end(); ++it) {
    if (chosen == queues_.end() || it->second.front().arrival < chosen->second.front().arrival) chosen = it;
  }
  if (chosen == queues_.end()) return std::nullopt;
  const Turn turn{.client = chosen->first, .request = chosen->second.front().request};
  chosen->second.pop_front();
  if (chosen->second.empty()) {
    queues_.erase(chosen);
  } else {
    chosen->second.front().arrival = arrivals_++;  // behind everything waiting now
  }
  return turn;
}

std::size_t RequestQueue::waiting(int client) const {
  const auto it = queues_.find(client);
  return it == queues_.end() ? 0 : it->second.size();
}

}  // namespace rs485::cli
