#include "link/hand_over.h"

#include <utility>

namespace rs485 {

HandOver::HandOver(UiExecutor& ui) : ui_(ui), state_(std::make_shared<State>()) {}

HandOver::~HandOver() { cancel(); }

bool HandOver::run(std::function<void()> handler) {
  // The task owns what it needs: it may be run (as a no-op) long after the
  // worker and this object are gone.
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled) return false;
  }
  ui_.post([state = state_, done, handler = std::move(handler)] {
    {
      std::lock_guard lock(state->mutex);
      if (state->cancelled) return;
    }
    handler();
    {
      std::lock_guard lock(state->mutex);
      *done = true;
    }
    state->changed.notify_all();
  });

  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return *done || state_->cancelled; });
  return *done;
}

void HandOver::cancel() {
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
  }
  state_->changed.notify_all();
}

}  // namespace rs485
