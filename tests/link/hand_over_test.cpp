// The hand-over to the user-interface thread and the parking of the transmit
// thread, with a scripted line where the real one cannot show the rule.
#include "link/hand_over.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fake_line.h"
#include "link/exchange.h"
#include "link/write_gate.h"
#include "link_rig.h"
#include "tests/support/assembled_frame.h"

namespace rs485::test {
namespace {

TEST(HandOver, TheWorkerWaitsUntilItsHandlerHasRunOnTheUserInterfaceThread) {
  PumpExecutor ui;
  HandOver handOver(ui);
  std::atomic<bool> workerDone{false};
  bool workerDoneInsideHandler = true;
  std::thread::id handlerThread;
  bool ran = false;
  std::thread worker([&] {
    ran = handOver.run([&] {
      handlerThread = std::this_thread::get_id();
      workerDoneInsideHandler = workerDone;
    });
    workerDone = true;
  });
  ASSERT_TRUE(ui.waitForTask());
  EXPECT_FALSE(workerDone);
  ui.runPending();
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_FALSE(workerDoneInsideHandler);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST(HandOver, CancelReleasesTheWorkerAndTheQueuedTaskNeverRunsItsHandler) {
  PumpExecutor ui;
  bool handlerRan = false;
  bool ran = true;
  {
    HandOver handOver(ui);
    std::thread worker([&] { ran = handOver.run([&] { handlerRan = true; }); });
    ASSERT_TRUE(ui.waitForTask());
    handOver.cancel();
    worker.join();
    EXPECT_FALSE(handOver.run([&] { handlerRan = true; }));  // at once, nothing posted
  }
  EXPECT_FALSE(ran);
  EXPECT_EQ(ui.runPending(), 1);  // the task outlives its hand-over and does nothing
  EXPECT_FALSE(handlerRan);
}

TEST(WriteGate, OnlyAReleaseOfAParkedThreadCounts) {
  WriteGate gate;
  EXPECT_TRUE(gate.parked());
  gate.release();
  EXPECT_FALSE(gate.parked());
  gate.release();  // dropped: not parked
  gate.park();
  EXPECT_TRUE(gate.parked());

  std::atomic<bool> released{false};
  std::thread waiter([&] { released = gate.waitWhileParked(); });
  gate.close();
  waiter.join();
  EXPECT_FALSE(released);
  EXPECT_FALSE(gate.waitWhileParked());
}

struct ScriptedExchange : ::testing::Test {
  PumpExecutor ui;
  Exchange exchange{ui};
  FakeLine line;
  int failures = 0;
  int resumed = 0;  // the first write that went out after failed ones
  std::function<void()> onFailure;
  std::vector<BusReply> replies;

  void SetUp() override {
    exchange.setListener({.sent = {},
                          .reply = [this](const BusReply& reply) { replies.push_back(reply); },
                          .dropped = {},
                          .unasked = {},
                          .writeFailed =
                              [this] {
                                ++failures;
                                if (onFailure) onFailure();
                              },
                          .writeResumed = [this] { ++resumed; },
                          .requestWritten = {}});
  }
  void TearDown() override { exchange.stop(); }

  bool writtenAndParked(std::size_t writes) {
    return pumpUntil(ui, [&] { return line.writes().size() == writes && exchange.transmitParked(); });
  }
  static Bytes probe(int address) { return request(buildBusRequest(address, CmdProbe), kBusRequestLength); }
};

TEST_F(ScriptedExchange, AReleaseDuringFailedWritesIsDroppedButItsFrameIsWritten) {
  line.scriptWrites({false, true});
  onFailure = [&] { exchange.sendRequest(BusRequest::probe(2)); };
  exchange.start(line);
  exchange.sendRequest(BusRequest::probe(1));
  ASSERT_TRUE(writtenAndParked(2));
  EXPECT_EQ(line.writes(), (std::vector<Bytes>{probe(1), probe(2)}));
  EXPECT_EQ(line.traffic(), (std::vector<std::string>{"write failed", "pause 100", "reopen", "write"}));
  EXPECT_EQ(failures, 1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].request, BusRequest::probe(1));
  EXPECT_EQ(replies[0].kind, BusReply::Kind::NotSent) << "replaced before any write of it completed";

  exchange.sendRequest(BusRequest::probe(3));
  ASSERT_TRUE(writtenAndParked(3));
  EXPECT_EQ(line.writes(), (std::vector<Bytes>{probe(1), probe(2), probe(3)}));
}

// A request made before the thread parks again replaces a frame not yet
// written; one made after the write but before its onSent ran goes out next.
// Either way the newest request is on the line and nothing twice.
TEST_F(ScriptedExchange, TwoReleasesBeforeTheThreadParksAgainEndWithTheNewestWritten) {
  exchange.start(line);
  exchange.sendRequest(BusRequest::probe(1));
  ASSERT_TRUE(writtenAndParked(1));
  EXPECT_EQ(resumed, 0);
  exchange.sendRequest(BusRequest::probe(2));
  exchange.sendRequest(BusRequest::probe(3));
  ASSERT_TRUE(pumpUntil(ui, [&] { return exchange.transmitParked() && line.writes().back() == probe(3); }));
  const std::vector<Bytes> replaced{probe(1), probe(3)};
  const std::vector<Bytes> both{probe(1), probe(2), probe(3)};
  const std::vector<Bytes> written = line.writes();
  EXPECT_TRUE(written == replaced || written == both);
  exchange.sendRequest(BusRequest::probe(4));
  ASSERT_TRUE(writtenAndParked(written.size() + 1));
  EXPECT_EQ(line.writes().back(), probe(4));
}

TEST_F(ScriptedExchange, EveryFailureIsReportedAndFollowedByAPauseAndAReopen) {
  line.scriptWrites({false, false, false, true});
  exchange.start(line);
  exchange.sendRequest(BusRequest::probe(7));
  ASSERT_TRUE(writtenAndParked(4));
  EXPECT_EQ(failures, 3);
  EXPECT_EQ(line.traffic(),
            (std::vector<std::string>{"write failed", "pause 100", "reopen", "write failed", "pause 100",
                                      "reopen", "write failed", "pause 100", "reopen", "write"}));
  EXPECT_EQ(line.writes(), std::vector<Bytes>(4, probe(7)));
  EXPECT_EQ(resumed, 1);
  exchange.sendRequest(BusRequest::probe(8));
  ASSERT_TRUE(writtenAndParked(5));
  EXPECT_EQ(resumed, 1);  // only the way out of a failure counts
}

TEST_F(ScriptedExchange, StopReturnsWhileAWriteWaitsForRoomAndNoHandlerRunsAfterIt) {
  line.blockWrites();
  exchange.start(line);
  exchange.sendRequest(BusRequest::probe(1));
  exchange.stop();
  EXPECT_TRUE(line.wasShutDown());
  EXPECT_FALSE(exchange.running());
  ui.runPending();
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(line.writes().empty());
  EXPECT_TRUE(replies.empty());
  exchange.settleRequest();  // as the close of the port does
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].kind, BusReply::Kind::NotSent) << "closed before its write completed";
}

TEST_F(ScriptedExchange, AReceiveThreadWhoseLineHasGoneSleepsUntilTheClose) {
  line.goneForGood();
  exchange.start(line);
  ASSERT_TRUE(pumpUntil(ui, [&] { return !line.traffic().empty(); }));
  EXPECT_EQ(line.traffic(), (std::vector<std::string>{"pause 3600000"}));
  EXPECT_EQ(line.arrivalWaits(), 1);
  exchange.stop();
  EXPECT_EQ(line.arrivalWaits(), 1);
}

TEST(ExchangeWithoutPort, RequestsStillFillTheBufferAndQueueCallsDoNothing) {
  PumpExecutor ui;
  Exchange exchange(ui);
  exchange.sendRequest(BusRequest::readCurrent(1));
  EXPECT_EQ(exchange.answerLength(), kReadingsResponseLength);
  EXPECT_EQ(exchange.txBuffer(), (TxFrame{0x01, 0x50, 0x00, 0x1C, 0x00}));
  EXPECT_EQ(exchange.txCount(), 4);

  exchange.sendRequest(BusRequest::setAddress(5, 7));
  EXPECT_EQ(exchange.txBuffer(), (TxFrame{0x05, 0x02, 0x07, 0x21, 0x63}));
  EXPECT_EQ(exchange.txCount(), 5);
  EXPECT_EQ(exchange.answerLength(), kStatusResponseLength);

  assembleFrame(exchange, std::vector<std::uint8_t>{9, 8, 7});
  ASSERT_EQ(exchange.frame().size(), 3u);
  exchange.clearReceive();
  EXPECT_EQ(exchange.frame().size(), 0);
  EXPECT_EQ(exchange.receiveBuffer()[0], 0);
  EXPECT_EQ(exchange.inputQueued(), 0);
  exchange.purgeInput();
  exchange.purgeOutput();
  exchange.stop();
  EXPECT_FALSE(exchange.running());
  EXPECT_EQ(ui.queued(), 0u);
}

}  // namespace
}  // namespace rs485::test
