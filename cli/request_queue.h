#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "link/bus_reply.h"

namespace rs485::cli {

// The requests of the server's clients waiting for the bus. Each client's
// go out in the order it sent them, and the requests of all clients in the
// order they came, except that a client's next request, once the one before
// it has had its turn, queues behind every request waiting at that moment.
// So a client that sends many requests at once holds each of the others back
// by one request at most, and no client waits more than `perClient` deep.
class RequestQueue {
 public:
  explicit RequestQueue(std::size_t perClient) : perClient_(perClient) {}

  struct Turn {
    int client = 0;
    BusRequest request;
  };

  // False, and nothing queued, when the client already has `perClient`
  // requests waiting.
  bool push(int client, const BusRequest& request);
  // The request that goes on the bus now, taken out of the queue.
  std::optional<Turn> next();
  // A client that has left: its waiting requests go.
  void remove(int client) { queues_.erase(client); }
  std::size_t waiting(int client) const;
  bool empty() const { return queues_.empty(); }

 private:
  struct Waiting {
    std::uint64_t arrival = 0;
    BusRequest request;
  };
  std::size_t perClient_;
  std::map<int, std::deque<Waiting>> queues_;  // never an empty one
  std::uint64_t arrivals_ = 0;
};

}  // namespace rs485::cli
