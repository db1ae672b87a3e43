#include "sim/answer_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "protocol/frames.h"
#include "sim/request_parser.h"
#include "tests/sim/requests.h"

namespace rs485::sim {
namespace {

using std::chrono::milliseconds;
using namespace test;

ParsedItem item(const Bytes& request) { return {ParsedItem::Kind::Request, request}; }

ReadingsResponse someReadings(int address) {
  ReadingsResponse r;
  r.address = static_cast<std::uint8_t>(address);
  r.temperature = -123;
  r.timeMinutes = 42;
  r.cycles = 3;
  return r;
}

// A bus with the device at 4 and another at 9, counting what the device asks of it.
struct CountingBus {
  int readingsAsked = 0;
  int addressesAsked = 0;
  BusView view() {
    return {[this] {
              ++readingsAsked;
              return someReadings(4);
            },
            [this](int address) {
              ++addressesAsked;
              return address == 9 || address == 4;
            }};
  }
};

struct AnswerCase {
  const char* name;
  Faults faults;
  Bytes request;
  std::string requestVerdict;
  Bytes expected;          // the answer, or its start when extra bytes follow; empty: no answer
  std::size_t length = 0;  // 0: the length of `expected`
  std::string verdict{};   // of the answer
  int readingsAsked = 0;
};

class Answers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, FaultsShapeTheBytes) {
  const AnswerCase& c = GetParam();
  AnswerBuilder builder(c.faults, 1);
  CountingBus bus;
  const Outcome out = builder.answer(item(c.request), bus.view());
  EXPECT_EQ(std::string(out.verdict), c.requestVerdict);
  EXPECT_EQ(bus.readingsAsked, c.readingsAsked);
  EXPECT_FALSE(out.newAddress) << "a silent or refusing device stays where it is";
  if (c.expected.empty()) {
    EXPECT_FALSE(out.answer);
    return;
  }
  ASSERT_TRUE(out.answer);
  const Answer& a = *out.answer;
  EXPECT_EQ(a.verdict, c.verdict);
  ASSERT_EQ(a.bytes.size(), c.length != 0 ? c.length : c.expected.size());
  EXPECT_EQ(Bytes(a.bytes.begin(), a.bytes.begin() + static_cast<std::ptrdiff_t>(c.expected.size())),
            c.expected);
  if (c.faults.split == 0) {
    EXPECT_EQ(a.bursts, std::vector<std::size_t>{a.bytes.size()});
    EXPECT_TRUE(a.gaps.empty());
  }
}

Bytes badCrc(Bytes b) {
  b.back() ^= 0xFF;
  return b;
}

ReadingsResponse renamed(int address) {
  ReadingsResponse r = someReadings(4);
  r.address = static_cast<std::uint8_t>(address);
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    AnswerBuilder, Answers,
    ::testing::Values(
        AnswerCase{"probe", {}, probe(4), "answered", status(4, CmdProbe, 0), 0, "ok"},
        AnswerCase{"readings", {}, readCurrent(4), "answered", encoded(someReadings(4)), 0, "ok", 1},
        AnswerCase{"silent_probe", with([](Faults& f) { f.silent = 1; }), probe(4), "silent", {}},
        AnswerCase{"silent_readings", with([](Faults& f) { f.silent = 1; }), readCurrent(4), "silent", {}},
        AnswerCase{
            "silent_address_change", with([](Faults& f) { f.silent = 1; }), change(4, 8), "silent", {}},
        AnswerCase{"bad_crc", with([](Faults& f) { f.badCrc = 1; }), probe(4), "answered",
                   badCrc(status(4, CmdProbe, 0)), 0, "bad-crc"},
        AnswerCase{"extra_bytes", with([](Faults& f) { f.extraBytes = 1; }), probe(4), "answered",
                   status(4, CmdProbe, 0), 8, "extra"},
        AnswerCase{"one_extra_byte", with([](Faults& f) {
                     f.extraBytes = 1;
                     f.extraByteCount = 1;
                   }),
                   readCurrent(4), "answered", encoded(someReadings(4)), 17, "extra", 1},
        AnswerCase{"wrong_address_next_up", with([](Faults& f) { f.wrongAddress = 1; }), probe(4), "answered",
                   status(5, CmdProbe, 0), 0, "wrong-address"},
        AnswerCase{"wrong_address_wraps", with([](Faults& f) { f.wrongAddress = 1; }), probe(247), "answered",
                   status(1, CmdProbe, 0), 0, "wrong-address"},
        AnswerCase{"wrong_address_given", with([](Faults& f) {
                     f.wrongAddress = 1;
                     f.otherAddress = 200;
                   }),
                   readCurrent(4), "answered", encoded(renamed(200)), 0, "wrong-address", 1},
        AnswerCase{"bad_status_probe", with([](Faults& f) { f.badStatus = 1; }), probe(4), "answered",
                   status(4, CmdProbe, 1), 0, "bad-status"},
        AnswerCase{"bad_status_address_change", with([](Faults& f) {
                     f.badStatus = 1;
                     f.failStatus = 0x7F;
                   }),
                   change(4, 8), "answered", status(4, CmdSetAddress, 0x7F), 0, "bad-status"},
        AnswerCase{"bad_status_leaves_readings_alone", with([](Faults& f) { f.badStatus = 1; }),
                   readCurrent(4), "answered", encoded(someReadings(4)), 0, "ok", 1},
        AnswerCase{"all_at_once", with([](Faults& f) {
                     f.badCrc = 1;
                     f.extraBytes = 1;
                     f.wrongAddress = 1;
                     f.badStatus = 1;
                   }),
                   probe(4), "answered", badCrc(status(5, CmdProbe, 1)), 8,
                   "bad-status+wrong-address+bad-crc+extra"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnswerBuilder, SplitAnswersGoOutInTwoToFourBurstsWithGapsInRange) {
  AnswerBuilder builder(with([](Faults& f) {
                          f.split = 1;
                          f.splitGapMin = milliseconds(3);
                          f.splitGapMax = milliseconds(5);
                        }),
                        7);
  CountingBus bus;
  std::vector<std::size_t> counts;
  for (int i = 0; i < 200; ++i) {
    const Outcome out = builder.answer(item(readCurrent(4)), bus.view());
    ASSERT_TRUE(out.answer);
    const Answer& a = *out.answer;
    EXPECT_EQ(a.verdict, "split");
    EXPECT_EQ(a.bytes, encoded(someReadings(4))) << "splitting leaves the bytes alone";
    ASSERT_GE(a.bursts.size(), 2u);
    ASSERT_LE(a.bursts.size(), 4u);
    ASSERT_EQ(a.gaps.size(), a.bursts.size() - 1);
    std::size_t total = 0;
    for (const std::size_t b : a.bursts) {
      EXPECT_GT(b, 0);
      total += b;
    }
    EXPECT_EQ(total, kReadingsResponseLength);
    for (const auto gap : a.gaps) {
      EXPECT_GE(gap, milliseconds(3));
      EXPECT_LE(gap, milliseconds(5));
    }
    counts.push_back(a.bursts.size());
  }
  for (const std::size_t n : {2u, 3u, 4u})
    EXPECT_NE(std::count(counts.begin(), counts.end(), n), 0) << n << " bursts never drawn";
}

// Each fault with the probability 0 never strikes, with 1 always.
TEST(AnswerBuilder, ProbabilityEdgesNeverAndAlways) {
  const std::pair<const char*, double Faults::*> faults[] = {{"silent", &Faults::silent},
                                                             {"bad-crc", &Faults::badCrc},
                                                             {"split", &Faults::split},
                                                             {"extra", &Faults::extraBytes},
                                                             {"wrong-address", &Faults::wrongAddress},
                                                             {"bad-status", &Faults::badStatus},
                                                             {"late", &Faults::late}};
  for (const auto& [name, field] : faults) {
    for (const double p : {0.0, 1.0}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(p));
      Faults f;
      f.*field = p;
      AnswerBuilder builder(f, 3);
      CountingBus bus;
      int struck = 0;
      for (int i = 0; i < 500; ++i) {
        const Outcome out = builder.answer(item(probe(4)), bus.view());
        const std::string verdict = out.answer ? out.answer->verdict : out.verdict;
        struck += verdict == name ? 1 : 0;
        if (out.answer) {
          EXPECT_EQ(out.answer->late, f.late == 1 ? f.lateBy : milliseconds(0));
        }
      }
      EXPECT_EQ(struck, p == 0 ? 0 : 500);
    }
  }
}

std::vector<std::string> verdicts(std::uint64_t seed, const Faults& faults, int requests) {
  AnswerBuilder builder(faults, seed);
  CountingBus bus;
  std::vector<std::string> out;
  for (int i = 0; i < requests; ++i) {
    const Outcome o = builder.answer(item(readCurrent(4)), bus.view());
    std::string v = o.answer ? o.answer->verdict : o.verdict;
    if (o.answer) {
      for (const int b : o.answer->bursts) v += " " + std::to_string(b);
      for (const auto gap : o.answer->gaps) v += " " + std::to_string(gap.count()) + "us";
      for (const auto byte : o.answer->bytes) v += " " + std::to_string(byte);
    }
    out.push_back(v);
  }
  return out;
}

TEST(AnswerBuilder, TheSeedMakesTheDrawsRepeatable) {
  const Faults half =
      with([](Faults& f) { f.silent = f.badCrc = f.split = f.extraBytes = f.badStatus = 0.5; });
  const auto first = verdicts(11, half, 100);
  EXPECT_EQ(verdicts(11, half, 100), first) << "the same seed plays the same answers";
  EXPECT_NE(verdicts(12, half, 100), first);
  const auto silent = std::count_if(first.begin(), first.end(), [](const auto& v) { return v == "silent"; });
  EXPECT_GT(silent, 20);
  EXPECT_LT(silent, 80);

  // A fault that draws no further numbers shifts no other fault's draws.
  const Faults crc = with([](Faults& f) { f.badCrc = 0.5; });
  Faults crcAndAddress = crc;
  crcAndAddress.wrongAddress = 0.5;
  const auto plain = verdicts(5, crc, 100);
  const auto mixed = verdicts(5, crcAndAddress, 100);
  for (std::size_t i = 0; i < plain.size(); ++i)
    EXPECT_EQ(plain[i].find("bad-crc") == 0, mixed[i].find("bad-crc") != std::string::npos) << i;
  // Nor does the late fault, which draws from a stream of its own.
  const auto withoutLate = [](std::string v) {
    if (v.rfind("late", 0) == 0) return "ok" + v.substr(4);
    if (const std::size_t at = v.find("+late"); at != std::string::npos) v.erase(at, 5);
    return v;
  };
  const auto lateToo = verdicts(5, with([](Faults& f) { f.badCrc = f.late = 0.5; }), 100);
  int late = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    late += withoutLate(lateToo[i]) != lateToo[i] ? 1 : 0;
    EXPECT_EQ(withoutLate(lateToo[i]), plain[i]) << i;
  }
  EXPECT_GT(late, 20);
  EXPECT_LT(late, 80);
}

TEST(AnswerBuilder, AddressChangeMovesToAFreeValidAddressOnly) {
  struct Case {
    int target;
    const char* verdict;
    std::optional<int> moved;
    int status;
  };
  const Case cases[] = {{8, "answered", 8, 0},    {4, "answered", 4, 0},    {247, "answered", 247, 0},
                        {9, "refused", {}, 0x33}, {0, "refused", {}, 0x33}, {248, "refused", {}, 0x33}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    AnswerBuilder builder(with([](Faults& f) { f.failStatus = 0x33; }), 1);
    CountingBus bus;
    const Outcome out = builder.answer(item(change(4, c.target)), bus.view());
    EXPECT_EQ(std::string(out.verdict), c.verdict);
    EXPECT_EQ(out.newAddress, c.moved);
    ASSERT_TRUE(out.answer);
    EXPECT_EQ(out.answer->bytes, status(4, CmdSetAddress, c.status)) << "the old address answers";
    EXPECT_EQ(out.answer->verdict, "ok");
    EXPECT_EQ(bus.readingsAsked, 0);
  }
  CountingBus bus;
  AnswerBuilder builder(Faults{}, 1);
  builder.answer(item(probe(4)), bus.view());
  builder.answer(item(readCurrent(4)), bus.view());
  EXPECT_EQ(bus.addressesAsked, 0) << "only an address change asks who else is on the bus";
}

TEST(AnswerBuilder, SetFaultsTakesEffectAtTheNextRequest) {
  AnswerBuilder builder(Faults{}, 1);
  CountingBus bus;
  EXPECT_EQ(builder.answer(item(probe(4)), bus.view()).answer->verdict, "ok");
  builder.setFaults(with([](Faults& f) { f.badCrc = 1; }));
  EXPECT_DOUBLE_EQ(builder.faults().badCrc, 1.0);
  EXPECT_EQ(builder.answer(item(probe(4)), bus.view()).answer->verdict, "bad-crc");
}

TEST(Faults, CheckTakesTheEdgesAndRejectsWhatLiesBeyond) {
  const std::pair<const char*, std::function<void(Faults&)>> good[] = {
      {"defaults", [](Faults&) {}},
      {"all certain",
       [](Faults& f) { f.silent = f.badCrc = f.split = f.extraBytes = f.wrongAddress = f.badStatus = 1; }},
      {"one extra byte", [](Faults& f) { f.extraByteCount = 1; }},
      {"64 extra bytes", [](Faults& f) { f.extraByteCount = 64; }},
      {"no gap", [](Faults& f) { f.splitGapMin = f.splitGapMax = milliseconds(0); }},
      {"late by 1 ms", [](Faults& f) { f.lateBy = milliseconds(1); }},
      {"late by a minute", [](Faults& f) { f.lateBy = milliseconds(60000); }}};
  for (const auto& [name, set] : good) EXPECT_NO_THROW(checkFaults(with(set))) << name;
  const std::pair<const char*, std::function<void(Faults&)>> bad[] = {
      {"silent below 0", [](Faults& f) { f.silent = -0.1; }},
      {"bad-crc above 1", [](Faults& f) { f.badCrc = 1.01; }},
      {"split not a number", [](Faults& f) { f.split = std::numeric_limits<double>::quiet_NaN(); }},
      {"extra above 1", [](Faults& f) { f.extraBytes = 2; }},
      {"wrong-address below 0", [](Faults& f) { f.wrongAddress = -1; }},
      {"bad-status above 1", [](Faults& f) { f.badStatus = 1.5; }},
      {"no extra bytes", [](Faults& f) { f.extraByteCount = 0; }},
      {"65 extra bytes", [](Faults& f) { f.extraByteCount = 65; }},
      {"late above 1", [](Faults& f) { f.late = 1.5; }},
      {"late by nothing", [](Faults& f) { f.lateBy = milliseconds(0); }},
      {"late by over a minute", [](Faults& f) { f.lateBy = milliseconds(60001); }},
      {"negative gap", [](Faults& f) { f.splitGapMin = milliseconds(-1); }},
      {"gaps out of order", [](Faults& f) {
         f.splitGapMin = milliseconds(5);
         f.splitGapMax = milliseconds(4);
       }}};
  for (const auto& [name, set] : bad) EXPECT_THROW(checkFaults(with(set)), std::invalid_argument) << name;
}

// Identical twins collide too: at every address the line carries one byte
// more than an acknowledgement, and its first five make no valid one.
TEST(Collide, NoAcknowledgementSurvivesACollision) {
  for (int address = kFirstBusAddress; address <= kLastBusAddress; ++address) {
    const Bytes ack = status(address, CmdProbe, 0);
    for (const Bytes& other : {ack, status(address, CmdProbe, 1)}) {
      const Bytes line = collide(ack, other);
      ASSERT_EQ(line.size(), ack.size() + 1) << address;
      EXPECT_FALSE(frameCrcMatches(std::span(line).first(ack.size()))) << address;
    }
  }
  // Where the second is idle, the first goes through untouched.
  EXPECT_EQ(collide({0x12, 0x34}, {}), (Bytes{0x12, 0x34, 0xFF}));
}

}  // namespace
}  // namespace rs485::sim
