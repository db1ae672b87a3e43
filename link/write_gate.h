#pragma once

#include <condition_variable>
#include <mutex>

namespace rs485 {

// Where the transmit thread waits between requests. It starts parked;
// park() comes from the completion handler of a successful write, release()
// from the next request. A release that finds the thread not parked is
// dropped, so one release gives one successful write: the thread is busy
// rewriting after a failure, or its write has completed and the completion
// handler has not parked it yet (the engine then sees that a newer frame
// waits and leaves it running).
class WriteGate {
 public:
  void park();
  void release();
  // For good: every wait returns at once, now and later.
  void close();

  // Transmit thread: returns when released or closed; true when released.
  bool waitWhileParked();

  bool parked() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool parked_ = true;
  bool closed_ = false;
};

}  // namespace rs485
