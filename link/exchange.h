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

#include "link/request_outcome.h"
#include "link/serial_port.h"
#include "link/traffic_trace.h"
#include "link/ui_executor.h"
#include "protocol/frames.h"

namespace rs485 {

// What the engine calls on the user-interface thread.
struct ExchangeHandlers {
  std::function<void()> shortAnswer;  // a 5-byte frame with a good CRC is in frame()
  std::function<void()> readings;     // a 16-byte frame with a good CRC is in frame()
  std::function<void()> sendFailed;   // a write did not complete ("Ошибка передачи")
  std::function<void()> sendResumed;  // the first write that completed after failed ones
};

// What the engine tells, on the user-interface thread: the outcome of each
// request (see RequestOutcome), and that the port has taken the whole of the
// newest frame (its bytes may still be on their way down the line).
struct ExchangeNotes {
  OutcomeSink outcome;
  std::function<void()> requestWritten = {};
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

  void setHandlers(ExchangeHandlers handlers);
  void setNotes(ExchangeNotes notes) { notes_ = std::move(notes); }
  // The request in flight gets no answer any more (the end of a poll): it
  // is told silent unless it had one.
  void settleRequest() { ledger_.settle(); }

  // Every frame written and every block received or dropped by a receive
  // purge is traced while a trace is set (null: off, the default); then a
  // receive purge reads what is queued before it flushes, so that the trace
  // shows it. The workers take the trace that is set when start() runs.
  // User-interface thread only.
  void setTrace(std::shared_ptr<TrafficTrace> trace);

  // The command of the operation in progress (1 scan, 2 address change,
  // 80 poll). User-interface thread only.
  void setPendingCommand(int command) { PendingCommand = command; }
  int pendingCommand() const { return PendingCommand; }

  // Sends the four-byte request for `address` with the pending command and
  // awaits an answer of `answerLength` bytes: both queues purged, the
  // transmit thread released. Never waits.
  //
  // Frames carry no sequence number, so an answer that comes late lands in
  // another request's time. A readings answer is therefore handled only as
  // the answer of the request in flight: its address byte must be the
  // address asked, and only the first such answer of a request is taken.
  void sendRequest(int address, std::size_t answerLength);
  // Awaits an answer of `answerLength` bytes without sending anything (a
  // tick that finds bytes waiting).
  void expectAnswer(std::size_t answerLength);
  std::size_t answerLength() const { return ExpectedLength; }

  // The address-change send: the five-byte request, a 5-byte answer
  // awaited, transmit queue purged only, transmit thread released.
  void sendAddressChange(int currentAddress, int newAddress);

  // The frame assembled so far; inside a handler, the whole accepted frame.
  std::span<const std::uint8_t> frame() const {
    return std::span<const std::uint8_t>(RxBuffer).first(RxCount);
  }
  // The whole receive buffer, the bytes past frame() included, for tests
  // that check it was cleared.
  std::span<const std::uint8_t, kRxBufferSize> receiveBuffer() const { return RxBuffer; }
  // The last block the receive thread handed over, zeroed once a frame has
  // been handled; tests clear it to watch the next hand-over.
  std::span<const std::uint8_t, kRxBufferSize> lastBlock() const { return ReadScratch; }
  void clearLastBlock() { ReadScratch.fill(0); }

  // The CRC test of the assembled frame of the awaited length (the engine's
  // name for it: it reads the frame's verdict, not the port).
  bool Read() const;

  // Zero the receive buffer, no frame assembled, purge the receive queue.
  void clearReceive();

  // Queue operations of the timer ticks; no-ops (0) without an open port.
  void purgeOutput();
  void purgeInput();
  int inputQueued();

  // Completion handlers; run on the user-interface thread by the hand-over.
  void onSent();
  void onReceived();

  // The receive thread's test at each arrival: the queued bytes are read as
  // one block only when the queue holds exactly as many as the answer awaited.
  static bool takeBlock(std::size_t queued, std::size_t expected);

  // The user-interface side of the receive hand-over: appends the block to
  // the frame and runs onReceived. A block that would not fit is discarded
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

  // Ends both threads and waits for them. Never deadlocks: a worker waiting
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

  // Builds the four-byte request for `address` with PendingCommand, purges
  // both queues and releases the transmit thread. `length` is not used:
  // ExpectedLength is set before. Always true; never waits.
  bool readingFunc(int address, std::size_t length);
  void setTx(const TxFrame& frame, std::size_t count);
  void writeThreadBody(Session& session);
  void readThreadBody(Session& session);
  void traceReceived(std::span<const std::uint8_t> bytes, TraceVerdict verdict);
  // The assembled frame of the awaited length, its CRC good, is the answer
  // of the request in flight (always so for a five-byte answer).
  bool answersRequestInFlight() const;
  void note(const std::function<void()>& what) const {
    if (what) what();
  }

  // The engine's shared state. PendingCommand and the receive buffer belong
  // to the user-interface thread alone; ExpectedLength is read by the
  // receive thread at every arrival.
  int PendingCommand = 1;
  // Length of the answer the request in flight must produce (5 or 16; 0
  // before the first request).
  std::atomic<std::size_t> ExpectedLength{0};
  std::array<std::uint8_t, kRxBufferSize> RxBuffer{};
  std::size_t RxCount = 0;
  // The last block the receive thread read, as it was handed over.
  std::array<std::uint8_t, kRxBufferSize> ReadScratch{};
  // Set by the transmit thread after each write, read by onSent.
  std::atomic<bool> WriteOk{false};
  // A write failed and none has completed since. User-interface thread only.
  bool writeFailing_ = false;
  // The request in flight: the address asked, and whether its answer has
  // been handled. User-interface thread only.
  int Asked = 0;
  bool Answered = true;

  UiExecutor& ui_;
  ExchangeHandlers handlers_;
  ExchangeNotes notes_;
  RequestLedger ledger_{notes_.outcome};
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
