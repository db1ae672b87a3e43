#include "link/write_gate.h"

namespace rs485 {

void WriteGate::park() {
  std::lock_guard lock(mutex_);
  parked_ = true;
}

void WriteGate::release() {
  {
    std::lock_guard lock(mutex_);
    if (!parked_) return;
    parked_ = false;
  }
  changed_.notify_all();
}

void WriteGate::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool WriteGate::waitWhileParked() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !parked_ || closed_; });
  return !closed_;
}

bool WriteGate::parked() const {
  std::lock_guard lock(mutex_);
  return parked_;
}

}  // namespace rs485
