#include "sim/sim_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "link/raw_tty.h"
#include "link/unique_fd.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/sim/test_port.h"

namespace rs485::sim {
namespace {

using std::chrono::milliseconds;
using namespace test;

constexpr milliseconds kWait{5000};  // generous: only a broken simulator ever waits this long

Bytes cat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}
bool crcGood(const Bytes& b) { return frameCrcMatches(b); }

DeviceConfig device(int address, Faults faults = {}) {
  DeviceConfig d;
  d.address = address;
  d.faults = faults;
  return d;
}

// Unpaced, with frozen readings: fast and exact.
SimOptions quick(std::vector<DeviceConfig> devices) {
  SimOptions o;
  o.devices = std::move(devices);
  o.pace = false;
  o.speed = 0;
  return o;
}

std::string makeTempDir() {
  char name[] = "/tmp/rs485-sim-test-XXXXXX";
  const char* dir = mkdtemp(name);
  return dir != nullptr ? dir : "";
}

std::string readLink(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
  return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<µs> <body>", and for answers "<µs> <body><µs>" when the body ends with "done=".
bool logLine(const std::string& line, const std::string& body) {
  const std::size_t space = line.find(' ');
  if (space == std::string::npos || !allDigits(line.substr(0, space))) return false;
  const std::string rest = line.substr(space + 1);
  if (body.size() >= 5 && body.compare(body.size() - 5, 5, "done=") == 0)
    return rest.compare(0, body.size(), body) == 0 && allDigits(rest.substr(body.size()));
  return rest == body;
}

// A started simulator and the tool's end of its line.
struct Bus {
  explicit Bus(SimOptions options) : server(std::move(options)) {
    server.start();
    port = std::make_unique<TestPort>(server.linkPath().empty() ? server.toolPath() : server.linkPath());
  }

  // Sends a request and waits until the simulator has taken it in.
  void ask(const Bytes& request) {
    const std::size_t seen = server.requestsSeen();
    ASSERT_TRUE(port->send(request));
    ASSERT_TRUE(server.waitForRequests(seen + 1, kWait));
  }

  // Sends a request and reads an answer of `length` bytes.
  Bytes exchange(const Bytes& request, std::size_t length) {
    port->send(request);
    return port->read(length);
  }

  // Proves that nothing but what was read so far came back: the answer of
  // the sentinel device is the next thing on the line, and the last.
  void expectOnlySentinelNext(int sentinel) {
    const std::size_t answers = server.answersSent();
    ask(probe(sentinel));
    ASSERT_TRUE(server.waitForAnswers(answers + 1, kWait));
    EXPECT_EQ(port->read(kStatusResponseLength), status(sentinel, CmdProbe, 0));
    EXPECT_EQ(port->queued(), 0);
  }

  SimServer server;
  std::unique_ptr<TestPort> port;
};

TEST(SimServer, ProbesAreAnsweredOnlyByPresentDevices) {
  Bus bus(quick({device(1), device(7)}));
  ASSERT_TRUE(bus.port->valid());
  for (int a = 1; a <= 10; ++a) bus.ask(probe(a));
  ASSERT_TRUE(bus.server.waitForAnswers(2, kWait));
  EXPECT_EQ(bus.port->read(10), cat(Bytes{0x01, 0x01, 0x00, 0x21, 0x90}, status(7, CmdProbe, 0)));
  bus.expectOnlySentinelNext(7);

  const auto requests = bus.server.log().snapshot(FrameKind::Request);
  ASSERT_EQ(requests.size(), 11u);
  for (int a = 1; a <= 10; ++a)
    EXPECT_EQ(requests[a - 1].verdict, a == 1 || a == 7 ? "answered" : "no-device") << a;
  EXPECT_EQ(bus.server.stats(7)->requests, 2u);
  EXPECT_EQ(bus.server.stats(7)->answers, 2u);
  EXPECT_EQ(bus.server.stats(1)->answers, 1u);
  EXPECT_FALSE(bus.server.stats(2));
}

TEST(SimServer, ReadingsAnswerCarriesTheModelsValues) {
  Program p;
  p.startTemperature = -35;
  p.rampTenthsPerMinute = 10;
  p.steps = {{120, 3}};
  p.cycles = 4;
  DeviceConfig d = device(12);
  d.program = p;
  Bus bus(quick({d}));

  bus.server.advanceReadings(std::chrono::minutes(2));
  const auto expected = bus.server.readings(12);
  ASSERT_TRUE(expected);
  EXPECT_EQ(expected->temperature, -15);
  Bytes answer = bus.exchange(readCurrent(12), kReadingsResponseLength);
  ASSERT_EQ(answer.size(), 16u);
  EXPECT_TRUE(crcGood(answer));
  EXPECT_EQ(answer, encoded(*expected));
  ReadingsResponse r = decodeReadingsResponse(answer.data());
  EXPECT_EQ(r.address, 12);
  EXPECT_EQ(r.command, 0x50);
  EXPECT_EQ(r.temperature, -15);
  EXPECT_EQ(r.cycles, 4);
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(r.numStep, 1);
  EXPECT_EQ(r.setTemperature, 120);
  EXPECT_EQ(r.setTimeMinutes, 3);
  EXPECT_NE(r.statusByte, kBlinkStatus);

  bus.server.advanceReadings(std::chrono::minutes(15));  // 13.5 min to 12.0 degrees, then 1.5 min held
  answer = bus.exchange(readCurrent(12), kReadingsResponseLength);
  r = decodeReadingsResponse(answer.data());
  EXPECT_EQ(r.temperature, 120);
  EXPECT_EQ(r.timeMinutes, 1);
  EXPECT_EQ(r.statusByte, kBlinkStatus);
}

TEST(SimServer, ReadingsFollowTheSimulatorsClock) {
  Program p;
  p.startTemperature = 0;
  p.rampTenthsPerMinute = 1;
  p.steps = {{30000, 1}};
  DeviceConfig d = device(3);
  d.program = p;
  SimOptions o = quick({d});
  o.speed = 60000;  // a simulated minute per real millisecond
  Bus bus(o);
  const auto first = decodeReadingsResponse(bus.exchange(readCurrent(3), 16).data());
  // The first readings were taken before their answer came, the second are
  // taken after the next request went out: the clock is what is tested, so
  // the test lets it move by 5 ms, 5 simulated minutes (4 whole ones at
  // least), between the two.
  const auto answered = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - answered < std::chrono::milliseconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto second = decodeReadingsResponse(bus.exchange(readCurrent(3), 16).data());
  EXPECT_GE(second.temperature - first.temperature, 4);
}

TEST(SimServer, FixedReadingsAreAnsweredAsTheyAre) {
  Bus bus(quick({device(12)}));
  ReadingsResponse r;
  r.address = 99;
  r.command = 0x33;
  r.temperature = -200;
  r.timeMinutes = 130;
  r.cycles = 0;
  r.statusByte = 0x80;
  ASSERT_TRUE(bus.server.setReadings(12, r));
  EXPECT_EQ(bus.exchange(readCurrent(12), 16), encoded(r));
  ASSERT_TRUE(bus.server.clearReadings(12));
  const Bytes modelled = bus.exchange(readCurrent(12), 16);
  EXPECT_EQ(modelled, encoded(*bus.server.readings(12)));
  EXPECT_EQ(modelled[0], 12);
  EXPECT_FALSE(bus.server.setReadings(13, r));
}

TEST(SimServer, AddressChangeMovesTheDevice) {
  Bus bus(quick({device(5), device(9)}));
  EXPECT_EQ(bus.exchange(change(5, 7), 5), status(5, CmdSetAddress, 0));
  EXPECT_EQ(bus.server.addresses(), (std::vector<int>{7, 9}));
  bus.ask(probe(5));
  bus.expectOnlySentinelNext(9);
  EXPECT_EQ(bus.exchange(probe(7), 5), status(7, CmdProbe, 0));
  EXPECT_EQ(decodeReadingsResponse(bus.exchange(readCurrent(7), 16).data()).address, 7);
  EXPECT_EQ(bus.server.stats(7)->requests, 3u) << "the statistics follow the device";
}

TEST(SimServer, AddressChangeToATakenOrInvalidAddressIsRefused) {
  Bus bus(quick({device(5), device(9)}));
  for (const int target : {9, 0, 248}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(bus.exchange(change(5, target), 5), status(5, CmdSetAddress, 1));
    EXPECT_EQ(bus.server.addresses(), (std::vector<int>{5, 9}));
    EXPECT_EQ(bus.server.log().snapshot(FrameKind::Request).back().verdict, "refused");
  }
}

TEST(SimServer, GarbageBeforeARequestIsSkipped) {
  Bus bus(quick({device(1)}));
  const std::vector<Bytes> garbage = {{0xFF},
                                      {0x00, 0x00, 0x00},
                                      {0x01, 0x01, 0xC1},
                                      {0x01, 0x50},
                                      {0x01, 0x01, 0x00, 0x21, 0x90},
                                      {0x11, 0x13, 0x0D, 0x0A, 0x03}};
  for (const auto& g : garbage) {
    SCOPED_TRACE(testing::PrintToString(g));
    EXPECT_EQ(bus.exchange(cat(g, probe(1)), 5), status(1, CmdProbe, 0));
  }
  ASSERT_TRUE(bus.server.waitForAnswers(garbage.size(), kWait));
  EXPECT_EQ(bus.server.log().count(FrameKind::Garbage), garbage.size());
  EXPECT_EQ(bus.server.requestsSeen(), garbage.size());
}

TEST(SimServer, QuietLineDropsAPartialRequest) {
  Bus bus(quick({device(1)}));
  const Bytes p = probe(1);
  ASSERT_TRUE(bus.port->send({p[0], p[1]}));
  // The simulator gives the half up after 20 ms of silence and logs it.
  ASSERT_TRUE(bus.server.log().waitUntil(
      [](const auto& records) { return !records.empty() && records.back().kind == FrameKind::Garbage; },
      kWait));
  ASSERT_TRUE(bus.port->send({p[2], p[3]}));  // together with the first half this would be a probe
  EXPECT_EQ(bus.exchange(probe(1), 5), status(1, CmdProbe, 0));
  ASSERT_TRUE(bus.server.waitForAnswers(1, kWait));
  EXPECT_EQ(bus.server.answersSent(), 1u);
  EXPECT_EQ(bus.server.requestsSeen(), 1u);
}

struct FaultCase {
  const char* name;
  Faults faults;
  Bytes request;
  std::size_t answerLength;  // 0: no answer
  std::string verdict;       // of the answer, or of the request when there is none
  std::function<void(const Bytes& answer, const FrameRecord& record, SimServer& server)> check;
};

class FaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultTest, DoesWhatItSays) {
  const FaultCase& c = GetParam();
  Bus bus(quick({device(4, c.faults), device(9)}));
  bus.ask(c.request);
  Bytes answer;
  FrameRecord record;
  if (c.answerLength > 0) {
    ASSERT_TRUE(bus.server.waitForAnswers(1, kWait));
    answer = bus.port->read(c.answerLength);
    ASSERT_EQ(answer.size(), c.answerLength);
    record = bus.server.log().snapshot(FrameKind::Answer).at(0);
    EXPECT_EQ(record.bytes, answer);
    EXPECT_EQ(record.verdict, c.verdict);
  } else {
    record = bus.server.log().snapshot(FrameKind::Request).at(0);
    EXPECT_EQ(record.verdict, c.verdict);
  }
  bus.expectOnlySentinelNext(9);
  if (c.check) c.check(answer, record, bus.server);
}

INSTANTIATE_TEST_SUITE_P(
    SimServer, FaultTest,
    ::testing::Values(FaultCase{"silent_probe", with([](Faults& f) { f.silent = 1; }), probe(4), 0, "silent",
                                [](const Bytes&, const FrameRecord&, SimServer& s) {
                                  EXPECT_EQ(s.stats(4)->requests, 1u);
                                  EXPECT_EQ(s.stats(4)->answers, 0u);
                                }},
                      FaultCase{"silent_address_change", with([](Faults& f) { f.silent = 1; }), change(4, 8),
                                0, "silent",
                                [](const Bytes&, const FrameRecord&, SimServer& s) {
                                  EXPECT_EQ(s.addresses(), (std::vector<int>{4, 9}));
                                }},
                      FaultCase{"bad_crc_probe", with([](Faults& f) { f.badCrc = 1; }), probe(4), 5,
                                "bad-crc",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  Bytes good = status(4, CmdProbe, 0);
                                  EXPECT_FALSE(crcGood(a));
                                  good[4] ^= 0xFF;
                                  EXPECT_EQ(a, good);
                                }},
                      FaultCase{
                          "bad_crc_readings", with([](Faults& f) { f.badCrc = 1; }), readCurrent(4), 16,
                          "bad-crc",
                          [](const Bytes& a, const FrameRecord&, SimServer&) { EXPECT_FALSE(crcGood(a)); }},
                      FaultCase{"extra_bytes", with([](Faults& f) { f.extraBytes = 1; }), probe(4), 8,
                                "extra",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  EXPECT_EQ(Bytes(a.begin(), a.begin() + 5), status(4, CmdProbe, 0));
                                }},
                      FaultCase{"extra_byte_count", with([](Faults& f) {
                                  f.extraBytes = 1;
                                  f.extraByteCount = 1;
                                }),
                                readCurrent(4), 17, "extra",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  EXPECT_TRUE(crcGood(Bytes(a.begin(), a.begin() + 16)));
                                }},
                      FaultCase{"wrong_address_next_up", with([](Faults& f) { f.wrongAddress = 1; }),
                                probe(4), 5, "wrong-address",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  EXPECT_EQ(a, status(5, CmdProbe, 0));
                                }},
                      FaultCase{"wrong_address_given", with([](Faults& f) {
                                  f.wrongAddress = 1;
                                  f.otherAddress = 200;
                                }),
                                readCurrent(4), 16, "wrong-address",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  EXPECT_EQ(a[0], 200);
                                  EXPECT_TRUE(crcGood(a));
                                }},
                      FaultCase{"bad_status_probe", with([](Faults& f) { f.badStatus = 1; }), probe(4), 5,
                                "bad-status",
                                [](const Bytes& a, const FrameRecord&,
                                   SimServer&) { EXPECT_EQ(a, status(4, CmdProbe, 1)); }},
                      FaultCase{"bad_status_address_change", with([](Faults& f) {
                                  f.badStatus = 1;
                                  f.failStatus = 0x7F;
                                }),
                                change(4, 8), 5, "bad-status",
                                [](const Bytes& a, const FrameRecord&, SimServer& s) {
                                  EXPECT_EQ(a, status(4, CmdSetAddress, 0x7F));
                                  EXPECT_EQ(s.addresses(), (std::vector<int>{4, 9}))
                                      << "a refusing device keeps its address";
                                }},
                      FaultCase{
                          "bad_status_leaves_readings_alone", with([](Faults& f) { f.badStatus = 1; }),
                          readCurrent(4), 16, "ok",
                          [](const Bytes& a, const FrameRecord&, SimServer&) { EXPECT_TRUE(crcGood(a)); }},
                      FaultCase{"split", with([](Faults& f) {
                                  f.split = 1;
                                  f.splitGapMin = milliseconds(10);
                                  f.splitGapMax = milliseconds(10);
                                }),
                                readCurrent(4), 16, "split",
                                [](const Bytes& a, const FrameRecord& r, SimServer&) {
                                  EXPECT_TRUE(crcGood(a));
                                  ASSERT_GE(r.bursts.size(), 2u);
                                  ASSERT_LE(r.bursts.size(), 4u);
                                  int total = 0;
                                  for (const int b : r.bursts) {
                                    EXPECT_GT(b, 0);
                                    total += b;
                                  }
                                  EXPECT_EQ(total, 16);
                                  EXPECT_GE(r.done - r.at,
                                            milliseconds(10) * static_cast<int>(r.bursts.size() - 1));
                                }},
                      FaultCase{"all_at_once", with([](Faults& f) {
                                  f.badCrc = 1;
                                  f.extraBytes = 1;
                                  f.split = 1;
                                  f.wrongAddress = 1;
                                  f.badStatus = 1;
                                }),
                                probe(4), 8, "bad-status+wrong-address+bad-crc+extra+split",
                                [](const Bytes& a, const FrameRecord&, SimServer&) {
                                  EXPECT_EQ(a[0], 5);
                                  EXPECT_EQ(a[2], 1);
                                  EXPECT_FALSE(crcGood(Bytes(a.begin(), a.begin() + 5)));
                                }}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::string> verdictsOf(std::uint64_t seed, double probability, int requests) {
  SimOptions o = quick({device(4, with([&](Faults& f) { f.badCrc = probability; }))});
  o.seed = seed;
  Bus bus(o);
  Bytes all;
  for (int i = 0; i < requests; ++i) all = cat(all, probe(4));
  EXPECT_TRUE(bus.port->send(all));
  EXPECT_TRUE(bus.server.waitForAnswers(static_cast<std::size_t>(requests), kWait));
  std::vector<std::string> verdicts;
  for (const auto& r : bus.server.log().snapshot(FrameKind::Answer)) verdicts.push_back(r.verdict);
  return verdicts;
}

TEST(SimServer, FaultProbabilityIsDrawnFromTheSeed) {
  const auto first = verdictsOf(11, 0.5, 60);
  ASSERT_EQ(first.size(), 60u);
  const auto bad = std::count(first.begin(), first.end(), "bad-crc");
  EXPECT_GT(bad, 10);
  EXPECT_LT(bad, 50);
  EXPECT_EQ(verdictsOf(11, 0.5, 60), first) << "the same seed plays the same bus";
  EXPECT_NE(verdictsOf(12, 0.5, 60), first);
  const auto none = verdictsOf(11, 0.0, 20);
  EXPECT_EQ(std::count(none.begin(), none.end(), "ok"), 20);
}

TEST(SimServer, FaultsSwitchAtRunTime) {
  Bus bus(quick({device(4)}));
  EXPECT_TRUE(crcGood(bus.exchange(probe(4), 5)));
  ASSERT_TRUE(bus.server.setFaults(4, with([](Faults& f) { f.badCrc = 1; })));
  EXPECT_FALSE(crcGood(bus.exchange(probe(4), 5)));
  ASSERT_TRUE(bus.server.setFaults(4, Faults{}));
  EXPECT_TRUE(crcGood(bus.exchange(probe(4), 5)));
  EXPECT_FALSE(bus.server.setFaults(5, Faults{}));
  EXPECT_THROW(bus.server.setFaults(4, with([](Faults& f) { f.split = 1.5; })), std::invalid_argument);
}

Faults lateBy(milliseconds delay) {
  return with([&](Faults& f) {
    f.late = 1;
    f.lateBy = delay;
  });
}

TEST(SimServer, ALateDeviceHoldsNoOtherBack) {
  Bus bus(quick({device(3, lateBy(milliseconds(300))), device(17)}));
  bus.ask(probe(3));
  EXPECT_TRUE(bus.port->readChunks(1, milliseconds(50)).empty()) << "3 answered early";
  bus.ask(probe(17));
  EXPECT_EQ(bus.port->read(5), status(17, CmdProbe, 0)) << "17 waited for 3";
  EXPECT_EQ(bus.port->read(5), status(3, CmdProbe, 0));
  ASSERT_TRUE(bus.server.waitForAnswers(2, kWait));
  const auto requests = bus.server.log().snapshot(FrameKind::Request);
  const auto answers = bus.server.log().snapshot(FrameKind::Answer);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].address, 17);
  EXPECT_EQ(answers[0].verdict, "ok");
  EXPECT_EQ(answers[1].address, 3);
  EXPECT_EQ(answers[1].verdict, "late");
  EXPECT_GE(answers[1].at - requests[0].at, milliseconds(300));
  EXPECT_EQ(bus.server.stats(3)->answers, 1u);
}

// 3's time comes while 17's readings are on the line; it goes out after them.
TEST(SimServer, ALateAnswerQueuesBehindTheOneBeingWritten) {
  SimOptions o = quick({device(3, lateBy(milliseconds(30))), device(17)});
  o.pace = true;
  Bus bus(o);
  ASSERT_TRUE(bus.port->send(cat(probe(3), readCurrent(17))));
  const Bytes line = bus.port->read(16 + 5);
  ASSERT_EQ(line.size(), 21u);
  EXPECT_EQ(line[0], 17);
  EXPECT_TRUE(crcGood(Bytes(line.begin(), line.begin() + 16)));
  EXPECT_EQ(Bytes(line.begin() + 16, line.end()), status(3, CmdProbe, 0));
  ASSERT_TRUE(bus.server.waitForAnswers(2, kWait));
  const auto answers = bus.server.log().snapshot(FrameKind::Answer);
  EXPECT_GE(answers[1].at, answers[0].done);
}

TEST(SimServer, StopAndLineGoneDropPendingLateAnswers) {
  for (const bool unplug : {false, true}) {
    SCOPED_TRACE(unplug ? "line gone" : "stop");
    Bus bus(quick({device(3, lateBy(milliseconds(60000))), device(17)}));
    bus.ask(probe(3));
    if (unplug) {
      ASSERT_TRUE(bus.server.lineGone());
      ASSERT_TRUE(bus.server.comeBack());
    } else {
      bus.server.stop();
      bus.server.start();
    }
    const auto answers = bus.server.log().snapshot(FrameKind::Answer);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].verdict, "late+cut");
    EXPECT_TRUE(answers[0].bytes.empty());
    bus.port = std::make_unique<TestPort>(bus.server.toolPath());
    bus.expectOnlySentinelNext(17);
    EXPECT_EQ(bus.server.answersSent(), 2u);
  }
}

TEST(SimServer, PacedAnswerTakesTheLineTime) {
  SimOptions o = quick({device(3)});
  o.pace = true;
  Bus bus(o);
  const auto sent = Clock::now();
  ASSERT_TRUE(bus.port->send(readCurrent(3)));
  const auto chunks = bus.port->readChunks(16, kWait);
  std::size_t total = 0;
  for (const auto& c : chunks) total += c.bytes.size();
  ASSERT_EQ(total, 16u);
  // 15 byte times of 4.17 ms lie between the first byte and the last.
  EXPECT_GE(chunks.back().at - sent, milliseconds(60));
  ASSERT_TRUE(bus.server.waitForAnswers(1, kWait));
  const FrameRecord r = bus.server.log().snapshot(FrameKind::Answer).at(0);
  EXPECT_GE(r.done - r.at, milliseconds(60));
  const FrameRecord q = bus.server.log().snapshot(FrameKind::Request).at(0);
  EXPECT_GE(r.at - q.at, milliseconds(2)) << "turnaround";
}

// Two devices on one address answer together: one frame that is neither
// answer goes out, for the probe and the readings request alike.
TEST(SimServer, DevicesSharingAnAddressCollide) {
  DeviceConfig twin = device(5);
  twin.sharesAddress = true;
  EXPECT_THROW(SimServer(quick({device(5), device(5)})), std::invalid_argument);
  Bus bus(quick({device(5), twin, device(6)}));
  EXPECT_EQ(bus.server.addresses(), (std::vector<int>{5, 5, 6}));
  for (const auto& [request, length] :
       {std::pair{probe(5), kStatusResponseLength}, std::pair{readCurrent(5), kReadingsResponseLength}}) {
    bus.port->send(request);
    const Bytes got = bus.port->read(length + 1);
    ASSERT_EQ(got.size(), length + 1);
    EXPECT_FALSE(crcGood(Bytes(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(length))));
  }
  bus.expectOnlySentinelNext(6);
  const auto answers = bus.server.log().snapshot(FrameKind::Answer);
  ASSERT_GE(answers.size(), 2u);
  EXPECT_EQ(answers[0].verdict, "collision");
}

TEST(SimServer, UnpacedAnswerComesInOneRead) {
  Bus bus(quick({device(3)}));
  ASSERT_TRUE(bus.port->send(readCurrent(3)));
  const auto chunks = bus.port->readChunks(16, kWait);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0].bytes.size(), 16u);
}

TEST(SimServer, LineGoesAwayAndComesBackBehindTheLink) {
  const std::string dir = makeTempDir();
  ASSERT_FALSE(dir.empty());
  SimOptions o = quick({device(1)});
  o.linkPath = dir + "/COM1";
  Bus bus(o);
  const std::string before = bus.server.toolPath();
  EXPECT_EQ(readLink(o.linkPath), before);
  EXPECT_EQ(bus.exchange(probe(1), 5), status(1, CmdProbe, 0));

  ASSERT_TRUE(bus.server.lineGone());
  EXPECT_FALSE(bus.server.lineUp());
  EXPECT_FALSE(bus.server.lineGone());
  EXPECT_TRUE(readLink(o.linkPath).empty()) << "the node vanishes with the line";
  EXPECT_NE(access(before.c_str(), F_OK), 0) << "the pty itself is gone";
  pollfd p{bus.port->fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, static_cast<int>(kWait.count())), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  const Bytes request = probe(1);
  errno = 0;
  EXPECT_EQ(write(bus.port->fd(), request.data(), request.size()), -1);
  EXPECT_EQ(errno, EIO);

  ASSERT_TRUE(bus.server.comeBack());
  EXPECT_FALSE(bus.server.comeBack());
  EXPECT_TRUE(bus.server.lineUp());
  const std::string after = bus.server.toolPath();
  EXPECT_NE(after, before);
  EXPECT_EQ(readLink(o.linkPath), after);
  TestPort again(o.linkPath);
  ASSERT_TRUE(again.valid());
  again.send(probe(1));
  EXPECT_EQ(again.read(5), status(1, CmdProbe, 0));

  const auto lines = bus.server.log().snapshot(FrameKind::Line);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].verdict, "gone");
  EXPECT_EQ(lines[1].verdict, "back");
  bus.server.stop();
  EXPECT_TRUE(readLink(o.linkPath).empty()) << "stop removes the link";
  rmdir(dir.c_str());
}

TEST(SimServer, TimedUnplugComesBackByItselfBehindTheLink) {
  const std::string dir = makeTempDir();
  ASSERT_FALSE(dir.empty());
  SimOptions o = quick({device(1)});
  o.linkPath = dir + "/COM1";
  Bus bus(o);
  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(bus.server.unplugFor(std::chrono::milliseconds(50)));
    EXPECT_FALSE(bus.server.unplugFor(std::chrono::milliseconds(50))) << "already out";
    EXPECT_FALSE(bus.server.lineUp());
    EXPECT_TRUE(readLink(o.linkPath).empty());
    const std::size_t gone = bus.server.log().count(FrameKind::Line);
    ASSERT_TRUE(bus.server.log().waitForCount(FrameKind::Line, gone + 1, kWait));
    EXPECT_EQ(bus.server.log().snapshot(FrameKind::Line).back().verdict, "back");
    EXPECT_TRUE(bus.server.lineUp());
    EXPECT_EQ(readLink(o.linkPath), bus.server.toolPath());
    TestPort again(o.linkPath);
    ASSERT_TRUE(again.valid());
    again.send(probe(1));
    EXPECT_EQ(again.read(5), status(1, CmdProbe, 0));
  }
  // A comeback by hand before the time is up makes the timed one needless.
  ASSERT_TRUE(bus.server.unplugFor(std::chrono::milliseconds(100)));
  ASSERT_TRUE(bus.server.comeBack());
  EXPECT_TRUE(bus.server.lineUp());
  EXPECT_EQ(readLink(o.linkPath), bus.server.toolPath());
  bus.server.stop();
  rmdir(dir.c_str());
}

TEST(SimServer, ToolCanReopenAfterClosingAnExclusivePort) {
  Bus bus(quick({device(1)}));
  const std::string path = bus.server.toolPath();
  ASSERT_EQ(ioctl(bus.port->fd(), TIOCEXCL), 0);
  bus.port->close();
  // A pty keeps exclusive mode while its master lives; the simulator clears
  // it when it sees the tool close, or only root could open the port again.
  ASSERT_TRUE(bus.server.log().waitUntil(
      [](const auto& records) {
        return !records.empty() && records.back().kind == FrameKind::Line &&
               records.back().verdict == "closed";
      },
      kWait));
  TestPort again(path);
  ASSERT_TRUE(again.valid());
  int exclusive = 1;
  ASSERT_EQ(ioctl(again.fd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  again.send(probe(1));
  EXPECT_EQ(again.read(5), status(1, CmdProbe, 0));
}

TEST(SimServer, SlaveIsRawFromTheStart) {
  SimServer server(quick({device(1)}));
  server.start();
  UniqueFd held(open(server.toolPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  const int fd = held.get();
  ASSERT_GE(fd, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B2400));
  // The request is not echoed back, and the answer arrives untouched.
  const Bytes request = probe(1);
  ASSERT_EQ(write(fd, request.data(), request.size()), 4);
  TestPort port(std::move(held));
  EXPECT_EQ(port.read(5), status(1, CmdProbe, 0));
}

TEST(SimServer, LogRecordsFramesInProcessAndInTheFile) {
  const std::string dir = makeTempDir();
  ASSERT_FALSE(dir.empty());
  SimOptions o = quick({device(1)});
  o.logPath = dir + "/frames.log";
  {
    Bus bus(o);
    EXPECT_EQ(bus.exchange(cat({0xEE}, probe(1)), 5), status(1, CmdProbe, 0));
    bus.ask(probe(2));
    ASSERT_TRUE(bus.server.waitForAnswers(1, kWait));
    const auto records = bus.server.log().snapshot();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].kind, FrameKind::Garbage);
    EXPECT_EQ(records[1].kind, FrameKind::Request);
    EXPECT_EQ(records[1].bytes, probe(1));
    EXPECT_EQ(records[1].address, 1);
    EXPECT_EQ(records[2].kind, FrameKind::Answer);
    EXPECT_EQ(records[2].bytes, status(1, CmdProbe, 0));
    EXPECT_GE(records[2].at - records[1].at, milliseconds(2));
    EXPECT_GE(records[2].done, records[2].at);
    EXPECT_EQ(records[3].verdict, "no-device");
    bus.server.stop();
  }
  std::ifstream file(o.logPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(logLine(lines[0], "junk garbage 0 EE")) << lines[0];
  EXPECT_TRUE(logLine(lines[1], "req answered 1 01 01 C1 E0")) << lines[1];
  EXPECT_TRUE(logLine(lines[2], "ans ok 1 01 01 00 21 90 done=")) << lines[2];
  EXPECT_TRUE(logLine(lines[3], "req no-device 2 02 01 C1 10")) << lines[3];
  unlink(o.logPath.c_str());
  rmdir(dir.c_str());
}

TEST(SimServer, StopIsPromptInTheMiddleOfAnAnswer) {
  SimOptions o = quick({device(1)});
  o.turnaround = std::chrono::seconds(60);
  Bus bus(o);
  bus.ask(probe(1));
  const auto before = Clock::now();
  bus.server.stop();
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(5)) << "stop waited for the answer";
  EXPECT_FALSE(bus.server.running());
  EXPECT_TRUE(bus.server.toolPath().empty());
  const auto answers = bus.server.log().snapshot(FrameKind::Answer);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].verdict, "ok+cut");
  EXPECT_TRUE(answers[0].bytes.empty());
  pollfd p{bus.port->fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, static_cast<int>(kWait.count())), 1);
  EXPECT_TRUE(p.revents & POLLHUP) << "the tool's end sees the line go";

  bus.server.start();  // and it serves again on a new line
  TestPort again(bus.server.toolPath());
  ASSERT_TRUE(again.valid());
  bus.server.stop();
  SimOptions fast = quick({device(1)});
  SimServer restarted(fast);
  restarted.start();
  restarted.stop();
  restarted.start();
  TestPort third(restarted.toolPath());
  ASSERT_TRUE(third.send(probe(1)));
  EXPECT_EQ(third.read(5), status(1, CmdProbe, 0));
}

TEST(SimServer, ServesARealSerialDevice) {
  // A pty stands in for the device: the simulator takes its slave as a
  // serial port, the test plays the master on the other side.
  PtyMaster pty = openPtyMaster(O_NONBLOCK);
  ASSERT_EQ(pty.failed, nullptr) << pty.failed;
  const std::string name = pty.slavePath;
  TestPort tool(std::move(pty.fd));
  SimOptions o = quick({device(6)});
  o.devicePath = name;
  SimServer server(o);
  server.start();
  EXPECT_EQ(server.toolPath(), name);
  EXPECT_FALSE(server.lineGone()) << "only a pty can be taken away";
  ASSERT_TRUE(tool.send(probe(6)));
  EXPECT_EQ(tool.read(5), status(6, CmdProbe, 0));
  ASSERT_TRUE(tool.send(cat({0x13, 0x11}, readCurrent(6))));  // XON/XOFF bytes pass untouched
  EXPECT_TRUE(crcGood(tool.read(16)));
}

TEST(SimServer, LinkReplacesASymlinkButNoOtherFile) {
  const std::string dir = makeTempDir();
  ASSERT_FALSE(dir.empty());
  const std::string link = dir + "/port";
  ASSERT_EQ(symlink("/nonexistent", link.c_str()), 0);
  SimOptions o = quick({device(1)});
  o.linkPath = link;
  {
    SimServer server(o);
    server.start();
    EXPECT_EQ(readLink(link), server.toolPath());
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink("/elsewhere", link.c_str()), 0);
    server.stop();
    EXPECT_EQ(readLink(link), "/elsewhere") << "a link re-pointed by someone else stays";
  }
  ASSERT_EQ(unlink(link.c_str()), 0);
  { std::ofstream(link) << "keep me"; }
  SimServer server(o);
  EXPECT_THROW(server.start(), std::system_error);
  EXPECT_FALSE(server.running());
  std::ifstream kept(link);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
  unlink(link.c_str());
  rmdir(dir.c_str());
}

TEST(SimServer, RejectsBadConfigurations) {
  EXPECT_THROW(SimServer(quick({device(0)})), std::invalid_argument);
  EXPECT_THROW(SimServer(quick({device(248)})), std::invalid_argument);
  EXPECT_THROW(SimServer(quick({device(3), device(3)})), std::invalid_argument);
  EXPECT_THROW(SimServer(quick({device(3, with([](Faults& f) { f.silent = -0.1; }))})),
               std::invalid_argument);
  SimOptions both = quick({device(1)});
  both.linkPath = "/tmp/x";
  both.devicePath = "/dev/ttyS0";
  EXPECT_THROW(SimServer{both}, std::invalid_argument);

  SimServer server(quick({device(3)}));
  EXPECT_THROW(server.addDevice(device(3)), std::invalid_argument);
  server.addDevice(device(4));
  EXPECT_TRUE(server.removeDevice(3));
  EXPECT_FALSE(server.removeDevice(3));
  EXPECT_EQ(server.addresses(), (std::vector<int>{4}));
  EXPECT_FALSE(server.lineGone()) << "not running";
}

}  // namespace
}  // namespace rs485::sim
