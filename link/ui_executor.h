#pragma once

#include <functional>

namespace rs485 {

// Posts work to the user-interface thread. post() must return at once and
// must never run the task inline: the task runs later, between the thread's
// other events, one task at a time. The window supplies one built on Qt's
// queued invocation; tests supply a queue that the test thread drains.
class UiExecutor {
 public:
  virtual ~UiExecutor() = default;
  virtual void post(std::function<void()> task) = 0;
};

}  // namespace rs485
