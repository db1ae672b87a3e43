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

// The bytes of the answer a reply carries, encoded again.
inline Bytes answerBytes(const BusReply& reply) {
  if (reply.readings) {
    Bytes frame(kReadingsResponseLength);
    encodeReadingsResponse(*reply.readings, frame.data());
    return frame;
  }
  Bytes frame(kStatusResponseLength);
  if (reply.status) encodeStatusResponse(*reply.status, frame.data());
  return frame;
}

// The engine on the slave end of a pseudo-terminal, with the test thread as
// its user-interface thread. Everything the engine tells is recorded.
struct LinkRig {
  PtyPair pty;
  PumpExecutor ui;
  Exchange exchange{ui};
  PortSession session{exchange, PortNames({{"COM1", pty.slavePath()}})};
  std::vector<BusReply> replies;    // every reply, as told
  std::vector<Bytes> shortAnswers;  // the answers of answered probes and address changes
  std::vector<Bytes> readings;      // the answers of answered readings requests
  std::vector<std::chrono::steady_clock::time_point> sendFailures;
  std::vector<std::size_t> rxCountsSeen;         // the bytes assembled at every answered reply
  std::function<void(const BusReply&)> onReply;  // extra work inside the listener
  std::vector<int> requestsFor;                  // the address of every request, as told
  int drops = 0;                                 // drops, as told
  int accepted = 0;                              // answered replies
  std::vector<int> notAsked;  // good answers that were no request's, by the address they name

  LinkRig() {
    exchange.setListener({
        .sent = [this](const BusRequest& request) { requestsFor.push_back(request.address); },
        .reply = [this](const BusReply& reply) { told(reply); },
        .dropped = [this](const BusRequest&, BusReply::Why) { ++drops; },
        .unasked = [this](int address) { notAsked.push_back(address); },
        .writeFailed = [this] { sendFailures.push_back(std::chrono::steady_clock::now()); },
        .writeResumed = {},
        .requestWritten = {},
    });
  }

  bool open() { return session.COMOpen("COM1"); }

  void told(const BusReply& reply) {
    replies.push_back(reply);
    if (!reply.answered()) return;
    ++accepted;
    rxCountsSeen.push_back(exchange.frame().size());
    (reply.readings ? readings : shortAnswers).push_back(answerBytes(reply));
    if (onReply) onReply(reply);
  }

  bool eventually(const std::function<bool()>& done) { return pumpUntil(ui, done); }

  // A tick's request: the frame goes out, the device reads it off the line,
  // and onSent has parked the transmit thread again. Returns what was sent.
  Bytes send(const BusRequest& request) {
    exchange.sendRequest(request);
    Bytes sent = pty.read(request.frameLength());
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
};

}  // namespace rs485::test
