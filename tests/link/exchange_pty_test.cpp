// The engine over a real pseudo-terminal, with the test playing the device on
// the master end and acting as the user-interface thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "link_rig.h"
#include "protocol/frames.h"

namespace rs485::test {
namespace {

using namespace std::chrono_literals;

Bytes probeOf(int address) { return request(buildBusRequest(address, CmdProbe), kBusRequestLength); }

class ExchangeOverPty : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig.open()) << describe(rig.session.lastError()); }

  bool rxBufferIsClear() const {
    return std::ranges::all_of(rig.exchange.receiveBuffer(), [](std::uint8_t b) { return b == 0; });
  }

  LinkRig rig;
};

TEST_F(ExchangeOverPty, RequestGoesOutAndAnswersAreRoutedByLength) {
  EXPECT_EQ(rig.send(BusRequest::probe(1)), (Bytes{0x01, 0x01, 0xC1, 0xE0}));
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));
  EXPECT_EQ(rig.shortAnswers[0], statusFrame(1, CmdProbe));
  EXPECT_TRUE(rig.readings.empty());

  EXPECT_EQ(rig.send(BusRequest::readCurrent(1)), (Bytes{0x01, 0x50, 0x00, 0x1C}));
  rig.pty.write(readingsFrame(1, -200));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  EXPECT_EQ(rig.readings[0], readingsFrame(1, -200));
  EXPECT_EQ(rig.shortAnswers.size(), 1u);

  rig.exchange.sendRequest(BusRequest::setAddress(5, 7));
  EXPECT_EQ(rig.exchange.answerLength(), kStatusResponseLength);
  EXPECT_EQ(rig.pty.read(kAddressChangeRequestLength), (Bytes{0x05, 0x02, 0x07, 0x21, 0x63}));
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.transmitParked(); }));
  rig.pty.write(statusFrame(7, CmdSetAddress));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 2; }));
  EXPECT_EQ(rig.shortAnswers[1], statusFrame(7, CmdSetAddress));

  EXPECT_EQ(rig.rxCountsSeen, (std::vector<std::size_t>{5, 16, 5}));
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  EXPECT_TRUE(rxBufferIsClear());
  EXPECT_TRUE(rig.sendFailures.empty());
}

TEST_F(ExchangeOverPty, SixteenBytesInTwoBurstsAreHandledOnce) {
  const Bytes first = readingsFrame(1, 215);
  const Bytes second = readingsFrame(1, 216);
  rig.send(BusRequest::readCurrent(1));
  rig.pty.write(Bytes(first.begin(), first.begin() + 10));
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 10; }));
  rig.pty.write(Bytes(first.begin() + 10, first.end()));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));

  rig.tick();
  rig.send(BusRequest::readCurrent(1));
  rig.pty.write(second);
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 2; }));
  EXPECT_EQ(rig.readings, (std::vector<Bytes>{first, second}));
}

TEST_F(ExchangeOverPty, FiveBytesWhileSixteenExpectedAreNeverHandled) {
  rig.send(BusRequest::readCurrent(1));
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 5; }));
  rig.tick();
  EXPECT_EQ(rig.exchange.inputQueued(), 0);

  rig.send(BusRequest::readCurrent(1));
  rig.pty.write(readingsFrame(1, 100));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  EXPECT_TRUE(rig.shortAnswers.empty());
  EXPECT_EQ(rig.readings[0], readingsFrame(1, 100));
}

TEST_F(ExchangeOverPty, SeventeenBytesAtOnceAreNeverReadAndTheReceiverSleeps) {
  const Bytes good = readingsFrame(2, 300);
  Bytes seventeen = good;
  seventeen.push_back(0x55);
  rig.send(BusRequest::readCurrent(2));
  rig.pty.write(seventeen);
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 17; }));

  // Bytes left in the queue must not keep the receive thread busy.
  const auto before = rig.exchange.receiveThreadCpuTime();
  EXPECT_TRUE(rig.pty.silentFor(400ms));
  const auto used = rig.exchange.receiveThreadCpuTime() - before;
  EXPECT_LT(used, 50ms);
  EXPECT_EQ(rig.ui.queued(), 0u);
  EXPECT_EQ(rig.exchange.inputQueued(), 17);
  EXPECT_EQ(rig.drops, 0);

  rig.tick();
  EXPECT_EQ(rig.drops, 1) << "the purge threw away an answer of the wrong length";
  rig.send(BusRequest::readCurrent(2));
  rig.pty.write(good);
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  EXPECT_EQ(rig.readings[0], good);
  EXPECT_EQ(rig.drops, 1);
  EXPECT_EQ(rig.requestsFor, (std::vector<int>{2, 2}));
}

// Each request gets one reply: its answer with the readings decoded, a drop
// and why, or silence; another device's answer is told for that device and
// leaves the request silent.
TEST_F(ExchangeOverPty, EveryRequestGetsOneReply) {
  using Kind = BusReply::Kind;
  using Why = BusReply::Why;
  struct Told {
    Kind kind;
    Why why;
    bool operator==(const Told&) const = default;
  };
  Bytes corrupted = readingsFrame(9, 215);
  corrupted[5] ^= 0x40;
  Bytes seventeen = readingsFrame(9, 215);
  seventeen.push_back(0x55);
  const struct {
    const char* what;
    Bytes arriving;
    Told told;
    std::vector<int> unasked;
  } cases[] = {
      {"its answer", readingsFrame(9, 215), {Kind::Answered, Why::None}, {}},
      {"a bad CRC", corrupted, {Kind::Dropped, Why::BadCrc}, {}},
      {"one byte too many, purged by the next request", seventeen, {Kind::Dropped, Why::Incomplete}, {}},
      {"nothing", {}, {Kind::Silent, Why::None}, {}},
      {"another device's answer", readingsFrame(4, 215), {Kind::Silent, Why::None}, {4}},
  };
  rig.send(BusRequest::readCurrent(9));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rig.replies.clear();
    rig.notAsked.clear();
    const int drops = rig.drops;
    rig.pty.write(c.arriving);
    if (c.arriving.size() == kReadingsResponseLength) {
      ASSERT_TRUE(
          rig.eventually([&] { return !rig.replies.empty() || !rig.notAsked.empty() || rig.drops > drops; }));
    } else if (!c.arriving.empty()) {
      ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 17; }));
    }
    rig.send(BusRequest::readCurrent(9));
    ASSERT_EQ(rig.replies.size(), 1u);
    const BusReply& reply = rig.replies.front();
    EXPECT_EQ((Told{reply.kind, reply.why}), c.told);
    EXPECT_EQ(reply.request, BusRequest::readCurrent(9));
    EXPECT_EQ(rig.notAsked, c.unasked);
    EXPECT_EQ(rig.drops - drops, c.told.kind == Kind::Dropped ? 1 : 0) << "told at once as well";
    EXPECT_EQ(reply.readings.has_value(), reply.kind == Kind::Answered);
    EXPECT_FALSE(reply.status.has_value());
    if (reply.readings) {
      EXPECT_EQ(reply.readings->address, 9);
      EXPECT_EQ(reply.readings->temperature, 215);
    }
  }
}

// An address change is a request of its own: the request it replaces gets
// its reply, and the acknowledgement is the address change's, not an answer
// of the device asked before it.
TEST_F(ExchangeOverPty, AnAddressChangeGetsItsOwnReply) {
  rig.send(BusRequest::readCurrent(3));
  rig.pty.write(readingsFrame(3, 100));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  rig.send(BusRequest::readCurrent(7));
  EXPECT_EQ(rig.send(BusRequest::setAddress(3, 5)),
            request(buildAddressChangeRequest(3, 5), kAddressChangeRequestLength));
  rig.pty.write(statusFrame(5, CmdSetAddress));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));

  ASSERT_EQ(rig.replies.size(), 3u);
  EXPECT_EQ(rig.replies[1].request, BusRequest::readCurrent(7));
  EXPECT_EQ(rig.replies[1].kind, BusReply::Kind::Silent);
  EXPECT_EQ(rig.replies[2].request, BusRequest::setAddress(3, 5));
  EXPECT_EQ(rig.replies[2].kind, BusReply::Kind::Answered);
  ASSERT_TRUE(rig.replies[2].status.has_value());
  EXPECT_EQ(rig.replies[2].status->address, 5);
  EXPECT_EQ(rig.requestsFor, (std::vector<int>{3, 7, 3}));
  EXPECT_TRUE(rig.notAsked.empty());
}

TEST_F(ExchangeOverPty, OneCorruptedByteCausesNoHandlerCall) {
  Bytes corrupted = readingsFrame(3, 10);
  corrupted[5] ^= 0x40;
  rig.send(BusRequest::readCurrent(3));
  rig.pty.write(corrupted);
  ASSERT_TRUE(rig.runNextHandOver());
  EXPECT_TRUE(rig.readings.empty());
  EXPECT_EQ(rig.drops, 1);
  EXPECT_TRUE(rig.sendFailures.empty());
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  EXPECT_TRUE(rxBufferIsClear());
  EXPECT_EQ(rig.exchange.inputQueued(), 0);

  rig.tick();
  rig.send(BusRequest::readCurrent(3));
  rig.pty.write(readingsFrame(3, 11));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  EXPECT_EQ(rig.readings[0], readingsFrame(3, 11));
  EXPECT_EQ(rig.drops, 1);
}

TEST_F(ExchangeOverPty, ReadingFuncPurgesStaleBytesBeforeTheRequestGoesOut) {
  rig.exchange.expectAnswer(kStatusResponseLength);
  rig.pty.write({1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 7; }));

  rig.exchange.sendRequest(BusRequest::probe(9));
  EXPECT_EQ(rig.exchange.inputQueued(), 0);
  EXPECT_EQ(rig.pty.read(kBusRequestLength), probeOf(9));
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.transmitParked(); }));

  rig.pty.write(statusFrame(9, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));
  EXPECT_EQ(rig.shortAnswers[0], statusFrame(9, CmdProbe));
}

TEST_F(ExchangeOverPty, FailedWriteIsReportedAndRetriedAfterAPause) {
  rig.pty.closeMaster();  // every write now fails with EIO
  const auto sent = std::chrono::steady_clock::now();
  rig.exchange.sendRequest(BusRequest::probe(1));
  ASSERT_TRUE(rig.eventually([&] { return rig.sendFailures.size() >= 3; }));
  EXPECT_FALSE(rig.exchange.transmitParked());
  EXPECT_GE(rig.sendFailures[2] - rig.sendFailures[0], 190ms);
  // The hung-up line wakes the receive thread once; it then sleeps until the
  // close. Either worker spinning would take a good share of a core; a
  // quarter of the time passed leaves room for sanitizers on busy cores.
  const auto budget = std::max<std::chrono::nanoseconds>(50ms, (std::chrono::steady_clock::now() - sent) / 4);
  EXPECT_LT(rig.exchange.receiveThreadCpuTime(), budget);
  EXPECT_LT(rig.exchange.transmitThreadCpuTime(), budget);

  rig.session.COMClose();
  EXPECT_FALSE(rig.exchange.running());
  EXPECT_FALSE(rig.session.isOpen());
}

TEST_F(ExchangeOverPty, OneReleaseGivesOneWrite) {
  // Each request's frame is the next thing on the line: a second write of the
  // one before would come first.
  for (int address : {1, 2, 3}) {
    EXPECT_EQ(rig.send(BusRequest::probe(address)), probeOf(address));
    EXPECT_EQ(rig.pty.pending(), 0);
  }
  EXPECT_TRUE(rig.sendFailures.empty());
}

// A request that finds the transmit thread between a completed write and
// that write's onSent must still go out: its release finds the thread not
// parked, and onSent must not park it over the newer frame.
TEST_F(ExchangeOverPty, ARequestMadeBeforeThePreviousOnSentRanGoesOut) {
  for (int address : {1, 2, 3}) {
    rig.exchange.sendRequest(BusRequest::probe(address));
    EXPECT_EQ(rig.pty.read(kBusRequestLength), probeOf(address));
    ASSERT_TRUE(rig.ui.waitForTask());  // that write's onSent, not yet run
    rig.exchange.sendRequest(BusRequest::probe(address + 10));
    rig.ui.runPending();
    EXPECT_EQ(rig.pty.read(kBusRequestLength), probeOf(address + 10));
    ASSERT_TRUE(rig.eventually([&] { return rig.exchange.transmitParked(); }));
  }
  EXPECT_EQ(rig.pty.pending(), 0);
  EXPECT_TRUE(rig.sendFailures.empty());
}

// Frames carry no sequence number: only the first answer naming the device
// asked is its answer. Every other good readings frame names its sender in
// the notes and reaches no handler.
TEST_F(ExchangeOverPty, AReadingsAnswerIsTakenOnlyFromTheDeviceAskedAndOnlyOnce) {
  struct Case {
    const char* what;
    std::vector<Bytes> arriving;  // one after the other, each taken off the line before the next
    std::size_t handled;          // how many reach the readings handler: 17's, or none
    std::vector<int> notAsked;
  };
  const std::vector<Case> cases = {
      {"the device asked", {readingsFrame(17, 222)}, 1, {}},
      {"another device's late answer", {readingsFrame(3, 111)}, 0, {3}},
      {"a late answer before the one asked", {readingsFrame(3, 111), readingsFrame(17, 222)}, 1, {3}},
      {"a late answer after the one asked", {readingsFrame(17, 222), readingsFrame(3, 111)}, 1, {3}},
      {"a second answer of the device asked", {readingsFrame(17, 222), readingsFrame(17, 223)}, 1, {17}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rig.readings.clear();
    rig.notAsked.clear();
    rig.send(BusRequest::readCurrent(17));
    const int acceptedBefore = rig.accepted;
    for (const Bytes& frame : c.arriving) {
      const auto seen = rig.readings.size() + rig.notAsked.size();
      rig.pty.write(frame);
      ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() + rig.notAsked.size() > seen; }));
    }
    ASSERT_EQ(rig.readings.size(), c.handled);
    if (c.handled == 1) {
      EXPECT_EQ(rig.readings[0], readingsFrame(17, 222));
    }
    EXPECT_EQ(rig.accepted - acceptedBefore, static_cast<int>(c.handled));
    EXPECT_EQ(rig.notAsked, c.notAsked);
    EXPECT_EQ(rig.exchange.frame().size(), 0);
    EXPECT_TRUE(rxBufferIsClear());
  }
}

TEST_F(ExchangeOverPty, ABlockThatWouldNotFitIsDiscardedWithWhatWasAssembled) {
  rig.exchange.expectAnswer(kStatusResponseLength);
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.ui.waitForTask());
  rig.exchange.expectAnswer(kReadingsResponseLength);  // a poll began before the hand-over ran
  rig.ui.runPending();
  EXPECT_EQ(rig.exchange.frame().size(), 5);
  EXPECT_TRUE(rig.shortAnswers.empty());

  const Bytes block = readingsFrame(1, 50);
  rig.pty.write(block);
  ASSERT_TRUE(rig.runNextHandOver());
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  EXPECT_TRUE(rxBufferIsClear());
  EXPECT_TRUE(rig.readings.empty());
  EXPECT_EQ(rig.exchange.inputQueued(), 0);

  rig.send(BusRequest::readCurrent(1));
  rig.pty.write(readingsFrame(1, 51));
  ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == 1; }));
  EXPECT_EQ(rig.readings[0], readingsFrame(1, 51));
}

// Every response length from 0 to 40 and random bursts of garbage, against a
// model of the engine: bytes are taken only when the queue holds exactly
// ExpectedLength of them, and only a good CRC reaches a handler.
class BadInput : public ExchangeOverPty, public ::testing::WithParamInterface<int> {
 protected:
  std::vector<Bytes>& handled() {
    return expected() == kStatusResponseLength ? rig.shortAnswers : rig.readings;
  }
  int expected() const { return GetParam(); }
  Bytes goodFrame(int n) const {
    return expected() == kStatusResponseLength ? statusFrame(static_cast<std::uint8_t>(n), CmdProbe)
                                               : readingsFrame(1, static_cast<std::int16_t>(n));
  }
  void checkInvariants() {
    EXPECT_GE(rig.exchange.frame().size(), 0);
    EXPECT_LE(rig.exchange.frame().size(), kRxBufferSize);
    for (int count : rig.rxCountsSeen) EXPECT_EQ(count, expected());
  }
  // A tick: both queues purged, and a request to device 1, whose first good
  // answer alone is taken.
  void nextRequest() {
    rig.send(expected() == kReadingsResponseLength ? BusRequest::readCurrent(1) : BusRequest::probe(1));
    answered = false;
  }
  // Whether the engine takes this good frame, of the awaited length, now: a
  // status answer need not name the device asked.
  bool awaited(const Bytes& frame) const {
    return !answered && (expected() != kReadingsResponseLength || frame[0] == 1);
  }
  bool answered = false;
  std::mt19937 random{485};
  Bytes garbage(std::size_t length) {
    Bytes bytes(length);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() & 0xFF);
    return bytes;
  }
};

TEST_P(BadInput, EveryWrongLengthOrBadCrcIsNeverHandled) {
  rig.exchange.expectAnswer(expected());
  std::vector<Bytes> want;
  for (int length = 0; length <= 40; ++length) {
    SCOPED_TRACE(length);
    rig.tick();
    Bytes bytes = garbage(static_cast<std::size_t>(length));
    if (length == expected() && frameCrcMatches(bytes)) bytes.back() ^= 1;
    rig.pty.write(bytes);
    if (length == expected()) {
      ASSERT_TRUE(rig.runNextHandOver());
      EXPECT_EQ(rig.exchange.inputQueued(), 0);
    } else {
      ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == length; }));
    }
    EXPECT_EQ(handled(), want);
    checkInvariants();

    nextRequest();
    want.push_back(goodFrame(length));
    rig.pty.write(want.back());
    ASSERT_TRUE(rig.eventually([&] { return handled().size() == want.size(); }));
    EXPECT_EQ(handled(), want);
  }
  EXPECT_TRUE(rig.shortAnswers.empty() || rig.readings.empty());
}

TEST_P(BadInput, RandomBurstsHandleOnlyExactLengthGoodFrames) {
  rig.exchange.expectAnswer(expected());
  nextRequest();
  std::vector<Bytes> want;
  Bytes queued;  // what the engine's queue holds now, in the model
  for (int burstNumber = 0; burstNumber < 200; ++burstNumber) {
    SCOPED_TRACE(burstNumber);
    if (queued.size() + 12 > 40 || random() % 8 == 0) {
      nextRequest();
      queued.clear();
    }
    Bytes burst = queued.empty() && random() % 2 == 0 ? goodFrame(burstNumber) : garbage(1 + random() % 12);
    rig.pty.write(burst);
    queued.insert(queued.end(), burst.begin(), burst.end());
    if (static_cast<int>(queued.size()) == expected()) {
      ASSERT_TRUE(rig.runNextHandOver());
      if (frameCrcMatches(queued) && awaited(queued)) {
        want.push_back(queued);
        answered = true;
      }
      queued.clear();  // read, then purged by onReceived
      EXPECT_EQ(rig.exchange.inputQueued(), 0);
    } else {
      ASSERT_TRUE(
          rig.eventually([&] { return rig.exchange.inputQueued() == static_cast<int>(queued.size()); }));
    }
    EXPECT_EQ(handled(), want);
    checkInvariants();
  }
  EXPECT_GT(want.size(), 5u);
  EXPECT_TRUE(rig.shortAnswers.empty() || rig.readings.empty());
}

INSTANTIATE_TEST_SUITE_P(ExpectedLengths, BadInput,
                         ::testing::Values(kStatusResponseLength, kReadingsResponseLength),
                         [](const auto& info) {
                           return info.param == kStatusResponseLength ? "StatusAnswers" : "ReadingsAnswers";
                         });

// Closing never waits for the user-interface thread, and whatever a closed
// port left queued there does nothing when it finally runs.
TEST_F(ExchangeOverPty, CloseWhileTheReceiveThreadWaitsInAHandOver) {
  rig.send(BusRequest::probe(1));
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.ui.waitForTask());
  rig.session.COMClose();
  EXPECT_FALSE(rig.exchange.running());

  EXPECT_EQ(rig.ui.runPending(), 1);
  EXPECT_TRUE(rig.shortAnswers.empty());
  EXPECT_EQ(rig.exchange.frame().size(), 0);

  ASSERT_TRUE(rig.open());
  EXPECT_EQ(rig.send(BusRequest::probe(2)), probeOf(2));
  rig.pty.write(statusFrame(2, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));
  EXPECT_EQ(rig.shortAnswers[0], statusFrame(2, CmdProbe));
}

TEST_F(ExchangeOverPty, CloseWhileTheTransmitThreadWaitsInAHandOver) {
  rig.pty.closeMaster();
  rig.exchange.sendRequest(BusRequest::probe(1));
  ASSERT_TRUE(rig.ui.waitForTask());  // onSent of a failed write
  rig.session.COMClose();
  EXPECT_FALSE(rig.exchange.running());
  EXPECT_EQ(rig.ui.runPending(), 1);
  EXPECT_TRUE(rig.sendFailures.empty());
  ASSERT_EQ(rig.replies.size(), 1u);
  EXPECT_EQ(rig.replies[0].kind, BusReply::Kind::NotSent) << "no write of it completed";
}

TEST_F(ExchangeOverPty, CloseFromInsideAHandlerThatRunsANestedEventLoop) {
  Bytes seenAfterClose;
  rig.onReply = [&](const BusReply&) {
    rig.session.COMClose();  // a click served by a modal box's event loop
    rig.ui.runPending();
    seenAfterClose.assign(rig.exchange.receiveBuffer().begin(), rig.exchange.receiveBuffer().begin() + 5);
  };
  rig.send(BusRequest::probe(4));
  rig.pty.write(statusFrame(4, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));
  EXPECT_FALSE(rig.exchange.running());
  EXPECT_EQ(seenAfterClose, statusFrame(4, CmdProbe));
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  EXPECT_EQ(rig.exchange.inputQueued(), 0);
  rig.exchange.sendRequest(BusRequest::probe(5));  // no port: only the buffer changes
  EXPECT_EQ(rig.exchange.txBuffer(), buildBusRequest(5, CmdProbe));
}

}  // namespace
}  // namespace rs485::test
