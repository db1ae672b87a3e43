#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/serial_device.h"

namespace rs485::test {

using namespace std::chrono_literals;

// The real serial line with two hooks that pin down the moment bytes reach
// the window: the receive thread can be held after an arrival, and the next
// purge of the input queue can be made to return only once new bytes have
// arrived behind it, as when an answer lands at the moment of a tick.
class GatedLine : public SerialDevice {
 public:
  explicit GatedLine(std::unique_ptr<SerialDevice> line) : line_(std::move(line)) {}
  ~GatedLine() override = default;

  bool readLineSettings() override { return line_->readLineSettings(); }
  bool applyLineSettings() override { return line_->applyLineSettings(); }
  bool clearTimeouts() override { return line_->clearTimeouts(); }
  void setQueueSizes(int input, int output) override { line_->setQueueSizes(input, output); }
  bool writeAll(const std::uint8_t* data, std::size_t length) override {
    return line_->writeAll(data, length);
  }
  int inputQueued() override { return line_->inputQueued(); }
  std::size_t readQueued(std::span<std::uint8_t> buffer) override { return line_->readQueued(buffer); }
  void purgeOutput() override { line_->purgeOutput(); }
  bool reopen() override { return line_->reopen(); }
  bool pause(std::chrono::milliseconds duration) override { return line_->pause(duration); }

  void purgeInput() override {
    std::unique_lock lock(mutex_);
    if (!bytesAfterNextPurge_) {
      lock.unlock();
      line_->purgeInput();
      return;
    }
    bytesAfterNextPurge_ = false;
    queuedBeforeArmedPurge_ = line_->inputQueued();
    line_->purgeInput();
    const std::size_t seen = arrivals_;
    changed_.wait_for(lock, 10s, [&] { return arrivals_ != seen || shut_; });
  }

  Wake waitForArrival() override {
    {
      std::lock_guard lock(mutex_);
      waiting_ = true;
    }
    changed_.notify_all();
    const Wake wake = line_->waitForArrival();
    std::unique_lock lock(mutex_);
    waiting_ = false;
    if (wake == Wake::Arrival) ++arrivals_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holding_ || shut_; });
    return shut_ ? Wake::Shutdown : wake;
  }

  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      shut_ = true;
    }
    changed_.notify_all();
    line_->shutdown();
  }

  // The receive thread stops after the next arrival until released: the
  // bytes wait in the input queue.
  void holdReceive() {
    std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void releaseReceive() {
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
    }
    changed_.notify_all();
  }
  // The next purge of the input queue returns once bytes have arrived after it.
  void bytesAfterNextPurge() {
    std::lock_guard lock(mutex_);
    bytesAfterNextPurge_ = true;
    queuedBeforeArmedPurge_ = -1;
  }
  // Arrivals of bytes the receive thread has woken for.
  std::size_t arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }
  // The receive thread has woken for an arrival after the first `arrivals`,
  // dealt with the bytes (a hand-over returns only once the window has run
  // its handler) and waits again.
  bool settledAfter(std::size_t arrivals) const {
    std::lock_guard lock(mutex_);
    return arrivals_ > arrivals && waiting_;
  }
  // What the armed purge found and threw away; 0 when the bytes came after it.
  int queuedBeforeArmedPurge() const {
    std::lock_guard lock(mutex_);
    return queuedBeforeArmedPurge_;
  }

 private:
  std::unique_ptr<SerialDevice> line_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t arrivals_ = 0;
  bool waiting_ = false;
  bool holding_ = false;
  bool bytesAfterNextPurge_ = false;
  int queuedBeforeArmedPurge_ = -1;
  bool shut_ = false;
};

}  // namespace rs485::test
