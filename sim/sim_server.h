#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/readings.h"
#include "sim/answer_builder.h"
#include "sim/device_model.h"
#include "sim/frame_log.h"
#include "sim/pty.h"

namespace rs485::sim {

struct ParsedItem;

struct DeviceConfig {
  int address = 1;  // 1..247, unique on the bus
  Faults faults;
  // Readings evolve by this program; none: a program drawn from the
  // server's seed and this address.
  std::optional<Program> program;
  // When set, every readings answer carries exactly these fields (address
  // and command bytes included; an address byte of 0 stands for the
  // device's own address), whatever the program does.
  std::optional<ReadingsResponse> fixedReadings;
  // From a request's last byte to the first byte of the answer; none: the bus's.
  std::optional<std::chrono::microseconds> turnaround;
  // Joins the device already at `address` instead of being refused: both
  // hear every request to it and answer together, so their answers collide.
  bool sharesAddress = false;
};

struct SimOptions {
  std::vector<DeviceConfig> devices;
  std::string devicePath;  // set: serve this serial device; empty: create a pseudo-terminal
  std::string linkPath;    // pty only, optional: a symlink placed here points to the pty's slave
  bool pace = true;        // false: every answer goes out in one write
  std::chrono::microseconds turnaround{2000};   // from a request's last byte to the answer's first
  std::chrono::microseconds byteTime{4167};     // 10 bits at 2400 baud
  std::chrono::microseconds quietReset{20000};  // silence that gives up a partial request
  std::uint64_t seed = 1;                       // programs and fault draws follow from it
  // Readings evolve this many times faster than real time; 0 freezes them
  // so that only advanceReadings() moves them.
  double speed = 1.0;
  std::string logPath;  // set: append one line per frame to this file
};

struct DeviceStats {
  std::size_t requests = 0;  // requests to this device that it heard or ignored as silent
  std::size_t answers = 0;   // answers it finished writing
};

// A simulated RS-485 bus: any number of devices behind one pseudo-terminal
// or serial device, served from a thread of its own. Every call is safe from
// any thread. Devices are named by their current address, which an address
// change request moves.
class SimServer {
 public:
  // Checks the options (throws std::invalid_argument); opens nothing yet.
  explicit SimServer(SimOptions options);
  ~SimServer();  // stops
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Opens the line, places the symlink and starts serving. Throws
  // std::system_error when the line or the symlink cannot be made.
  void start();
  // Returns promptly, even in the middle of an answer; closes the line and
  // removes the symlink when it still points to this line. start() may follow.
  void stop();
  bool running() const { return running_.load(); }

  // What the tool opens: the pty's slave (it changes when the line comes
  // back) or the served device. Empty before start() and after stop().
  std::string toolPath() const;
  const std::string& linkPath() const { return options_.linkPath; }

  // Line faults (pty only; false otherwise or when not running), played the
  // way a USB adapter pulled out and plugged in again behaves. lineGone
  // closes the master and the simulator's own slave descriptor, so the tool's
  // end sees a hang-up and its writes fail with EIO, and removes the symlink;
  // comeBack creates a new pty and places the symlink again (throws
  // std::system_error when it cannot). Both return once done.
  bool lineGone();
  bool comeBack();
  bool lineUp() const;
  // How the tool's end of the pty is set now (speed, framing, flow control).
  std::optional<LineSettings> lineSettings();
  // lineGone now and comeBack by itself after `outage`; returns once the
  // line has gone. A comeBack meanwhile brings it back sooner.
  bool unplugFor(std::chrono::milliseconds outage);

  // Devices. Calls naming an address that no device has return false.
  // Throws std::invalid_argument on a bad address, or a taken one unless the
  // device shares it.
  void addDevice(const DeviceConfig& device);
  bool removeDevice(int address);
  std::vector<int> addresses() const;
  bool setFaults(int address, const Faults& faults);
  bool setProgram(int address, const Program& program);  // restarts the readings from the program's start
  bool setReadings(int address, const ReadingsResponse& readings);  // answered as is from now on
  bool clearReadings(int address);                                  // back to the program
  // What the device would answer to a readings request now.
  std::optional<ReadingsResponse> readings(int address) const;
  // Moves every device's program on by this much simulated time.
  void advanceReadings(std::chrono::milliseconds simulated);
  std::optional<DeviceStats> stats(int address) const;

  // Frames seen and sent; wait on it rather than sleeping. An answer is
  // recorded just after its last byte has been written, so the tool may read
  // the bytes a moment before the record exists: waitForAnswers bridges that.
  // Answers cut short by stop() or lineGone() count too (verdict "...+cut"),
  // late answers still waiting for their time among them.
  const FrameLog& log() const { return log_; }
  std::size_t requestsSeen() const { return log_.count(FrameKind::Request); }
  std::size_t answersSent() const { return log_.count(FrameKind::Answer); }
  bool waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    return log_.waitForCount(FrameKind::Request, n, timeout);
  }
  bool waitForAnswers(std::size_t n, std::chrono::milliseconds timeout) const {
    return log_.waitForCount(FrameKind::Answer, n, timeout);
  }

  const SimOptions& options() const { return options_; }

 private:
  struct Device;
  struct Transmission;
  struct Loop;

  using TimePoint = std::chrono::steady_clock::time_point;

  Device* findDevice(int address);
  const Device* findDevice(int address) const;
  void syncClock(Device& device) const;
  void runOnLoop(const std::function<void()>& task);

  // The serving thread.
  void serve();
  void runTasks();
  void handleItems(std::vector<ParsedItem>& items, TimePoint now);
  void handleRequest(const ParsedItem& item, TimePoint now);
  std::optional<Transmission> answer(Device& device, const ParsedItem& item, FrameRecord& request);
  Transmission collision(std::vector<Transmission> answers) const;
  void pace(Transmission& t, const std::vector<std::size_t>& bursts,
            const std::vector<std::chrono::microseconds>& gaps) const;
  void releaseLate(TimePoint now);
  void arm();
  void pump(TimePoint now);
  // Ends the answer being written (or all of them, late ones included),
  // logging what went out.
  void cut(Transmission& t, TimePoint now);
  void cutFront(TimePoint now);
  void cutAll(TimePoint now);
  void unplug(TimePoint now, const char* verdict);
  void plugIn();

  SimOptions options_;
  FrameLog log_;

  mutable std::mutex devicesMutex_;
  std::vector<std::unique_ptr<Device>> devices_;
  std::uint64_t nextDeviceId_ = 0;

  mutable std::mutex pathMutex_;
  std::string toolPath_;

  std::mutex controlMutex_;  // start, stop and the line faults, one at a time
  std::unique_ptr<Loop> loop_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> lineUp_{false};
};

}  // namespace rs485::sim
