#include "sim/sim_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <future>
#include <stdexcept>
#include <system_error>

#include "protocol/frames.h"
#include "sim/pty.h"
#include "sim/request_parser.h"

namespace rs485::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

struct SimServer::Device {
  Device(const DeviceConfig& config, std::uint64_t seed, std::uint64_t serial)
      : id(serial),
        address(config.address),
        fixed(config.fixedReadings),
        model(config.program ? *config.program
                             : Program::random(mixSeed(seed, static_cast<std::uint64_t>(address)))),
        answers(config.faults, mixSeed(seed, 1000 + static_cast<std::uint64_t>(address))),
        turnaround(config.turnaround) {}

  std::uint64_t id;
  int address;
  std::optional<ReadingsResponse> fixed;
  DeviceModel model;
  TimePoint synced = Clock::now();
  double carryMs = 0;  // simulated time not yet handed to the model
  AnswerBuilder answers;
  std::optional<std::chrono::microseconds> turnaround;
  DeviceStats stats;
};

struct SimServer::Transmission {
  struct Chunk {
    std::size_t offset;
    std::size_t length;
    std::chrono::microseconds delay;  // after the previous chunk went out: the line never runs early
  };
  std::vector<std::uint8_t> bytes;
  std::vector<Chunk> chunks;
  std::chrono::microseconds wait{};  // from the request's last byte to the earliest first byte
  bool late = false;                 // waits in Loop::late for its time instead of queueing at once
  TimePoint earliest{};              // the request's last byte plus `wait`
  bool armed = false;                // `due` is set: this is the answer on the line now
  TimePoint due{};                   // when chunk `next` goes out
  std::size_t next = 0;
  std::size_t sentInChunk = 0;  // bytes of chunk `next` already written
  std::uint64_t deviceId = 0;
  FrameRecord record;

  std::size_t written() const {
    return next < chunks.size() ? chunks[next].offset + sentInChunk : bytes.size();
  }
};

// Everything only the serving thread touches while it runs.
struct SimServer::Loop {
  explicit Loop(const SimOptions& options) : parser(options.quietReset) {}

  Line line;
  std::string linkTarget;  // what the symlink was last pointed at
  Wakeup wake;
  RequestParser parser;
  std::deque<Transmission> tx;
  std::deque<Transmission> late;  // late answers not yet due, earliest first
  bool waitWritable = false;
  std::optional<TimePoint> replugAt;  // a timed unplug ends then
  TimePoint lastWrite{};              // when the previous answer's last byte went out

  std::mutex tasksMutex;
  std::vector<std::pair<std::function<void()>, std::promise<void>>> tasks;
};

SimServer::SimServer(SimOptions options) : options_(std::move(options)) {
  if (!options_.devicePath.empty() && !options_.linkPath.empty())
    throw std::invalid_argument("a symlink is placed only for a pseudo-terminal");
  if (!(options_.speed >= 0.0)) throw std::invalid_argument("speed must not be negative");
  if (options_.turnaround.count() < 0 || options_.byteTime.count() < 0 || options_.quietReset.count() <= 0)
    throw std::invalid_argument("bad timing");
  const auto devices = std::move(options_.devices);
  options_.devices.clear();
  for (const auto& d : devices) addDevice(d);
  options_.devices = devices;
}

SimServer::~SimServer() { stop(); }

SimServer::Device* SimServer::findDevice(int address) {
  for (auto& d : devices_)
    if (d->address == address) return d.get();
  return nullptr;
}

const SimServer::Device* SimServer::findDevice(int address) const {
  for (const auto& d : devices_)
    if (d->address == address) return d.get();
  return nullptr;
}

void SimServer::addDevice(const DeviceConfig& config) {
  if (!isBusAddress(config.address))
    throw std::invalid_argument("device address out of 1..247: " + std::to_string(config.address));
  checkFaults(config.faults);
  std::lock_guard lock(devicesMutex_);
  if (config.turnaround && config.turnaround->count() < 0) throw std::invalid_argument("bad turnaround");
  if (findDevice(config.address) != nullptr && !config.sharesAddress)
    throw std::invalid_argument("two devices at address " + std::to_string(config.address));
  devices_.push_back(std::make_unique<Device>(config, options_.seed, nextDeviceId_++));
}

bool SimServer::removeDevice(int address) {
  std::lock_guard lock(devicesMutex_);
  const auto it =
      std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->address == address; });
  if (it == devices_.end()) return false;
  devices_.erase(it);
  return true;
}

std::vector<int> SimServer::addresses() const {
  std::lock_guard lock(devicesMutex_);
  std::vector<int> out;
  for (const auto& d : devices_) out.push_back(d->address);
  return out;
}

bool SimServer::setFaults(int address, const Faults& faults) {
  checkFaults(faults);
  std::lock_guard lock(devicesMutex_);
  Device* d = findDevice(address);
  if (d == nullptr) return false;
  d->answers.setFaults(faults);
  return true;
}

bool SimServer::setProgram(int address, const Program& program) {
  DeviceModel model(program);
  std::lock_guard lock(devicesMutex_);
  Device* d = findDevice(address);
  if (d == nullptr) return false;
  d->model = std::move(model);
  d->synced = Clock::now();
  d->carryMs = 0;
  return true;
}

bool SimServer::setReadings(int address, const ReadingsResponse& readings) {
  std::lock_guard lock(devicesMutex_);
  Device* d = findDevice(address);
  if (d == nullptr) return false;
  d->fixed = readings;
  return true;
}

bool SimServer::clearReadings(int address) {
  std::lock_guard lock(devicesMutex_);
  Device* d = findDevice(address);
  if (d == nullptr) return false;
  d->fixed.reset();
  return true;
}

void SimServer::syncClock(Device& d) const {
  const TimePoint now = Clock::now();
  if (options_.speed > 0) {
    const double ms =
        std::chrono::duration<double, std::milli>(now - d.synced).count() * options_.speed + d.carryMs;
    const double whole = std::floor(ms);
    d.carryMs = ms - whole;
    d.model.advance(std::chrono::milliseconds(static_cast<std::int64_t>(whole)));
  }
  d.synced = now;
}

namespace {
// Fixed readings naming address 0, which no device has, name the device.
ReadingsResponse withOwnAddress(ReadingsResponse readings, std::uint8_t self) {
  if (readings.address == 0) readings.address = self;
  return readings;
}
}  // namespace

std::optional<ReadingsResponse> SimServer::readings(int address) const {
  std::lock_guard lock(devicesMutex_);
  for (const auto& d : devices_) {
    if (d->address != address) continue;
    if (d->fixed) return withOwnAddress(*d->fixed, static_cast<std::uint8_t>(address));
    syncClock(*d);
    return d->model.readings(static_cast<std::uint8_t>(address));
  }
  return std::nullopt;
}

void SimServer::advanceReadings(std::chrono::milliseconds simulated) {
  std::lock_guard lock(devicesMutex_);
  for (auto& d : devices_) {
    syncClock(*d);
    d->model.advance(simulated);
  }
}

std::optional<DeviceStats> SimServer::stats(int address) const {
  std::lock_guard lock(devicesMutex_);
  const Device* d = findDevice(address);
  if (d == nullptr) return std::nullopt;
  return d->stats;
}

std::string SimServer::toolPath() const {
  std::lock_guard lock(pathMutex_);
  return toolPath_;
}

bool SimServer::lineUp() const { return lineUp_.load(); }

std::optional<LineSettings> SimServer::lineSettings() {
  std::lock_guard lock(controlMutex_);
  if (!running_) return std::nullopt;
  std::optional<LineSettings> settings;
  runOnLoop([&] { settings = lineSettingsOf(loop_->line); });
  return settings;
}

// ---------------------------------------------------------------------------
// Serving. Everything below runs on the serving thread, or on the caller's
// thread while that thread does not run.

void SimServer::runOnLoop(const std::function<void()>& task) {
  if (!thread_.joinable()) {
    task();
    return;
  }
  std::promise<void> done;
  std::future<void> result = done.get_future();
  {
    std::lock_guard lock(loop_->tasksMutex);
    loop_->tasks.emplace_back(task, std::move(done));
  }
  loop_->wake.notify();
  result.get();
}

void SimServer::cut(Transmission& t, TimePoint now) {
  t.record.verdict += "+cut";
  t.record.bytes.resize(t.written());
  if (t.record.bytes.empty()) t.record.at = now;
  t.record.done = now;
  log_.add(std::move(t.record));
}

void SimServer::cutFront(TimePoint now) {
  cut(loop_->tx.front(), now);
  loop_->tx.pop_front();
}

void SimServer::cutAll(TimePoint now) {
  while (!loop_->tx.empty()) cutFront(now);
  for (Transmission& t : loop_->late) cut(t, now);
  loop_->late.clear();
  loop_->waitWritable = false;
}

void SimServer::start() {
  std::lock_guard control(controlMutex_);
  if (thread_.joinable()) return;
  if (!options_.logPath.empty()) log_.openFile(options_.logPath);
  auto loop = std::make_unique<Loop>(options_);
  try {
    loop->line = options_.devicePath.empty() ? openPseudoTerminal() : openSerialDevice(options_.devicePath);
    if (!options_.linkPath.empty()) {
      placeSymlink(options_.linkPath, loop->line.toolPath);
      loop->linkTarget = loop->line.toolPath;
    }
  } catch (...) {
    log_.closeFile();
    throw;
  }
  {
    std::lock_guard lock(pathMutex_);
    toolPath_ = loop->line.toolPath;
  }
  loop_ = std::move(loop);
  stopping_ = false;
  lineUp_ = true;
  thread_ = std::thread([this] { serve(); });
  running_ = true;
}

void SimServer::stop() {
  std::lock_guard control(controlMutex_);
  if (!thread_.joinable()) return;
  stopping_ = true;
  loop_->wake.notify();
  thread_.join();
  running_ = false;
  cutAll(Clock::now());
  if (!loop_->linkTarget.empty()) removeSymlink(options_.linkPath, loop_->linkTarget);
  loop_->line.close();
  loop_.reset();
  lineUp_ = false;
  {
    std::lock_guard lock(pathMutex_);
    toolPath_.clear();
  }
  log_.closeFile();
}

// The tool's end hangs up and its path vanishes, as a USB adapter's node does.
void SimServer::unplug(TimePoint now, const char* verdict) {
  Loop& loop = *loop_;
  cutAll(now);
  loop.parser = RequestParser(options_.quietReset);
  loop.line.close();
  if (!loop.linkTarget.empty()) removeSymlink(options_.linkPath, loop.linkTarget);
  loop.linkTarget.clear();
  lineUp_ = false;
  log_.add(FrameRecord{FrameKind::Line, now, now, {}, 0, verdict, {}});
}

void SimServer::plugIn() {
  Loop& loop = *loop_;
  loop.replugAt.reset();
  loop.line = openPseudoTerminal();
  if (!options_.linkPath.empty()) {
    placeSymlink(options_.linkPath, loop.line.toolPath);
    loop.linkTarget = loop.line.toolPath;
  }
  {
    std::lock_guard lock(pathMutex_);
    toolPath_ = loop.line.toolPath;
  }
  lineUp_ = true;
  const TimePoint now = Clock::now();
  log_.add(FrameRecord{FrameKind::Line, now, now, {}, 0, "back", {}});
}

bool SimServer::lineGone() { return unplugFor(std::chrono::milliseconds::max()); }

bool SimServer::unplugFor(std::chrono::milliseconds outage) {
  std::lock_guard control(controlMutex_);
  if (!thread_.joinable() || !options_.devicePath.empty()) return false;
  bool done = false;
  runOnLoop([&] {
    Loop& loop = *loop_;
    if (!loop.line.io.valid()) return;
    const TimePoint now = Clock::now();
    unplug(now, "gone");
    if (outage != std::chrono::milliseconds::max()) loop.replugAt = now + outage;
    done = true;
  });
  return done;
}

bool SimServer::comeBack() {
  std::lock_guard control(controlMutex_);
  if (!thread_.joinable() || !options_.devicePath.empty()) return false;
  bool done = false;
  runOnLoop([&] {
    if (loop_->line.io.valid()) return;
    plugIn();
    done = true;
  });
  return done;
}

// The answer of one device to one request, as it goes on the line.
std::optional<SimServer::Transmission> SimServer::answer(Device& d, const ParsedItem& item,
                                                         FrameRecord& request) {
  const auto self = static_cast<std::uint8_t>(d.address);
  const BusView bus{[&]() -> ReadingsResponse {
                      if (d.fixed) return withOwnAddress(*d.fixed, self);
                      syncClock(d);
                      return d.model.readings(self);
                    },
                    [&](int address) { return findDevice(address) != nullptr; }};
  Outcome outcome = d.answers.answer(item, bus);
  request.verdict = outcome.verdict;
  if (outcome.newAddress) d.address = *outcome.newAddress;
  if (!outcome.answer) return std::nullopt;
  Answer& a = *outcome.answer;

  Transmission t;
  pace(t, a.bursts, a.gaps);
  t.deviceId = d.id;
  t.late = a.late.count() > 0;
  t.wait = t.late ? std::chrono::duration_cast<std::chrono::microseconds>(a.late)
                  : d.turnaround.value_or(options_.turnaround);
  t.record = FrameRecord{FrameKind::Answer, {}, {}, a.bytes, self, std::move(a.verdict), std::move(a.bursts)};
  t.bytes = std::move(a.bytes);
  return t;
}

// Paced, every byte waits for the one before it to leave the line; a gap
// between bursts comes on top.
void SimServer::pace(Transmission& t, const std::vector<std::size_t>& bursts,
                     const std::vector<std::chrono::microseconds>& gaps) const {
  t.chunks.clear();
  std::size_t offset = 0;
  for (std::size_t b = 0; b < bursts.size(); ++b) {
    const std::size_t size = bursts[b];
    const std::chrono::microseconds gap = b == 0 ? std::chrono::microseconds(0) : gaps[b - 1];
    if (options_.pace) {
      for (std::size_t i = 0; i < size; ++i)
        t.chunks.push_back(
            {offset + i, 1, options_.byteTime + (i == 0 ? gap : std::chrono::microseconds(0))});
    } else {
      t.chunks.push_back({offset, size, gap});
    }
    offset += size;
  }
}

// The answers of devices sharing an address, on the line at once: one
// garbled frame from the earliest answer's time on.
SimServer::Transmission SimServer::collision(std::vector<Transmission> answers) const {
  Transmission t = std::move(answers.front());
  for (std::size_t i = 1; i < answers.size(); ++i) {
    t.bytes = collide(t.bytes, answers[i].bytes);
    t.wait = std::min(t.wait, answers[i].wait);
    t.late = t.late && answers[i].late;
  }
  pace(t, {t.bytes.size()}, {});
  t.record.bytes = t.bytes;
  t.record.bursts = {t.bytes.size()};
  t.record.verdict = "collision";
  return t;
}

void SimServer::handleRequest(const ParsedItem& item, TimePoint now) {
  FrameRecord request{FrameKind::Request, now, now, item.bytes, item.address(), "no-device", {}};
  std::optional<Transmission> t;
  {
    std::lock_guard lock(devicesMutex_);
    std::vector<Transmission> answers;
    const int asked = item.address();
    for (auto& d : devices_) {
      if (d->address != asked) continue;
      ++d->stats.requests;
      if (std::optional<Transmission> one = answer(*d, item, request)) answers.push_back(std::move(*one));
    }
    if (answers.size() > 1) {
      t = collision(std::move(answers));
    } else if (answers.size() == 1) {
      t = std::move(answers.front());
    }
  }
  log_.add(std::move(request));
  if (!t) return;
  t->earliest = now + t->wait;
  if (!t->late) {
    loop_->tx.push_back(std::move(*t));
    return;
  }
  auto& late = loop_->late;
  const auto at = std::upper_bound(late.begin(), late.end(), t->earliest,
                                   [](TimePoint e, const Transmission& other) { return e < other.earliest; });
  late.insert(at, std::move(*t));
}

// The line is half duplex: a late answer whose time has come queues behind
// the answers already waiting, as a device waits for the line to fall quiet.
void SimServer::releaseLate(TimePoint now) {
  Loop& loop = *loop_;
  while (!loop.late.empty() && loop.late.front().earliest <= now) {
    loop.tx.push_back(std::move(loop.late.front()));
    loop.late.pop_front();
  }
}

void SimServer::handleItems(std::vector<ParsedItem>& items, TimePoint now) {
  for (const auto& item : items) {
    if (item.kind == ParsedItem::Kind::Request)
      handleRequest(item, now);
    else
      log_.add(FrameRecord{FrameKind::Garbage, now, now, item.bytes, 0, "garbage", {}});
  }
  items.clear();
}

// The answer at the front goes out after its turnaround, and not before the
// previous one has left the line.
void SimServer::arm() {
  Loop& loop = *loop_;
  if (loop.tx.empty() || loop.tx.front().armed) return;
  Transmission& t = loop.tx.front();
  t.due = std::max(t.earliest,
                   loop.lastWrite + (options_.pace ? options_.byteTime : std::chrono::microseconds(0)));
  t.armed = true;
}

// Writes whatever is due, until the line takes no more for now.
void SimServer::pump(TimePoint now) {
  Loop& loop = *loop_;
  for (arm(); !loop.tx.empty() && !loop.waitWritable; arm()) {
    Transmission& t = loop.tx.front();
    if (t.due > now) return;
    const auto& chunk = t.chunks[t.next];
    const ssize_t n = write(loop.line.io.get(), t.bytes.data() + chunk.offset + t.sentInChunk,
                            chunk.length - t.sentInChunk);
    const TimePoint written = Clock::now();
    if (n < 0) {
      if (errno == EAGAIN)
        loop.waitWritable = true;
      else if (errno != EINTR)
        cutFront(written);
      continue;
    }
    if (t.next == 0 && t.sentInChunk == 0) t.record.at = written;
    t.sentInChunk += static_cast<std::size_t>(n);
    if (t.sentInChunk < chunk.length) continue;
    t.sentInChunk = 0;
    if (++t.next < t.chunks.size()) {
      t.due = written + t.chunks[t.next].delay;
      now = written;
      continue;
    }
    loop.lastWrite = written;
    t.record.done = written;
    {
      std::lock_guard lock(devicesMutex_);
      for (auto& d : devices_)
        if (d->id == t.deviceId) ++d->stats.answers;
    }
    log_.add(std::move(t.record));
    loop.tx.pop_front();
  }
}

void SimServer::runTasks() {
  std::vector<std::pair<std::function<void()>, std::promise<void>>> tasks;
  {
    std::lock_guard lock(loop_->tasksMutex);
    tasks.swap(loop_->tasks);
  }
  for (auto& [task, done] : tasks) {
    try {
      task();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  }
}

void SimServer::serve() {
  Loop& loop = *loop_;
  std::vector<ParsedItem> items;
  std::uint8_t buffer[512];
  while (!stopping_) {
    TimePoint now = Clock::now();
    releaseLate(now);
    if (loop.line.io.valid()) pump(now);
    loop.parser.expire(now, items);
    handleItems(items, now);

    if (loop.replugAt && *loop.replugAt <= now) {
      try {
        plugIn();
      } catch (const std::system_error&) {
        loop.replugAt = now + std::chrono::milliseconds(100);  // out of ptys for a moment
      }
    }

    std::optional<TimePoint> deadline = loop.parser.deadline();
    if (loop.replugAt) deadline = deadline ? std::min(*deadline, *loop.replugAt) : *loop.replugAt;
    arm();
    if (!loop.tx.empty() && !loop.waitWritable)
      deadline = deadline ? std::min(*deadline, loop.tx.front().due) : loop.tx.front().due;
    if (!loop.late.empty())
      deadline = deadline ? std::min(*deadline, loop.late.front().earliest) : loop.late.front().earliest;

    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {loop.wake.fd(), POLLIN, 0};
    const int ioIndex = loop.line.io.valid() ? static_cast<int>(count) : -1;
    if (ioIndex >= 0)
      fds[count++] = {loop.line.io.get(), static_cast<short>(POLLIN | (loop.waitWritable ? POLLOUT : 0)), 0};
    const int watchIndex = loop.line.closeWatch.valid() ? static_cast<int>(count) : -1;
    if (watchIndex >= 0) fds[count++] = {loop.line.closeWatch.get(), POLLIN, 0};

    // ppoll for its nanosecond time-out: the pacing works in 4 ms steps.
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (deadline) {
      const auto wait =
          std::max<std::chrono::nanoseconds>(*deadline - Clock::now(), std::chrono::nanoseconds(0));
      timeout.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
      timeout.tv_nsec = static_cast<long>(wait.count() % 1000000000);
      timeoutPtr = &timeout;
    }
    if (ppoll(fds, count, timeoutPtr, nullptr) <= 0) continue;
    now = Clock::now();

    if (ioIndex >= 0) {
      const short revents = fds[ioIndex].revents;
      if (revents & POLLOUT) loop.waitWritable = false;
      bool lost = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;  // a serial device unplugged
      if (revents & POLLIN) {
        for (;;) {
          // A tty with VMIN = VTIME = 0 reads 0 bytes, not EAGAIN, once it is empty.
          const ssize_t n = read(loop.line.io.get(), buffer, sizeof buffer);
          if (n > 0) {
            loop.parser.feed(buffer, static_cast<std::size_t>(n), now, items);
            continue;
          }
          if (n < 0 && errno != EAGAIN && errno != EINTR) lost = true;
          break;
        }
        handleItems(items, now);
      }
      if (lost && loop.line.io.valid()) unplug(now, "lost");
    }
    if (watchIndex >= 0 && (fds[watchIndex].revents & POLLIN) && takeToolClose(loop.line))
      log_.add(FrameRecord{FrameKind::Line, now, now, {}, 0, "closed", {}});
    if (fds[0].revents & POLLIN) {
      loop.wake.drain();
      runTasks();
    }
  }
}

}  // namespace rs485::sim
