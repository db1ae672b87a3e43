#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "pty_pair.h"

namespace rs485::test {

// A serial device that the test scripts: set-up steps fail where told, writes
// succeed or fail in the order given (then succeed), and everything is logged.
// No byte ever arrives; waits and pauses end early at shutdown().
class FakeLine : public SerialDevice {
 public:
  // `stepLog`, when given, receives the set-up steps and purges too, and
  // outlives the device.
  explicit FakeLine(std::string failingStep = {}, bool* destroyed = nullptr,
                    std::vector<std::string>* stepLog = nullptr)
      : failingStep_(std::move(failingStep)), destroyed_(destroyed), stepLog_(stepLog) {}
  ~FakeLine() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
  }

  bool readLineSettings() override { return step("read settings"); }
  bool applyLineSettings() override { return step("apply settings"); }
  bool clearTimeouts() override { return step("clear timeouts"); }
  void setQueueSizes(int input, int output) override {
    step("queue sizes " + std::to_string(input) + " " + std::to_string(output));
  }

  bool writeAll(const std::uint8_t* data, std::size_t length) override {
    std::unique_lock lock(mutex_);
    if (blockWrites_) changed_.wait(lock, [this] { return shut_; });
    if (shut_) return false;
    const bool ok = writeResults_.empty() || writeResults_.front();
    if (!writeResults_.empty()) writeResults_.pop_front();
    writes_.emplace_back(data, data + length);
    traffic_.push_back(ok ? "write" : "write failed");
    return ok;
  }
  int inputQueued() override { return 0; }
  std::size_t readQueued(std::span<std::uint8_t>) override { return 0; }
  void purgeInput() override { step("purge input"); }
  void purgeOutput() override { step("purge output"); }
  Wake waitForArrival() override {
    std::unique_lock lock(mutex_);
    ++arrivalWaits_;
    if (lineGone_ && !shut_) return Wake::Error;
    changed_.wait(lock, [this] { return shut_; });
    return Wake::Shutdown;
  }
  bool pause(std::chrono::milliseconds duration) override {
    std::unique_lock lock(mutex_);
    traffic_.push_back("pause " + std::to_string(duration.count()));
    return !changed_.wait_for(lock, duration, [this] { return shut_; });
  }
  bool reopen() override {
    std::lock_guard lock(mutex_);
    traffic_.push_back("reopen");
    return false;
  }
  void shutdown() override {
    std::lock_guard lock(mutex_);
    shut_ = true;
    changed_.notify_all();
  }

  void scriptWrites(std::deque<bool> results) {
    std::lock_guard lock(mutex_);
    writeResults_ = std::move(results);
  }
  // Writes wait (as for room in a full output queue) until shutdown().
  void blockWrites() {
    std::lock_guard lock(mutex_);
    blockWrites_ = true;
  }
  // Every wait for arrivals reports the line as gone, as often as it is asked.
  void goneForGood() {
    std::lock_guard lock(mutex_);
    lineGone_ = true;
  }
  int arrivalWaits() const {
    std::lock_guard lock(mutex_);
    return arrivalWaits_;
  }
  std::vector<Bytes> writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::vector<std::string> traffic() const {
    std::lock_guard lock(mutex_);
    return traffic_;
  }
  std::vector<std::string> steps() const {
    std::lock_guard lock(mutex_);
    return steps_;
  }
  bool wasShutDown() const {
    std::lock_guard lock(mutex_);
    return shut_;
  }

 private:
  bool step(const std::string& name) {
    std::lock_guard lock(mutex_);
    steps_.push_back(name);
    if (stepLog_ != nullptr) stepLog_->push_back(name);
    return name != failingStep_;
  }

  const std::string failingStep_;
  bool* const destroyed_;
  std::vector<std::string>* const stepLog_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool shut_ = false;
  bool blockWrites_ = false;
  bool lineGone_ = false;
  int arrivalWaits_ = 0;
  std::deque<bool> writeResults_;
  std::vector<Bytes> writes_;
  std::vector<std::string> traffic_;  // writes, pauses and reopens of the transmit thread
  std::vector<std::string> steps_;    // set-up steps and purges
};

}  // namespace rs485::test
