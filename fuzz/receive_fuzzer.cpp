// The receive path of the exchange engine: arbitrary bytes arriving in
// arbitrary bursts, with any awaited length, through the receive thread's
// test (takeBlock) and the user-interface side of the hand-over
// (acceptBlock, the judgement of a whole frame, the listener). No port and
// no thread: the fuzzer plays the port's input queue and runs the hand-over
// itself.
//
// Besides the engine's own checks: every request gets exactly one reply; an
// answer is only ever the request in flight's, of the length that request
// awaits, at most once, and a readings answer names the device asked; every
// other good frame is told for its sender.
//
// Input: a header of two bytes (the first awaited length; the trace switch
// and what the handlers do), then operations of one byte each, some followed
// by their argument bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "link/exchange.h"
#include "link/traffic_trace.h"
#include "protocol/frames.h"

namespace {

using namespace rs485;

constexpr std::size_t kMaxExpected = 20;  // beyond the receive buffer on purpose
constexpr std::size_t kQueueLimit = 4096;

// No port is opened, so nothing is ever posted.
class NoUi : public UiExecutor {
 public:
  void post(std::function<void()> /*task*/) override { std::abort(); }
};

using fuzz::Input;

enum class HandlerAction { Nothing, ClearReceive, NewAnswerLength, ReplaceListener };

struct Run {
  NoUi ui;
  Exchange exchange{ui};
  std::vector<std::uint8_t> queue;     // the port's input queue
  std::vector<std::uint8_t> handedIn;  // every byte given to acceptBlock, in order
  int shortAnswers = 0;
  int readings = 0;
  int requests = 0;
  int replies = 0;
  int asked = 0;                // the address byte of the request in flight, 0 before any
  std::size_t askedLength = 0;  // the answer that request awaits
  bool answered = true;         // it has had its reply
  std::vector<int> notAsked;    // senders of good frames that were no request's answer
  HandlerAction action = HandlerAction::Nothing;
  std::size_t actionExpected = 0;
  bool tracing = false;
  int traceLines = 0;
  std::string lastLine;

  // A tick that sends a request to `address` (its low byte is what goes
  // out): a readings request, or a probe.
  void request(int address, bool readingsRequest) {
    const BusRequest r = readingsRequest ? BusRequest::readCurrent(address) : BusRequest::probe(address);
    exchange.sendRequest(r);
    ++requests;
    CHECK(replies == requests - 1);  // the one before has had its reply
    asked = address & 0xFF;
    askedLength = r.answerLength();
    answered = false;
  }

  void installListener() {
    exchange.setListener({.sent = {},
                          .reply = [this](const BusReply& reply) { replied(reply); },
                          .dropped = {},
                          .unasked = [this](int address) { notAsked.push_back(address); },
                          .writeFailed = [] { std::abort(); },
                          .writeResumed = {},
                          .requestWritten = {}});
  }

  void replied(const BusReply& reply) {
    ++replies;
    CHECK(!answered);
    CHECK((reply.request.address & 0xFF) == asked);
    answered = true;
    if (reply.answered()) answer(reply);
  }

  // An answer: the frame is exactly as long as the request awaits, its CRC
  // matches, and it is the last bytes handed in.
  void answer(const BusReply& reply) {
    const std::size_t length = reply.request.answerLength();
    ++(length == kReadingsResponseLength ? readings : shortAnswers);
    const auto frame = exchange.frame();
    CHECK(length == askedLength);
    CHECK(frame.size() == length);
    CHECK(frameCrcMatches(frame));
    CHECK(reply.readings.has_value() == (length == kReadingsResponseLength));
    CHECK(reply.status.has_value() == (length == kStatusResponseLength));
    CHECK(handedIn.size() >= length);
    CHECK(std::equal(frame.begin(), frame.end(), handedIn.end() - static_cast<std::ptrdiff_t>(length)));
    if (tracing) CHECK(std::string_view(lastLine).ends_with("  accepted\n"));
    if (length == kReadingsResponseLength) CHECK(frame[0] == asked);
    switch (action) {
      case HandlerAction::Nothing:
        break;
      case HandlerAction::ClearReceive:
        exchange.clearReceive();
        break;
      case HandlerAction::NewAnswerLength:
        exchange.expectAnswer(actionExpected);
        break;
      case HandlerAction::ReplaceListener:
        installListener();  // the running listener's own function object goes
        break;
    }
  }

  void checkState() const {
    const auto buffer = exchange.receiveBuffer();
    CHECK(exchange.frame().size() <= buffer.size());
    // Nothing beyond the assembled bytes: no stale byte, no spill.
    for (std::size_t i = exchange.frame().size(); i < buffer.size(); ++i) CHECK(buffer[i] == 0);
  }

  // The hand-over of one block; `expectedNow` is the length awaited when the
  // user-interface thread gets to it (it may have changed since the read).
  void handOver(const std::vector<std::uint8_t>& block, std::size_t expectedNow) {
    exchange.expectAnswer(expectedNow);
    const std::size_t count = block.size();
    const bool fresh = exchange.frame().size() == 0;
    const int callsBefore = shortAnswers + readings;
    const std::size_t strayBefore = notAsked.size();
    const bool awaited = !answered;
    const int linesBefore = traceLines;
    handedIn.insert(handedIn.end(), block.begin(), block.end());
    if (handedIn.size() > 64) handedIn.erase(handedIn.begin(), handedIn.end() - 32);

    exchange.acceptBlock(block);

    const int calls = shortAnswers + readings - callsBefore;
    CHECK(calls <= 1);
    const bool frame = count == expectedNow &&
                       (count == kStatusResponseLength || count == kReadingsResponseLength) &&
                       frameCrcMatches(block);
    const int stray = static_cast<int>(notAsked.size() - strayBefore);
    CHECK(calls + stray <= 1);
    // A whole good frame on an empty buffer is the answer, once, when it is
    // the request in flight's; else it is told for its sender, once.
    if (fresh && frame) {
      const bool ours =
          awaited && count == askedLength && (count != kReadingsResponseLength || block[0] == asked);
      CHECK(calls == (ours ? 1 : 0));
      CHECK(stray == (ours ? 0 : 1));
      if (!ours) CHECK(notAsked.back() == block[0]);
    }
    // Assembled bytes stay only while they are fewer than a frame.
    CHECK(exchange.frame().size() == 0 || exchange.frame().size() < exchange.answerLength());
    if (tracing) CHECK(traceLines == linesBefore + 1);
    checkState();
  }

  // What the receive thread does at an arrival.
  void arrival(std::size_t expectedAtHandOver) {
    const std::size_t expected = exchange.answerLength();
    if (!Exchange::takeBlock(queue.size(), expected)) return;
    CHECK(queue.size() == expected && expected >= 1 && expected <= exchange.receiveBuffer().size());
    const std::vector<std::uint8_t> block = std::move(queue);
    queue.clear();
    handOver(block, expectedAtHandOver);
  }
};

std::size_t expectedFrom(std::uint8_t b) { return b % (kMaxExpected + 1); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  Run run;
  run.exchange.expectAnswer(expectedFrom(in.byte()));
  const std::uint8_t setup = in.byte();
  run.tracing = (setup & 1) != 0;
  run.action = static_cast<HandlerAction>((setup >> 1) & 3);
  run.actionExpected = expectedFrom(static_cast<std::uint8_t>(setup >> 3));
  run.installListener();
  if (run.tracing) {
    run.exchange.setTrace(std::make_shared<TrafficTrace>(
        [&run](const std::string& line) {
          ++run.traceLines;
          run.lastLine = line;
        },
        [] { return std::chrono::system_clock::time_point{}; }));
  }

  while (!in.empty()) {
    const std::uint8_t op = in.byte();
    switch (op % 8) {
      case 0:
      case 1:
      case 2:
      case 3: {
        // A burst; the receive thread looks at once, or (3) only after the
        // next burst has joined it.
        const int length = 1 + (op >> 3) % 24;
        for (int i = 0; i < length && !in.empty(); ++i) run.queue.push_back(in.byte());
        if (run.queue.size() > kQueueLimit) run.queue.clear();
        if (op % 8 != 3) run.arrival(run.exchange.answerLength());
        break;
      }
      case 4: {
        // A tick: both queues purged, then the next request to the address
        // given, or (0) no request, bytes being in the way; the awaited
        // length may differ from the request's (a poll started meanwhile).
        run.queue.clear();
        const std::uint8_t kind = in.byte();
        const int address = in.byte();
        if (address != 0) run.request(address, (kind & 0x80) != 0);
        if (address == 0 || (kind & 0x40) != 0) run.exchange.expectAnswer(expectedFrom(kind));
        break;
      }
      case 5:
        // The awaited length changes with the queue as it is (an address change).
        run.exchange.expectAnswer(expectedFrom(in.byte()));
        break;
      case 6:
        // A block read at one awaited length and handed over at another.
        run.arrival(expectedFrom(in.byte()));
        break;
      case 7:
        run.exchange.clearReceive();
        run.checkState();
        CHECK(run.exchange.frame().size() == 0);
        break;
      default:
        break;
    }
  }
  return 0;
}
