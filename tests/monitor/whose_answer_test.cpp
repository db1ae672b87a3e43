// The poll and the engine against the simulator's answers with its faults
// drawn at random, late ones among them, for many thousands of exchanges.
// The receive thread is played by the test: bytes gather in a queue that a
// tick purges, and a block is handed over when the queue holds exactly 16.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "sim/answer_builder.h"
#include "sim/request_parser.h"
#include "tests/monitor/monitor_rig.h"

namespace rs485::test {
namespace {

using namespace std::chrono_literals;

constexpr int kExchanges = 200000;
const std::vector<int> kBus{3, 17, 42, 100, 247};

int temperatureOf(int address) { return 100 + address; }

class WhoseAnswer : public MonitorRig {
 protected:
  struct Arrival {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> bursts;
    bool clean = false;  // an in-time answer of the device asked, whole and good
  };

  // The device's answer to the request for `address`, as the simulator builds it.
  std::optional<sim::Answer> answerOf(int address) {
    const TxFrame tx = exchange.txBuffer();
    const sim::ParsedItem request{sim::ParsedItem::Kind::Request, {tx.begin(), tx.begin() + 4}};
    const sim::BusView view{[address] { return panelReadings(address, temperatureOf(address)); },
                            [](int) { return false; }};
    return devices.at(address).answer(request, view).answer;
  }

  // The bursts of one frame reach the queue; the receive thread hands it
  // over whenever the queue holds exactly the awaited length.
  void arrive(const Arrival& a) {
    std::size_t at = 0;
    for (const std::size_t burst : a.bursts) {
      queue.insert(queue.end(), a.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   a.bytes.begin() + static_cast<std::ptrdiff_t>(at + burst));
      at += burst;
      if (queue.size() == exchange.answerLength()) {
        const std::vector<std::uint8_t> block = std::move(queue);
        queue.clear();  // read, and onReceived purges what follows
        exchange.acceptBlock(block);
      }
    }
  }

  std::map<int, sim::AnswerBuilder> devices;
  std::vector<std::uint8_t> queue;
  int asked = 0;
  int handledThisTick = 0;
  int wrongHandled = 0;
};

// No handled reading carries another device's address byte, one answer per
// request at most, and a device whose answer came in time and whole is never
// passed over: the next tick asks the next device.
TEST_F(WhoseAnswer, EveryHandledReadingIsTheAskedDevicesAndNobodyIsPassedOverWhileAnswering) {
  std::mt19937_64 random(20261208);
  for (std::size_t i = 0; i < kBus.size(); ++i) {
    sim::Faults f;
    f.silent = 0.05;
    f.badCrc = 0.05;
    f.split = 0.10;
    f.extraBytes = 0.05;
    f.wrongAddress = 0.05;
    // An address nobody on the bus has: a device that names another one
    // present cannot be told from it, the address byte being all there is.
    f.otherAddress = 200;
    f.late = kBus[i] == 3 ? 1.0 : 0.10;  // 3 always answers in the next device's time
    f.lateBy = 1150ms;
    devices.emplace(kBus[i], sim::AnswerBuilder(f, random()));
  }
  exchange.setListener({.sent = [this](const BusRequest& request) { lastRequest = request.address; },
                        .reply =
                            [this](const BusReply& reply) {
                              if (!reply.readings) return;
                              ++handledThisTick;
                              if (reply.readings->address != asked) ++wrongHandled;
                              display.showReadings(*reply.readings);
                            },
                        .dropped = {},
                        .unasked = [this](int address) { notAsked.push_back(address); },
                        .writeFailed = {},
                        .writeResumed = {},
                        .requestWritten = {}});
  found(kBus);
  const int selected = 42;
  select(selected);
  clickReadingAll();
  const QString shown = QStringLiteral("0%1").arg(temperatureOf(selected));

  std::vector<Arrival> lateOnes;  // sent at the last tick, arriving in this one
  int expectedNext = 0;
  int silentTicks = 0;
  int cleanAnswers = 0;
  int handled = 0;
  for (int n = 0; n < kExchanges; ++n) {
    queue.clear();  // the tick's purge
    asked = tick();
    ASSERT_NE(asked, 0);
    if (n > 0) {
      ASSERT_EQ(asked, expectedNext) << "exchange " << n;
    }
    handledThisTick = 0;

    std::vector<Arrival> now;
    std::vector<Arrival> next;
    if (const auto answer = answerOf(asked)) {
      Arrival a{answer->bytes, answer->bursts, false};
      if (answer->late > 0ms) {
        next.push_back(std::move(a));
      } else {
        a.clean = answer->verdict == "ok" || answer->verdict == "split";
        now.push_back(std::move(a));
      }
    }
    // A late answer lands before or after this tick's own.
    for (Arrival& late : lateOnes) {
      const auto where = random() % 2 == 0 ? now.begin() : now.end();
      now.insert(where, std::move(late));
    }
    lateOnes = std::move(next);
    bool answeredInTime = false;
    for (const Arrival& a : now) {
      answeredInTime = answeredInTime || (a.clean && queue.empty());
      arrive(a);
    }

    ASSERT_LE(handledThisTick, 1) << "exchange " << n;
    ASSERT_EQ(wrongHandled, 0) << "exchange " << n;
    if (answeredInTime) {
      ASSERT_EQ(handledThisTick, 1) << "exchange " << n;
      ++cleanAnswers;
    }
    const auto index = static_cast<std::size_t>(std::ranges::find(kBus, asked) - kBus.begin());
    ++silentTicks;
    if (handledThisTick == 1 || silentTicks == kSilentTicksBeforeSkip) {
      silentTicks = 0;
      expectedNext = kBus[(index + 1) % kBus.size()];
    } else {
      expectedNext = asked;
    }
    handled += handledThisTick;
    const QString cells = view.cellsText(
        std::vector<DigitCell>{DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4});
    ASSERT_TRUE(cells == QStringLiteral("0000") || cells == shown) << cells.toStdString();
  }
  const auto heardFrom3 = std::ranges::count(notAsked, 3);
  std::printf(
      "whose answer: %d exchanges, %d handled (%d whole and in time), %zu good answers not awaited "
      "(%td from device 3)\n",
      kExchanges, handled, cleanAnswers, notAsked.size(), heardFrom3);
  EXPECT_GT(cleanAnswers, kExchanges / 2);
  EXPECT_GT(heardFrom3, 0);
  EXPECT_GT(notAsked.size(), static_cast<std::size_t>(heardFrom3));  // the wrong-address ones too
}

}  // namespace
}  // namespace rs485::test
