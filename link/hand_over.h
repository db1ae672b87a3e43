#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "link/ui_executor.h"

namespace rs485 {

// Runs a worker's completion handler on the user-interface thread and keeps
// the worker waiting until it has run. One per open port: cancel() releases
// every waiting worker at once, and a task that is still queued then does
// nothing when the user-interface thread gets to it, even after this object
// is gone.
class HandOver {
 public:
  explicit HandOver(UiExecutor& ui);
  ~HandOver();
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // Worker side. True when `handler` ran; false when cancel() came first
  // (then it never runs).
  bool run(std::function<void()> handler);

  // User-interface side; for good.
  void cancel();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool cancelled = false;
  };

  UiExecutor& ui_;
  std::shared_ptr<State> state_;
};

}  // namespace rs485
