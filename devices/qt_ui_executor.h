#pragma once

#include <functional>

#include "link/ui_executor.h"

class QObject;

namespace rs485 {

// Runs the engine's hand-overs on the thread of `target` (the window), as
// queued calls between its other events. The target must outlive every
// thread that posts: the window stops the engine before it goes.
class QtUiExecutor : public UiExecutor {
 public:
  explicit QtUiExecutor(QObject* target) : target_(target) {}
  void post(std::function<void()> task) override;

 private:
  QObject* target_;
};

}  // namespace rs485
