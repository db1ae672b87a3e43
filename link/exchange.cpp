#include "link/exchange.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "link/hand_over.h"
#include "link/thread_cpu_time.h"
#include "link/write_gate.h"

namespace rs485 {

namespace {

// A failed write is repeated, but not at once: a dead adapter must not burn a
// core or flood the window with "Ошибка передачи".
constexpr std::chrono::milliseconds kRetryPause{100};

// How long a receive thread whose line has gone sleeps before it looks at
// its terminate flag again; stop() wakes it at once anyway.
constexpr std::chrono::hours kLineGoneSleep{1};

// More than any answer, less than a driver's whole queue: enough to see
// what a purge dropped.
constexpr std::size_t kMaxTracedPurge = 4096;

// Without a trace a receive purge is the plain flush. With one, whatever is
// queued is read first (never waiting) so that the trace shows it: a whole
// answer's worth of bytes is a late answer, anything else the wrong length.
void purgeReceiveQueue(SerialPort& port, TrafficTrace* trace, std::size_t expected) {
  if (trace != nullptr) {
    std::vector<std::uint8_t> dropped;
    std::array<std::uint8_t, 256> chunk{};
    while (dropped.size() < kMaxTracedPurge) {
      const std::size_t n = port.readQueued(chunk);
      if (n == 0) break;
      dropped.insert(dropped.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (!dropped.empty()) {
      trace->record(TraceDirection::Receive, dropped,
                    dropped.size() == expected ? TraceVerdict::DroppedByPurge : TraceVerdict::WrongLength);
    }
  }
  port.purgeInput();
}

}  // namespace

struct Exchange::Session {
  Session(SerialPort& line, UiExecutor& ui) : port(line), handOver(ui) {}

  SerialPort& port;
  HandOver handOver;
  WriteGate gate;  // starts parked: the first request releases it
  std::atomic<bool> readTerminate{false};
  std::atomic<bool> writeTerminate{false};
  std::shared_ptr<TrafficTrace> trace;  // as set when the port opened
  std::thread reader;
  std::thread writer;
};

namespace {

// Ends one open port's workers and waits for them. Never deadlocks: a worker
// waiting in a hand-over is released without its handler having run.
void endWorkers(Exchange::Session& s) {
  s.readTerminate = true;
  s.writeTerminate = true;
  s.gate.close();
  s.handOver.cancel();  // a worker waiting for a handler leaves without it
  s.port.shutdown();    // wakes every wait on the port
  if (s.writer.joinable()) s.writer.join();
  if (s.reader.joinable()) s.reader.join();
}

}  // namespace

Exchange::Exchange(UiExecutor& ui)
    : ui_(ui), startThread_([](std::function<void()> body) { return std::thread(std::move(body)); }) {}

void Exchange::setThreadStarter(ThreadStarter starter) { startThread_ = std::move(starter); }

Exchange::~Exchange() { stop(); }

void Exchange::setTrace(std::shared_ptr<TrafficTrace> trace) { trace_ = std::move(trace); }

void Exchange::sendRequest(const BusRequest& request) {
  ExpectedLength = request.answerLength();
  // Bytes still queued for the request in flight are its Incomplete answer.
  readingFunc(request);
  settleInFlight();
  inFlight_ = request;
  dropped_ = BusReply::Why::None;
  {
    std::lock_guard lock(txMutex_);
    inFlightGeneration_ = txGeneration_;
  }
  state_ = State::Writing;
  if (listener_.sent) listener_.sent(request);
}

void Exchange::readingFunc(const BusRequest& request) {
  setTx(request.frame(), request.frameLength());
  purgeOutput();
  // An address change leaves the receive queue as it is.
  if (request.kind != BusRequest::Kind::SetAddress) purgeInput();
  if (session_) session_->gate.release();
}

void Exchange::expectAnswer(std::size_t answerLength) { ExpectedLength = answerLength; }

void Exchange::settleRequest() { settleInFlight(); }

void Exchange::settleInFlight() {
  if (state_ == State::Idle) return;
  if (dropped_ != BusReply::Why::None) {
    reply({.request = inFlight_, .kind = BusReply::Kind::Dropped, .why = dropped_});
    return;
  }
  // A write whose onSent did not run (the port closed first) still counts.
  const bool written = state_ == State::Awaiting || (WriteOk && writtenGeneration_ == inFlightGeneration_);
  reply({.request = inFlight_, .kind = written ? BusReply::Kind::Silent : BusReply::Kind::NotSent});
}

void Exchange::dropInFlight(BusReply::Why why) {
  // Stray bytes after the request had its reply are no answer of anybody's,
  // and the rest of a bad answer is no second drop.
  if (state_ == State::Idle || dropped_ != BusReply::Why::None) return;
  dropped_ = why;
  if (listener_.dropped) {
    const auto dropped = listener_.dropped;
    dropped(inFlight_, why);
  }
}

void Exchange::reply(BusReply reply) {
  state_ = State::Idle;
  if (!listener_.reply) return;
  // A copy: the listener may be replaced while it runs.
  const auto tell = listener_.reply;
  tell(reply);
}

bool Exchange::Read() const {
  const std::size_t length = ExpectedLength;
  return length <= RxBuffer.size() && frameCrcMatches(std::span(RxBuffer).first(length));
}

TraceVerdict Exchange::judgeFrame() const {
  if (!Read()) return TraceVerdict::BadCrc;
  // Only the first answer of the request in flight, of the length it awaits;
  // a readings answer must also name the device asked.
  const bool ours = state_ != State::Idle && RxCount == inFlight_.answerLength() &&
                    (RxCount != kReadingsResponseLength || RxBuffer[0] == (inFlight_.address & 0xFF));
  return ours ? TraceVerdict::Accepted : TraceVerdict::NotAsked;
}

void Exchange::clearReceive() {
  RxBuffer.fill(0);
  RxCount = 0;
  purgeInput();
}

void Exchange::purgeOutput() {
  if (port_ != nullptr) port_->purgeOutput();
}

void Exchange::purgeInput() {
  if (port_ == nullptr) return;
  // Bytes still queued never made up an answer of the awaited length.
  if (state_ != State::Idle && port_->inputQueued() > 0) dropInFlight(BusReply::Why::Incomplete);
  purgeReceiveQueue(*port_, trace_.get(), ExpectedLength);
}

int Exchange::inputQueued() { return port_ != nullptr ? port_->inputQueued() : 0; }

void Exchange::onSent() {
  if (WriteOk) {
    if (std::exchange(writeFailing_, false) && listener_.writeResumed) {
      const auto writeResumed = listener_.writeResumed;
      writeResumed();
    }
    std::uint64_t newest = 0;
    {
      std::lock_guard lock(txMutex_);
      newest = txGeneration_;
    }
    if (state_ == State::Writing && writtenGeneration_ == inFlightGeneration_) state_ = State::Awaiting;
    // Parked only when the frame written is the newest: a request made since
    // found the thread running and goes out next.
    if (writtenGeneration_ != newest) return;
    if (session_) session_->gate.park();
    if (listener_.requestWritten) {
      const auto requestWritten = listener_.requestWritten;
      requestWritten();
    }
    return;
  }
  // Not parked: the transmit thread writes the frame again after a pause.
  writeFailing_ = true;
  if (listener_.writeFailed) {
    const auto writeFailed = listener_.writeFailed;
    writeFailed();
  }
}

void Exchange::frameComplete() {
  const TraceVerdict verdict = judgeFrame();
  traceReceived(frame(), verdict);
  if (verdict == TraceVerdict::BadCrc) {
    dropInFlight(BusReply::Why::BadCrc);
  } else if (verdict == TraceVerdict::NotAsked) {
    // Another device's answer, a late one, or a second one: it names the
    // device that sent it, and goes nowhere else.
    if (listener_.unasked) {
      const auto unasked = listener_.unasked;
      unasked(RxBuffer[0]);
    }
  } else {
    BusReply answer{.request = inFlight_, .kind = BusReply::Kind::Answered};
    if (RxCount == kReadingsResponseLength) {
      answer.readings = decodeReadingsResponse(RxBuffer.data());
    } else {
      answer.status = decodeStatusResponse(RxBuffer.data());
    }
    const std::uint64_t before = inFlightGeneration_;
    reply(answer);
    // A request sent by the listener has had both queues purged already,
    // and its answer may be on its way: only the buffer is cleared for it.
    if (inFlightGeneration_ != before) {
      RxBuffer.fill(0);
      RxCount = 0;
      return;
    }
  }
  clearReceive();
}

bool Exchange::takeBlock(std::size_t queued, std::size_t expected) {
  return queued > 0 && queued == expected && queued <= std::tuple_size_v<Block>;
}

void Exchange::acceptBlock(std::span<const std::uint8_t> block) {
  if (RxCount > RxBuffer.size() || block.size() > RxBuffer.size() - RxCount) {
    // It would not fit: the block goes, together with what was assembled.
    traceReceived(block, TraceVerdict::WrongLength);
    dropInFlight(BusReply::Why::WrongLength);
    clearReceive();
    return;
  }
  std::ranges::copy(block, RxBuffer.begin() + static_cast<std::ptrdiff_t>(RxCount));
  RxCount += block.size();
  const std::size_t expected = ExpectedLength;
  if (RxCount == expected) {
    frameComplete();
  } else if (RxCount > expected) {
    traceReceived(frame(), TraceVerdict::WrongLength);
    dropInFlight(BusReply::Why::WrongLength);
    clearReceive();
  } else {
    // Not a frame yet: the next block may complete it.
    traceReceived(block, TraceVerdict::WrongLength);
  }
}

void Exchange::traceReceived(std::span<const std::uint8_t> bytes, TraceVerdict verdict) {
  if (trace_) trace_->record(TraceDirection::Receive, bytes, verdict);
}

TxFrame Exchange::txBuffer() const {
  std::lock_guard lock(txMutex_);
  return TxBuffer;
}

std::size_t Exchange::txCount() const {
  std::lock_guard lock(txMutex_);
  return TxCount;
}

void Exchange::setTx(const TxFrame& frame, std::size_t count) {
  std::lock_guard lock(txMutex_);
  TxBuffer = frame;
  TxCount = count;
  ++txGeneration_;
}

void Exchange::writeThreadBody(Session& s) {
  s.gate.waitWhileParked();
  while (!s.writeTerminate) {
    TxFrame frame;
    std::size_t count = 0;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(txMutex_);
      frame = TxBuffer;
      count = std::min(TxCount, kTxBufferSize);
      generation = txGeneration_;
    }
    const bool ok = s.port.writeAll(frame.data(), count);
    writtenGeneration_ = generation;
    WriteOk = ok;
    if (s.trace) {
      s.trace->record(TraceDirection::Transmit, std::span(frame).first(count),
                      ok ? TraceVerdict::Sent : TraceVerdict::WriteFailed);
    }
    if (s.writeTerminate) break;
    s.handOver.run([this] { onSent(); });
    if (s.writeTerminate) break;
    if (ok) {
      s.gate.waitWhileParked();  // onSent parked it; the next request releases it
    } else if (s.port.pause(kRetryPause)) {
      // A descriptor whose adapter was pulled out never writes again, even
      // once the adapter is back: the rewrite goes out on a new one.
      s.port.reopen();
    }
  }
}

void Exchange::readThreadBody(Session& s) {
  while (!s.readTerminate) {
    const SerialPort::Wake wake = s.port.waitForArrival();
    if (wake == SerialPort::Wake::Shutdown) break;
    if (wake == SerialPort::Wake::Error) {
      // The port cannot wait any more: nothing will arrive again, so wait
      // for the close instead of looping.
      while (!s.readTerminate && s.port.pause(kLineGoneSleep)) {
      }
      break;
    }
    // A response is taken only when the queue holds exactly as many bytes as
    // it must have; otherwise they stay, and the next arrival counts again.
    // FIONREAD's int becomes a length here.
    const int reported = s.port.inputQueued();
    if (reported <= 0) continue;
    const auto queued = static_cast<std::size_t>(reported);
    if (!takeBlock(queued, ExpectedLength)) continue;
    Block block{};
    const std::size_t count = s.port.readQueued(std::span(block).first(queued));
    if (count == 0) continue;
    s.handOver.run([this, block, count] { acceptBlock(std::span<const std::uint8_t>(block).first(count)); });
  }
  purgeReceiveQueue(s.port, s.trace.get(), ExpectedLength);
}

void Exchange::start(SerialPort& port) {
  stop();
  auto session = std::make_unique<Session>(port, ui_);
  Session& s = *session;
  s.trace = trace_;
  WriteOk = false;
  writeFailing_ = false;
  state_ = State::Idle;
  port_ = &port;
  try {
    s.reader = startThread_([this, &s] { readThreadBody(s); });
    s.writer = startThread_([this, &s] { writeThreadBody(s); });
  } catch (...) {
    // The receive thread may already wait in a hand-over to this very thread.
    endWorkers(s);
    port_ = nullptr;
    throw;
  }
  session_ = std::move(session);
}

void Exchange::stop() {
  if (!session_) return;
  endWorkers(*session_);
  port_ = nullptr;
  session_.reset();
}

bool Exchange::transmitParked() const { return session_ && session_->gate.parked(); }

std::chrono::nanoseconds Exchange::receiveThreadCpuTime() const {
  return session_ ? threadCpuTime(session_->reader) : std::chrono::nanoseconds{};
}

std::chrono::nanoseconds Exchange::transmitThreadCpuTime() const {
  return session_ ? threadCpuTime(session_->writer) : std::chrono::nanoseconds{};
}

}  // namespace rs485
