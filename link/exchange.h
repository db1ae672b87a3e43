#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "link/bus_reply.h"
#include "link/serial_port.h"
#include "link/traffic_trace.h"
#include "link/ui_executor.h"
#include "protocol/frames.h"

namespace rs485 {

// What the engine tells, on the user-interface thread, one call at a time.
// A call may send the next request or close the port.
struct ExchangeListener {
  std::function<void(const BusRequest&)> sent;  // handed to the transmit thread
  std::function<void(const BusReply&)> reply;   // exactly one for every request sent
  // Bytes in the request's time that made no answer, told at once; the
  // request may still be answered, and is dropped only if it is not. One
  // for each request at most.
  std::function<void(const BusRequest&, BusReply::Why)> dropped;
  // A good answer that is no request's answer (late, unasked, a second
  // one), by the address it names.
  std::function<void(int address)> unasked;
  std::function<void()> writeFailed;   // each write that did not complete ("Ошибка передачи")
  std::function<void()> writeResumed;  // the first write that completed after failed ones
  // The port has taken the whole of the newest frame (its bytes may still
  // be on their way down the line).
  std::function<void()> requestWritten;
};

// Moves one request out and one response in over the open port, on two
// worker threads, without ever blocking the user-interface thread.
//
// The object lives as long as the window; start() and stop() bracket one
// open port. Members named in capitals are the engine's shared state, kept
// private so that every request is sent in the one right order. The receive
// thread hands each block it reads over by value, and the user-interface
// side of the hand-over appends it to RxBuffer. The transmit frame is read by the
// transmit thread at every write, under txMutex_; scalars that both sides
// touch are atomics.
class Exchange {
 public:
  explicit Exchange(UiExecutor& ui);
  ~Exchange();
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  void setListener(ExchangeListener listener) { listener_ = std::move(listener); }

  // Every frame written and every block received or dropped by a receive
  // purge is traced while a trace is set (null: off, the default); then a
  // receive purge reads what is queued before it flushes, so that the trace
  // shows it. The workers take the trace that is set when start() runs.
  // User-interface thread only.
  void setTrace(std::shared_ptr<TrafficTrace> trace);

  // Sends `request`, replacing the one in flight, which gets its reply
  // first: both queues purged (only the transmit queue for an address
  // change), the transmit thread released. Never waits.
  //
  // Frames carry no sequence number, so an answer that comes late lands in
  // another request's time. An answer is therefore taken only as the answer
  // of the request in flight, only the first one, and a readings answer only
  // when its address byte is the address asked.
  void sendRequest(const BusRequest& request);
  // Awaits an answer of `answerLength` bytes without sending anything (a
  // tick that finds bytes waiting).
  void expectAnswer(std::size_t answerLength);
  std::size_t answerLength() const { return ExpectedLength; }
  // The request in flight gets no answer any more (the end of a poll, the
  // close of the port): it is told silent, or not sent when no write of it
  // completed, unless it had its reply.
  void settleRequest();

  // The bytes of the answer assembled so far.
  std::span<const std::uint8_t> frame() const {
    return std::span<const std::uint8_t>(RxBuffer).first(RxCount);
  }
  // The whole receive buffer, the bytes past frame() included, for tests
  // that check it was cleared.
  std::span<const std::uint8_t, kRxBufferSize> receiveBuffer() const { return RxBuffer; }
  // Zero the receive buffer, no frame assembled, purge the receive queue.
  void clearReceive();

  // Queue operations of the timer ticks; no-ops (0) without an open port.
  void purgeOutput();
  void purgeInput();
  int inputQueued();

  // The receive thread's test at each arrival: the queued bytes are read as
  // one block only when the queue holds exactly as many as the answer awaited.
  static bool takeBlock(std::size_t queued, std::size_t expected);

  // The user-interface side of the receive hand-over: appends the block to
  // the frame and judges it once it is whole. A block that would not fit is discarded
  // together with what was assembled, and the receive queue is purged.
  // User-interface thread only.
  void acceptBlock(std::span<const std::uint8_t> block);

  // The frame the next write sends, for tests and traces.
  TxFrame txBuffer() const;
  std::size_t txCount() const;

  // Starts the receive thread running and the transmit thread parked. When
  // a thread cannot be started it throws std::system_error, having ended
  // whatever it had started.
  void start(SerialPort& port);

  // How start() creates each worker thread; tests make it fail.
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;
  void setThreadStarter(ThreadStarter starter);

  // Ends both threads and waits for them; the request in flight stays
  // without its reply until settleRequest(). Never deadlocks: a worker waiting
  // in a hand-over is released without its handler having run, and a
  // handler still queued will not run. Safe when not started, and from
  // inside a handler. User-interface thread only.
  void stop();
  bool running() const { return session_ != nullptr; }

  // True while the transmit thread waits for the next request (also before
  // the first one); false from a release until onSent of a successful write.
  bool transmitParked() const;

  // CPU time used so far by the worker threads of the open port (zero when
  // none is open); for tests and benchmarks that prove the workers sleep.
  std::chrono::nanoseconds receiveThreadCpuTime() const;
  std::chrono::nanoseconds transmitThreadCpuTime() const;

  struct Session;  // one open port's threads and hand-over state

 private:
  using Block = std::array<std::uint8_t, kRxBufferSize>;

  // What the engine is doing with the request in flight.
  enum class State {
    Idle,      // none in flight: it has had its reply, or none was sent since the open
    Writing,   // handed to the transmit thread, no write of it completed yet
    Awaiting,  // written; its answer awaited
  };
  // What a whole frame of the awaited length is; the one judgement that the
  // reply and the trace both follow.
  TraceVerdict judgeFrame() const;
  bool Read() const;  // the CRC test of the frame of the awaited length

  // Puts `request`'s frame into TxBuffer, purges the queues it needs purged
  // and releases the transmit thread. Never waits.
  void readingFunc(const BusRequest& request);
  void setTx(const TxFrame& frame, std::size_t count);
  void onSent();
  void frameComplete();
  void writeThreadBody(Session& session);
  void readThreadBody(Session& session);
  void traceReceived(std::span<const std::uint8_t> bytes, TraceVerdict verdict);
  // The request in flight has its reply and is in flight no more.
  void reply(BusReply reply);
  void dropInFlight(BusReply::Why why);
  // Its reply when nothing more will come for it: dropped after bad bytes,
  // else silent once written.
  void settleInFlight();

  // The engine's shared state. The request in flight and the receive buffer
  // belong to the user-interface thread alone; ExpectedLength is read by the
  // receive thread at every arrival.
  State state_ = State::Idle;
  BusRequest inFlight_;
  std::uint64_t inFlightGeneration_ = 0;         // its frame's number in TxBuffer
  BusReply::Why dropped_ = BusReply::Why::None;  // why its first bad bytes were dropped
  // Length of the answer awaited (5 or 16; 0 before the first request).
  std::atomic<std::size_t> ExpectedLength{0};
  std::array<std::uint8_t, kRxBufferSize> RxBuffer{};
  std::size_t RxCount = 0;
  // Set by the transmit thread after each write, read by onSent.
  std::atomic<bool> WriteOk{false};
  // A write failed and none has completed since. User-interface thread only.
  bool writeFailing_ = false;

  UiExecutor& ui_;
  ExchangeListener listener_;
  SerialPort* port_ = nullptr;  // user-interface thread's view of the port
  std::shared_ptr<TrafficTrace> trace_;

  mutable std::mutex txMutex_;  // TxBuffer may be replaced during a run of failed writes
  TxFrame TxBuffer{};
  std::size_t TxCount = 0;
  // Counts the frames put into TxBuffer. A request made after a write has
  // completed but before its onSent has run finds the transmit thread not
  // parked, so its release does nothing; onSent then sees that the frame
  // written is not the newest and leaves the thread running to write it.
  std::uint64_t txGeneration_ = 0;                   // under txMutex_
  std::atomic<std::uint64_t> writtenGeneration_{0};  // the frame of the last write

  std::unique_ptr<Session> session_;
  ThreadStarter startThread_;
};

}  // namespace rs485
