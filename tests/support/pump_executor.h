#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "link/ui_executor.h"

namespace rs485::test {

// A user-interface thread for tests without Qt: the test thread is that
// thread, and runs posted tasks when it pumps.
class PumpExecutor : public UiExecutor {
 public:
  void post(std::function<void()> task) override {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
  }

  // Runs every task queued now; returns how many ran.
  int runPending() {
    std::deque<std::function<void()>> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(tasks_);
    }
    for (auto& task : batch) task();
    return static_cast<int>(batch.size());
  }

  // Runs tasks as they come until `done()` holds or the time-out passes.
  // True when done() held. The time-out is a safety net, not a pace.
  bool pumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      std::unique_lock lock(mutex_);
      if (!cv_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return done();
      lock.unlock();
      runPending();
    }
    return true;
  }

  // As above, for a condition that no task brings about (bytes the kernel
  // queues, a thread that parks or ends): done() is also looked at every
  // `recheck` while no task comes.
  bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                 std::chrono::milliseconds recheck) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      std::unique_lock lock(mutex_);
      cv_.wait_until(lock, std::min(deadline, now + recheck), [this] { return !tasks_.empty(); });
      lock.unlock();
      runPending();
    }
    return true;
  }

  // Waits for the next task without running it; true when one is queued.
  bool waitForTask(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
  }

  std::size_t queued() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace rs485::test
