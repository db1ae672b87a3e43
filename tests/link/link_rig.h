#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/port_session.h"
#include "protocol/readings.h"
#include "pty_pair.h"
#include "tests/support/process_figures.h"
#include "tests/support/pump_executor.h"
#include "tests/support/sample_readings.h"

namespace rs485::test {

inline Bytes statusFrame(std::uint8_t address, std::uint8_t command, std::uint8_t status = 0) {
  Bytes frame(kStatusResponseLength);
  encodeStatusResponse(StatusResponse{address, command, status}, frame.data());
  return frame;
}

// A whole readings answer of `address`, its temperature told apart by test.
inline Bytes readingsFrame(std::uint8_t address, std::int16_t temperature) {
  ReadingsResponse r = readingsOf(address, kEveryFieldApart);
  r.temperature = temperature;
  const auto frame = encodedReadings(r);
  return {frame.begin(), frame.end()};
}

inline Bytes request(const TxFrame& frame, std::size_t count) {
  const auto bytes = std::span(frame).first(count);
  return Bytes(bytes.begin(), bytes.end());
}

// Runs what is queued, then pumps the user-interface thread until `done`
// holds; false on time-out. Also notices changes that no task brings
// (bytes arriving in a queue, a thread parking).
inline bool pumpUntil(PumpExecutor& ui, const std::function<bool()>& done) {
  ui.runPending();
  return ui.pumpUntil(done, std::chrono::seconds(10), std::chrono::milliseconds(1));
}

// The engine on the slave end of a pseudo-terminal, with the test thread as
// its user-interface thread. Every handler call is recorded with the frame
// that was accepted.
struct LinkRig {
  PtyPair pty;
  PumpExecutor ui;
  Exchange exchange{ui};
  PortSession session{exchange, PortNames({{"COM1", pty.slavePath()}})};
  std::vector<Bytes> shortAnswers;
  std::vector<Bytes> readings;
  std::vector<std::chrono::steady_clock::time_point> sendFailures;
  std::vector<std::size_t> rxCountsSeen;  // RxCount at every handler call
  std::function<void()> onShortAnswer;    // extra work inside the handler
  std::vector<RequestOutcome> outcomes;   // every outcome, as told
  std::vector<int> requestsFor;           // the address of every request, as told
  int drops = 0;                          // answers thrown away, as told
  int accepted = 0;                       // answers handed to a handler, as told
  std::vector<int> notAsked;              // good answers that were not awaited, by the address they name

  LinkRig() {
    exchange.setHandlers(
        ExchangeHandlers{[this] {
                           record(shortAnswers);
                           if (onShortAnswer) onShortAnswer();
                         },
                         [this] { record(readings); },
                         [this] { sendFailures.push_back(std::chrono::steady_clock::now()); },
                         {}});
    exchange.setNotes({.outcome = [this](const RequestOutcome& outcome) { told(outcome); }});
  }

  bool open() { return session.COMOpen("COM1"); }

  void told(const RequestOutcome& outcome) {
    outcomes.push_back(outcome);
    switch (outcome.kind) {
      case RequestOutcome::Kind::Sent:
        requestsFor.push_back(outcome.address);
        break;
      case RequestOutcome::Kind::Answered:
        ++accepted;
        break;
      case RequestOutcome::Kind::Dropped:
        ++drops;
        break;
      case RequestOutcome::Kind::OtherDevice:
        notAsked.push_back(outcome.address);
        break;
      case RequestOutcome::Kind::Silent:
        break;
    }
  }

  bool eventually(const std::function<bool()>& done) { return pumpUntil(ui, done); }

  // A tick's request: the frame goes out, the device reads it off the line,
  // and onSent has parked the transmit thread again. Returns what was sent.
  Bytes send(int address, int command, std::size_t expectedLength) {
    exchange.setPendingCommand(command);
    exchange.sendRequest(address, expectedLength);
    Bytes sent = pty.read(kBusRequestLength);
    eventually([this] { return exchange.transmitParked(); });
    return sent;
  }

  // With the transmit thread parked the receive thread is the only one that
  // hands over: waits for its next hand-over and runs it.
  bool runNextHandOver() {
    if (!ui.waitForTask()) return false;
    ui.runPending();
    return true;
  }

  // What a tick does before it sends: both queues purged.
  void tick() {
    exchange.purgeOutput();
    exchange.purgeInput();
  }

 private:
  void record(std::vector<Bytes>& into) {
    const auto frame = exchange.receiveBuffer().first(exchange.answerLength());
    into.emplace_back(frame.begin(), frame.end());
    rxCountsSeen.push_back(exchange.frame().size());
  }
};

}  // namespace rs485::test
