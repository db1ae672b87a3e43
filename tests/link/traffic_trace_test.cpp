// The traffic trace: its line format, its file, and what the engine traces
// over a real pseudo-terminal.
#include "link/traffic_trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

#include "link_rig.h"

namespace rs485::test {
namespace {

using namespace std::chrono_literals;

// A local wall-clock time, whatever the machine's zone.
std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour, int minute,
                                                int second, int millis) {
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(mktime(&t)) + std::chrono::milliseconds(millis);
}

std::string lineOf(TraceDirection direction, const Bytes& bytes, TraceVerdict verdict,
                   std::chrono::system_clock::time_point when = localTime(2024, 5, 1, 12, 34, 56, 789)) {
  return TrafficTrace::formatLine(when, direction, bytes, verdict);
}

TEST(TrafficTraceLine, ShowsTimeDirectionHexAndVerdict) {
  struct Case {
    TraceDirection direction;
    Bytes bytes;
    TraceVerdict verdict;
    const char* line;
  };
  const Case cases[] = {
      {TraceDirection::Transmit,
       {0x01, 0x50, 0x00, 0x1C},
       TraceVerdict::Sent,
       "2024-05-01 12:34:56.789  TX  01 50 00 1C  sent\n"},
      {TraceDirection::Transmit,
       {0x05, 0x02, 0x07, 0x21, 0x63},
       TraceVerdict::WriteFailed,
       "2024-05-01 12:34:56.789  TX  05 02 07 21 63  write failed\n"},
      {TraceDirection::Receive,
       {0x01, 0x01, 0x00, 0x21, 0x90},
       TraceVerdict::Accepted,
       "2024-05-01 12:34:56.789  RX  01 01 00 21 90  accepted\n"},
      {TraceDirection::Receive,
       {0x01, 0x01, 0x00, 0x90, 0x21},
       TraceVerdict::BadCrc,
       "2024-05-01 12:34:56.789  RX  01 01 00 90 21  bad CRC\n"},
      {TraceDirection::Receive,
       {0xFF, 0xab},
       TraceVerdict::WrongLength,
       "2024-05-01 12:34:56.789  RX  FF AB  wrong length\n"},
      {TraceDirection::Receive,
       {0x0A, 0x01, 0x00, 0xC3, 0x52},
       TraceVerdict::DroppedByPurge,
       "2024-05-01 12:34:56.789  RX  0A 01 00 C3 52  dropped by a purge\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(lineOf(c.direction, c.bytes, c.verdict), c.line);
}

TEST(TrafficTraceLine, TimeFieldsArePaddedAndMillisecondsTruncated) {
  const Bytes frame{0x01};
  EXPECT_EQ(
      lineOf(TraceDirection::Receive, frame, TraceVerdict::WrongLength, localTime(2025, 1, 2, 3, 4, 5, 7)),
      "2025-01-02 03:04:05.007  RX  01  wrong length\n");
  EXPECT_EQ(lineOf(TraceDirection::Receive, frame, TraceVerdict::WrongLength,
                   localTime(1999, 12, 31, 23, 59, 59, 0)),
            "1999-12-31 23:59:59.000  RX  01  wrong length\n");
  const auto almostNextSecond = localTime(2030, 6, 15, 0, 0, 0, 999) + std::chrono::microseconds(999);
  EXPECT_EQ(lineOf(TraceDirection::Transmit, frame, TraceVerdict::Sent, almostNextSecond),
            "2030-06-15 00:00:00.999  TX  01  sent\n");
}

// "YYYY-MM-DD HH:MM:SS.mmm"
constexpr std::size_t kStampLength = 23;
bool isStamp(const std::string& text) {
  const std::string pattern = "dddd-dd-dd dd:dd:dd.ddd";
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
      return false;
  }
  return true;
}

TEST(TrafficTraceLine, LinesFromTwoThreadsNeverMix) {
  std::string out;  // the sink itself is not thread-safe: the trace's lock must be
  TrafficTrace trace([&out](const std::string& line) {
    for (char c : line) out.push_back(c);
  });
  const Bytes tx{0x01, 0x50, 0x00, 0x1C};
  const Bytes rx = readingsFrame(1, 215);
  constexpr int kLines = 2000;
  std::thread writer([&] {
    for (int i = 0; i < kLines; ++i) trace.record(TraceDirection::Transmit, tx, TraceVerdict::Sent);
  });
  for (int i = 0; i < kLines; ++i) trace.record(TraceDirection::Receive, rx, TraceVerdict::Accepted);
  writer.join();

  const std::string txRest = lineOf(TraceDirection::Transmit, tx, TraceVerdict::Sent).substr(kStampLength);
  const std::string rxRest = lineOf(TraceDirection::Receive, rx, TraceVerdict::Accepted).substr(kStampLength);
  std::istringstream lines(out);
  int txCount = 0;
  int rxCount = 0;
  for (std::string line; std::getline(lines, line);) {
    line += '\n';
    const bool stamped = isStamp(line.substr(0, kStampLength));
    if (stamped && line.substr(kStampLength) == txRest) {
      ++txCount;
    } else if (stamped && line.substr(kStampLength) == rxRest) {
      ++rxCount;
    } else {
      ADD_FAILURE() << "mixed line: " << line;
    }
  }
  EXPECT_EQ(txCount, kLines);
  EXPECT_EQ(rxCount, kLines);
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TrafficTraceFile, AppendsAndEveryLineIsInTheFileAtOnce) {
  char path[] = "/tmp/rs485-trace-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "earlier\n", 8), 8);
  close(fd);

  std::string error;
  const auto trace = TrafficTrace::appendToFile(path, error);
  ASSERT_NE(trace, nullptr) << error;
  const Bytes frame{0x01, 0x01, 0xC1, 0xE0};
  trace->record(TraceDirection::Transmit, frame, TraceVerdict::Sent);
  const std::string text = fileText(path);  // the trace is still open
  EXPECT_EQ(text.rfind("earlier\n", 0), 0u) << text;
  EXPECT_NE(text.find("  TX  01 01 C1 E0  sent\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  std::remove(path);
}

TEST(TrafficTraceFile, APathThatCannotBeOpenedSaysWhy) {
  std::string error;
  EXPECT_EQ(TrafficTrace::appendToFile("/nonexistent-dir/trace.log", error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_EQ(TrafficTrace::appendToFile("/", error), nullptr);
  EXPECT_EQ(error, "Is a directory");
}

// The engine with a trace whose clock stands still, so that whole lines can
// be compared.
class TracedExchange : public ::testing::Test {
 private:
  // Before the rig: its workers may still trace while it closes.
  std::mutex mutex_;
  std::vector<std::string> lines_;

 protected:
  void SetUp() override {
    rig.exchange.setTrace(std::make_shared<TrafficTrace>(
        [this](const std::string& line) {
          std::lock_guard lock(mutex_);
          lines_.push_back(line);
        },
        [] { return localTime(2024, 5, 1, 12, 0, 0, 5); }));
    ASSERT_TRUE(rig.open()) << describe(rig.session.lastError());
  }

  // Waits for the queue to hold `count` bytes while the hand-over waits.
  bool queuedWithoutPumping(int count) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (rig.exchange.inputQueued() != count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

  static std::string line(const std::string& rest) { return "2024-05-01 12:00:00.005  " + rest + "\n"; }
  static std::string rx(const Bytes& bytes, const char* verdict) {
    return line("RX  " + hex(bytes) + "  " + verdict);
  }
  static std::string hex(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
      char two[4];
      std::snprintf(two, sizeof two, "%02X ", b);
      text += two;
    }
    if (!text.empty()) text.pop_back();
    return text;
  }

  LinkRig rig;
};

TEST_F(TracedExchange, ARequestAndItsAnswer) {
  rig.send(BusRequest::probe(1));
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.eventually([&] { return rig.shortAnswers.size() == 1; }));
  rig.send(BusRequest::readCurrent(1));
  Bytes corrupted = readingsFrame(1, 10);
  corrupted[5] ^= 0x40;
  rig.pty.write(corrupted);
  ASSERT_TRUE(rig.runNextHandOver());
  EXPECT_TRUE(rig.readings.empty());

  EXPECT_EQ(lines(), (std::vector<std::string>{
                         line("TX  01 01 C1 E0  sent"),
                         line("RX  01 01 00 21 90  accepted"),
                         line("TX  01 50 00 1C  sent"),
                         rx(corrupted, "bad CRC"),
                     }));
}

TEST_F(TracedExchange, AFailedWrite) {
  rig.pty.closeMaster();
  rig.exchange.sendRequest(BusRequest::probe(2));
  ASSERT_TRUE(rig.eventually([&] { return rig.sendFailures.size() >= 2; }));
  rig.session.COMClose();
  const auto seen = lines();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0], line("TX  " + hex(request(buildBusRequest(2, CmdProbe), 4)) + "  write failed"));
  EXPECT_EQ(seen[1], seen[0]);
}

TEST_F(TracedExchange, APurgeTracesWhatItDropsAndStillEmptiesTheQueue) {
  // Three bytes while five are expected: never read, dropped by the tick.
  rig.send(BusRequest::probe(7));
  rig.pty.write({0x05, 0x01, 0x00});
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 3; }));
  rig.tick();
  EXPECT_EQ(rig.exchange.inputQueued(), 0);

  // The next probe. A second answer arrives while the receive thread waits
  // for the first to be handled: the tick drops a whole frame's worth of
  // bytes, and the first is still the probe's answer.
  rig.send(BusRequest::probe(7));
  rig.pty.write(statusFrame(7, CmdProbe));
  ASSERT_TRUE(rig.ui.waitForTask());
  rig.pty.write(statusFrame(8, CmdProbe));
  ASSERT_TRUE(queuedWithoutPumping(5));
  rig.tick();
  EXPECT_EQ(rig.exchange.inputQueued(), 0);
  rig.ui.runPending();
  EXPECT_EQ(rig.shortAnswers, std::vector<Bytes>{statusFrame(7, CmdProbe)});

  rig.tick();  // nothing queued: nothing traced
  const std::string probe7 =
      line("TX  " + hex(request(buildBusRequest(7, CmdProbe), kBusRequestLength)) + "  sent");
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         probe7,
                         line("RX  05 01 00  wrong length"),
                         probe7,
                         rx(statusFrame(8, CmdProbe), "dropped by a purge"),
                         rx(statusFrame(7, CmdProbe), "accepted"),
                     }));
}

TEST_F(TracedExchange, BlocksThatMakeNoFrame) {
  // The answer was read while five were expected, but a poll began before
  // the hand-over ran: kept, yet no frame.
  rig.exchange.expectAnswer(kStatusResponseLength);
  rig.pty.write(statusFrame(1, CmdProbe));
  ASSERT_TRUE(rig.ui.waitForTask());
  rig.exchange.expectAnswer(kReadingsResponseLength);
  rig.ui.runPending();
  EXPECT_EQ(rig.exchange.frame().size(), kStatusResponseLength);
  // Sixteen more would not fit beside it: both go.
  rig.pty.write(readingsFrame(1, 50));
  ASSERT_TRUE(rig.runNextHandOver());
  EXPECT_EQ(rig.exchange.frame().size(), 0);
  EXPECT_TRUE(rig.shortAnswers.empty() && rig.readings.empty());

  const auto seen = lines();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], rx(statusFrame(1, CmdProbe), "wrong length"));
  EXPECT_EQ(seen[1], rx(readingsFrame(1, 50), "wrong length"));
}

TEST_F(TracedExchange, BytesLeftAtTheCloseAreTraced) {
  rig.exchange.expectAnswer(kReadingsResponseLength);
  rig.pty.write({0xAA, 0xBB});
  ASSERT_TRUE(rig.eventually([&] { return rig.exchange.inputQueued() == 2; }));
  rig.session.COMClose();
  EXPECT_EQ(lines(), std::vector<std::string>{line("RX  AA BB  wrong length")});
}

}  // namespace
}  // namespace rs485::test
