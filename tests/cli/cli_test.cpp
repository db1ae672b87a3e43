// rs485-cli's commands in-process against the simulator over a pty.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTranslator>
#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <variant>

#include "cli/answer_text.h"
#include "cli/command_line.h"
#include "cli/outbox.h"
#include "i18n/catalogue.h"
#include "monitor/bus_session.h"
#include "monitor/data_text.h"
#include "tests/cli/cli_rig.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_view.h"
#include "tests/support/pump_executor.h"

using namespace rs485;
using namespace rs485::test;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

sim::DeviceConfig faulty(int address, void (*set)(sim::Faults&)) {
  sim::DeviceConfig d = device(address);
  set(d.faults);
  return d;
}

sim::DeviceConfig fixed(int address, ReadingsResponse readings) {
  sim::DeviceConfig d = device(address);
  readings.address = static_cast<std::uint8_t>(address);
  d.fixedReadings = readings;
  return d;
}

// 3, 7 and 12 answer (7 in bursts); the others fail each in its own way.
std::vector<sim::DeviceConfig> faultyBus() {
  return {device(3),
          faulty(5, [](sim::Faults& f) { f.badCrc = 1; }),
          faulty(7,
                 [](sim::Faults& f) {
                   f.split = 1;
                   f.splitGapMin = std::chrono::milliseconds(1);
                   f.splitGapMax = std::chrono::milliseconds(3);
                 }),
          faulty(9, [](sim::Faults& f) { f.silent = 1; }),
          faulty(10, [](sim::Faults& f) { f.badStatus = 1; }),
          faulty(11, [](sim::Faults& f) { f.extraBytes = 1; }),
          device(12)};
}

}  // namespace

// A bad CRC (5) and extra bytes (11) make an address unreadable: probed
// once more after the sweep, and reported.
TEST(CliScan, FindsTheAnsweringDevicesWithFaultsOn) {
  for (const bool json : {false, true}) {
    CliRig rig(faultyBus());
    ASSERT_TRUE(rig.opened);
    EXPECT_EQ(cli::runScan(*rig.bus, {.timeout = 500, .from = 3, .to = 12}, rig.output(json), rig.stop),
              cli::kExitOk);
    const std::vector<std::string> expected =
        json ? std::vector<std::string>{R"({"address":3})", R"({"address":7})", R"({"address":12})",
                                        R"({"address":5,"unreadable":true})",
                                        R"({"address":11,"unreadable":true})"}
             : std::vector<std::string>{"3", "7", "12", "5?", "11?"};
    EXPECT_EQ(lines(rig.out.str()), expected);
    EXPECT_EQ(rig.err.str(), "scan 3..12: 3 device(s) found: 3, 7, 12; 2 unreadable: 5, 11\n");
    // One probe per address of the range, in ascending order.
    std::vector<int> probed(10);
    std::iota(probed.begin(), probed.end(), 3);
    probed.insert(probed.end(), {5, 11});
    EXPECT_EQ(rig.requestedAddresses(), probed);
  }
}

// Two devices on one address, whichever scan and however the line is paced.
TEST(CliScan, ReportsTwoDevicesOnOneAddressAsUnreadable) {
  const struct {
    bool fast;
    bool pace;
    bool json;
    std::vector<std::string> lines;
    std::vector<int> probed;
  } cases[] = {
      {true, true, false, {"5?", "6"}, {5, 5, 6}},
      {true, false, true, {R"({"address":5,"unreadable":true})", R"({"address":6})"}, {5, 5, 6}},
      {false, false, false, {"6", "5?"}, {5, 6, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fast " << c.fast << ", pace " << c.pace);
    CliRig rig({device(5), twin(5), device(6)}, 0, c.pace);
    ASSERT_TRUE(rig.opened);
    const cli::ScanRange range{.from = 5, .to = 6, .fast = c.fast};
    EXPECT_EQ(cli::runScan(*rig.bus, range, rig.output(c.json), rig.stop), cli::kExitOk);
    EXPECT_EQ(lines(rig.out.str()), c.lines);
    EXPECT_EQ(rig.err.str(), "scan 5..6: 1 device(s) found: 6; 1 unreadable: 5\n");
    EXPECT_EQ(rig.requestedAddresses(), c.probed);
  }
}

// The simulator paces like the line: every device at the ends and in the
// middle of the bus is found, nothing else, each address probed once.
TEST(CliFastScan, FindsEveryDeviceAtTheEndsAndInTheMiddleOfTheBus) {
  const std::vector<sim::DeviceConfig> devices = {device(1), device(2), device(128), device(246),
                                                  device(247)};
  const struct {
    int from;
    int to;
    std::vector<std::string> found;
    std::string summary;
  } cases[] = {
      {1, 3, {"1", "2"}, "scan 1..3: 2 device(s) found: 1, 2\n"},
      {127, 129, {"128"}, "scan 127..129: 1 device(s) found: 128\n"},
      {245, 247, {"246", "247"}, "scan 245..247: 2 device(s) found: 246, 247\n"},
  };
  for (const auto& c : cases) {
    CliRig rig(devices, 0, true);
    ASSERT_TRUE(rig.opened);
    EXPECT_EQ(cli::runScan(*rig.bus, {.from = c.from, .to = c.to, .fast = true}, rig.output(), rig.stop),
              cli::kExitOk);
    EXPECT_EQ(lines(rig.out.str()), c.found);
    EXPECT_EQ(rig.err.str(), c.summary);
    EXPECT_EQ(rig.requestedAddresses(), (std::vector<int>{c.from, c.from + 1, c.to}));
  }
}

// A device slower than the window misses it; its late answer lands in the
// next probe's window, which it makes unreadable once.
TEST(CliFastScan, FindsASlowDeviceOnlyWithinItsReplyWindow) {
  const struct {
    int turnaround;
    int window;
    std::vector<std::string> found;
    std::vector<int> probed;
  } cases[] = {
      {30, 40, {"10"}, {10, 11}},
      {80, 40, {}, {10, 11, 11}},
      {80, 100, {"10"}, {10, 11}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.turnaround << " ms turnaround, " << c.window << " ms window");
    CliRig rig({slow(10, std::chrono::milliseconds(c.turnaround))}, 0, true);
    ASSERT_TRUE(rig.opened);
    const cli::ScanRange range{.from = 10, .to = 11, .fast = true, .replyWindow = c.window};
    EXPECT_EQ(cli::runScan(*rig.bus, range, rig.output(), rig.stop), cli::kExitOk);
    EXPECT_EQ(lines(rig.out.str()), c.found);
    EXPECT_EQ(rig.requestedAddresses(), c.probed);
  }
}

// A stop (SIGINT) or a port that goes away ends the scan after the probe in
// flight, with what it found so far.
TEST(CliFastScan, EndsAtAStopOrWhenThePortGoesAway) {
  for (const bool unplug : {false, true}) {
    SCOPED_TRACE(unplug ? "unplugged" : "stopped");
    CliRig rig({device(1), device(2), device(5)}, 0, true);
    ASSERT_TRUE(rig.opened);
    rig.bus->onEvent = [&] {
      // Called with the answer still in the frame, before it is taken as a find.
      const auto frame = rig.bus->exchange.frame();
      if (frame.empty() || frame[0] != 2) return;
      if (unplug) {
        rig.sim.lineGone();
      } else {
        rig.stop.request();
      }
    };
    const int status = cli::runScan(*rig.bus, {.from = 1, .to = 10, .fast = true}, rig.output(), rig.stop);
    EXPECT_EQ(status, unplug ? cli::kExitUnavailable : cli::kExitOk);
    EXPECT_EQ(lines(rig.out.str()), (std::vector<std::string>{"1", "2"}));
    std::string summary = "scan 1..10 (stopped after 2): 2 device(s) found: 1, 2\n";
    if (unplug) summary += "scan: the port takes no more writes (probe of 3)\n";
    EXPECT_EQ(rig.err.str(), summary);
    EXPECT_EQ(rig.requestedAddresses(), (std::vector<int>{1, 2}));
  }
}

TEST(CliScan, EndsWithNothingFoundAndStillSucceeds) {
  CliRig rig({device(40)});
  ASSERT_TRUE(rig.opened);
  EXPECT_EQ(cli::runScan(*rig.bus, {.timeout = 500, .from = 20, .to = 22}, rig.output(), rig.stop),
            cli::kExitOk);
  EXPECT_EQ(rig.out.str(), "");
  EXPECT_EQ(rig.err.str(), "scan 20..22: 0 device(s) found\n");
  EXPECT_EQ(rig.requestedAddresses(), (std::vector<int>{20, 21, 22}));
}

TEST(CliRead, DecodesAFixedAnswerAsTheWindowShowsIt) {
  ReadingsResponse ended = kEveryFieldApart;
  ended.cycles = 0;
  ended.statusByte = 0;
  struct Case {
    int address;
    bool json;
    std::string expected;
  };
  const Case cases[] = {
      {7, false,
       "7: -00,5 °C  02 ч. 10 м.  шаг 03 (07)  цикл - 005  уставки 060,0 °C 01 ч. 30 м.  status 128"},
      {7, true,
       R"({"time":"2026-12-08T01:27:00+03:00","address":7,"temperature":-0.5,"time_minutes":130,"step":3,)"
       R"("cycles":5,"num_step":7,"set_temperature":60.0,"set_time_minutes":90,"status":128,"end":false})"},
      {12, false, "12: цикл - End  status 0"},
      {12, true, R"({"time":"2026-12-08T01:27:00+03:00","address":12,"status":0,"end":true})"},
  };
  for (const Case& c : cases) {
    CliRig rig({fixed(7, kEveryFieldApart), fixed(12, ended)});
    ASSERT_TRUE(rig.opened);
    EXPECT_EQ(cli::runRead(*rig.bus, c.address, rig.output(c.json)), cli::kExitOk) << rig.err.str();
    EXPECT_EQ(lines(rig.out.str()), std::vector<std::string>{c.expected});
  }
}

TEST(CliRead, FailsWhenNoValidAnswerComes) {
  CliRig rig({device(3), faulty(5, [](sim::Faults& f) { f.badCrc = 1; })});
  ASSERT_TRUE(rig.opened);
  for (const int address : {5, 8}) {
    rig.err.str("");
    EXPECT_EQ(cli::runRead(*rig.bus, address, rig.output()), cli::kExitFailed);
    EXPECT_EQ(rig.out.str(), "");
    EXPECT_EQ(rig.err.str(),
              "read: no valid answer from device " + std::to_string(address) + " within 1 s\n");
  }
}

TEST(CliPoll, PassesOverADeviceThatDoesNotAnswerInItsTick) {
  CliRig rig({device(3), faulty(5, [](sim::Faults& f) { f.silent = 1; }),
              faulty(6, [](sim::Faults& f) { f.badCrc = 1; }), device(7)});
  ASSERT_TRUE(rig.opened);
  cli::PollSettings settings;
  settings.addresses = {3, 5, 6, 7};
  settings.seconds = 9;  // 2.25 s here: eight ticks
  EXPECT_EQ(cli::runPoll(*rig.bus, settings, rig.output(true), rig.stop, nullptr), cli::kExitOk);
  const std::vector<int> asked = rig.requestedAddresses();
  ASSERT_GE(asked.size(), 8u);
  EXPECT_EQ(std::vector<int>(asked.begin(), asked.begin() + 8), (std::vector<int>{3, 5, 6, 7, 3, 5, 6, 7}));
  const auto counts = [&](int address) { return rig.bus->health().figures(address); };
  EXPECT_EQ(counts(3).accepted, counts(3).sent);
  EXPECT_EQ(counts(5).unanswered, counts(5).sent);
  EXPECT_EQ(counts(6).dropped, counts(6).sent);
  EXPECT_EQ(counts(6).accepted, 0);
  EXPECT_EQ(counts(7).accepted, counts(7).sent);
  for (const std::string& line : lines(rig.out.str())) {
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    EXPECT_TRUE(answer.value("address").toInt() == 3 || answer.value("address").toInt() == 7) << line;
  }
  EXPECT_NE(rig.err.str().find("device 5: sent 2, answered 0, dropped 0, silent 2, late or unasked 0\n"),
            std::string::npos)
      << rig.err.str();
}

// Device 3 answers 1.15 ticks late, in the next device's time: nothing of 3
// is ever printed, recorded or published as another device's, and 17 and 42
// keep their turns.
TEST(CliPoll, ALateDeviceNeverLendsItsReadingsToAnother) {
  struct Published : cli::Publisher {
    std::vector<std::pair<std::string, QByteArray>> messages;
    void publish(const std::string& topic, const QByteArray& payload) override {
      messages.emplace_back(topic, payload);
    }
    void flush(std::chrono::milliseconds) override {}
    Counts counts() const override { return {}; }
  } published;
  const std::map<int, double> temperature{{3, 11.1}, {17, 22.2}, {42, 33.3}};
  std::vector<sim::DeviceConfig> devices;
  for (const auto& [address, t] : temperature) {
    sim::DeviceConfig d =
        fixed(address, readingsOf(0, {.temperature = static_cast<std::int16_t>(t * 10), .cycles = 5}));
    if (address == 3) {
      d.faults.late = 1;
      d.faults.lateBy = std::chrono::milliseconds(1150 / CliRig::kTimeDivisor);
    }
    devices.push_back(d);
  }
  CliRig rig(devices);
  ASSERT_TRUE(rig.opened);
  rig.step = std::chrono::seconds(20);  // rows in several minutes
  cli::PollSettings settings;
  settings.addresses = {3, 17, 42};
  settings.record = true;
  settings.seconds = 14;  // 3.5 s here
  ASSERT_EQ(cli::runPoll(*rig.bus, settings, rig.output(true), rig.stop, &published), cli::kExitOk);

  std::map<int, int> printed;
  for (const std::string& line : lines(rig.out.str())) {
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    const int address = answer.value("address").toInt();
    EXPECT_DOUBLE_EQ(answer.value("temperature").toDouble(), temperature.at(address)) << line;
    ++printed[address];
  }
  EXPECT_GE(printed[17], 3);
  EXPECT_GE(printed[42], 3);
  EXPECT_LE(printed[3], 1) << "3 is passed over before its answer comes, but perhaps at the end";
  std::vector<std::pair<std::string, QByteArray>> readings, statuses;
  for (const auto& message : published.messages)
    (message.first.ends_with("/status") ? statuses : readings).push_back(message);
  // 3 never answers at its turn: it is told silent, the others answering.
  const std::vector<std::pair<std::string, QByteArray>> told = {
      {"rs485/3/status", "silent"}, {"rs485/17/status", "answering"}, {"rs485/42/status", "answering"}};
  ASSERT_GE(statuses.size(), told.size());
  EXPECT_EQ(decltype(told)(statuses.begin(), statuses.begin() + 3), told);
  ASSERT_EQ(readings.size(), lines(rig.out.str()).size());
  for (const auto& [topic, payload] : readings) {
    const QJsonObject answer = QJsonDocument::fromJson(payload).object();
    EXPECT_EQ(topic, "rs485/" + std::to_string(answer.value("address").toInt()));
  }
  for (const auto& [address, t] : temperature) {
    QFile file(QDir(rig.files.path()).filePath(recordingFileName(address)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    for (qsizetype i = 2; i < rows.size(); ++i) {
      if (rows[i].isEmpty()) continue;
      EXPECT_TRUE(rows[i].trimmed().endsWith(
          QString::number(t, 'f', 1).rightJustified(5, u'0').replace(u'.', u',').toLatin1()))
          << address << ": " << rows[i].toStdString();
    }
  }
  const std::string summary = rig.err.str();
  const QRegularExpression late(QStringLiteral(
      "device 3: sent \\d+, answered [01], dropped 0, silent \\d+, late or unasked [1-9]\\d*\n"));
  EXPECT_TRUE(late.match(QString::fromStdString(summary)).hasMatch()) << summary;
}

// The recording files of a poll are the very bytes that the window's
// monitor writes when it gets the same answers at the same moments.
TEST(CliPoll, RecordsTheSameBytesAsTheWindow) {
  std::vector<sim::DeviceConfig> devices = {device(3), device(7), device(12)};
  for (auto& d : devices) d.program = sim::Program{};
  CliRig rig(devices, 600);  // ten simulated minutes per second: the values move
  ASSERT_TRUE(rig.opened);
  // Every tick is 25 s later: rows fall in several minutes.
  const QDateTime start(QDate(2026, 12, 8), QTime(1, 27), QTimeZone(3 * 3600));
  const auto at = [&](std::size_t tick) { return start.addSecs(25 * static_cast<qint64>(tick)); };
  cli::BusOptions options{
      .names = PortNames(std::map<std::string, std::string>{{"COM1", rig.sim.toolPath()}}),
      .clock = [&] { return at(rig.sim.requestsSeen()); },
      .recording = {rig.files.path(), {}},
      .timeDivisor = CliRig::kTimeDivisor};
  rig.bus.reset();
  rig.bus = std::make_unique<cli::Bus>(std::move(options));
  ASSERT_TRUE(rig.bus->open("COM1"));
  cli::PollSettings settings;
  settings.addresses = {3, 7, 12};
  settings.record = true;
  settings.seconds = 10;
  ASSERT_EQ(cli::runPoll(*rig.bus, settings, rig.output(true), rig.stop, nullptr), cli::kExitOk);
  const std::vector<std::string> answers = lines(rig.out.str());
  ASSERT_GE(answers.size(), 6u);

  // The window's side: its monitor against a fake window, with device 3
  // selected and every answer handed over as the engine would.
  PumpExecutor ui;
  Exchange exchange{ui};
  FakeView window;
  FakeDialog dialog{window.log};
  QTemporaryDir dir;
  QDateTime now = at(0);
  BusSession session{window, dialog, exchange, [&] { return now; }, {dir.path(), {}}};
  DeviceState& state = session.state;
  exchange.setListener({.sent = {},
                        .reply = [&](const BusReply& reply) { session.replied(reply); },
                        .dropped = {},
                        .unasked = {},
                        .writeFailed = {},
                        .writeResumed = {},
                        .requestWritten = {}});
  for (const int address : {3, 7, 12}) {
    state.FoundDevices.push_back({static_cast<std::uint8_t>(address), minuteBefore(now)});
    session.recording.prepareRecordingFile(address);
  }
  session.startRecording();
  session.startPoll([] { return 3; });
  std::size_t tick = 0;
  for (const std::string& line : answers) {
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    now = at(++tick);
    ASSERT_EQ(json.value("time").toString(), isoTimeWithOffset(now)) << "an answer missed its tick";
    session.poll.pollTick(0);
    const ReadingsResponse r{
        .address = static_cast<std::uint8_t>(json.value("address").toInt()),
        .command = CmdReadCurrent,
        .temperature = static_cast<std::int16_t>(qRound(json.value("temperature").toDouble() * 10)),
        .timeMinutes = static_cast<std::uint16_t>(json.value("time_minutes").toInt()),
        .step = static_cast<std::uint8_t>(json.value("step").toInt()),
        .cycles = static_cast<std::uint8_t>(json.value("cycles").toInt()),
        .numStep = static_cast<std::uint8_t>(json.value("num_step").toInt()),
        .setTemperature = static_cast<std::int16_t>(qRound(json.value("set_temperature").toDouble() * 10)),
        .setTimeMinutes = static_cast<std::uint16_t>(json.value("set_time_minutes").toInt()),
        .statusByte = static_cast<std::uint8_t>(json.value("status").toInt())};
    exchange.acceptBlock(encodedReadings(r));
  }

  int rows = 0;
  for (const int address : {3, 7, 12}) {
    QFile cli(QDir(rig.files.path()).filePath(recordingFileName(address)));
    QFile win(QDir(dir.path()).filePath(recordingFileName(address)));
    ASSERT_TRUE(cli.open(QIODevice::ReadOnly));
    ASSERT_TRUE(win.open(QIODevice::ReadOnly));
    const QByteArray bytes = cli.readAll();
    EXPECT_EQ(bytes, win.readAll()) << "device " << address;
    rows += static_cast<int>(bytes.count("\r\n")) - 2;
  }
  EXPECT_GE(rows, 4);  // rows in more than one minute, not only the headers
}

TEST(CliSetAddress, RenamesTheDeviceAndFindsItAtTheNewAddress) {
  CliRig rig({device(5), device(6)});
  ASSERT_TRUE(rig.opened);
  EXPECT_EQ(cli::runSetAddress(*rig.bus, 5, 9, rig.output()), cli::kExitOk) << rig.err.str();
  EXPECT_EQ(rig.out.str(), "device 5 now answers at 9\n");
  std::vector<int> addresses = rig.sim.addresses();
  std::sort(addresses.begin(), addresses.end());
  EXPECT_EQ(addresses, (std::vector<int>{6, 9}));
}

TEST(CliSetAddress, FailsCleanlyWhenTheDeviceIsSilent) {
  CliRig rig({faulty(5, [](sim::Faults& f) { f.silent = 1; })});
  ASSERT_TRUE(rig.opened);
  EXPECT_EQ(cli::runSetAddress(*rig.bus, 5, 9, rig.output()), cli::kExitFailed);
  EXPECT_EQ(rig.out.str(), "");
  EXPECT_EQ(rig.err.str(), "set-address: device 5 did not acknowledge within 2 s\n");
  EXPECT_EQ(rig.sim.addresses(), std::vector<int>{5});
}

TEST(CliSetAddress, FailsWhenTheNewAddressDoesNotAnswer) {
  // The device acknowledges but keeps its address: the probe of 9 goes unanswered.
  CliRig rig({faulty(5, [](sim::Faults& f) {
    f.badStatus = 1;
    f.failStatus = 0;
  })});
  ASSERT_TRUE(rig.opened);
  EXPECT_EQ(cli::runSetAddress(*rig.bus, 5, 9, rig.output()), cli::kExitFailed);
  EXPECT_EQ(rig.err.str(), "set-address: device 5 acknowledged, but nothing answers at 9\n");
}

TEST(CliJson, GivesTenthsOfADegreeWithOneDecimal) {
  const std::pair<int, const char*> cases[] = {{-5, "-0.5"},     {-123, "-12.3"}, {0, "0.0"},
                                               {600, "60.0"},    {9999, "999.9"}, {-32768, "-3276.8"},
                                               {32767, "3276.7"}};
  for (const auto& [tenths, text] : cases) {
    ReadingsResponse r = kEveryFieldApart;
    r.temperature = static_cast<std::int16_t>(tenths);
    const QJsonObject json = QJsonDocument::fromJson(cli::answerJson(QDateTime(), 1, r)).object();
    EXPECT_NE(cli::answerJson(QDateTime(), 1, r).indexOf(QByteArray(",\"temperature\":") + text + ','), -1)
        << tenths;
    EXPECT_DOUBLE_EQ(json.value("temperature").toDouble(), tenths / 10.0);
  }
}

TEST(CliOutbox, KeepsAtMostTheBoundDroppingTheOldestFirst) {
  cli::Outbox outbox(1000);
  for (int i = 0; i < 1005; ++i) outbox.push({"t", QByteArray::number(i)}, 0);
  EXPECT_EQ(outbox.waiting(), 1000u);
  EXPECT_EQ(outbox.dropped(), 5u);
  EXPECT_EQ(outbox.take()->payload, "5");
  // Messages in flight count against the bound too.
  outbox.push({"t", "new"}, 20);
  EXPECT_EQ(outbox.waiting(), 980u);
  EXPECT_EQ(outbox.dropped(), 25u);
  EXPECT_EQ(outbox.take()->payload, "26");
}

// The poll's end and the broker's address, as the command line gives them.
TEST(CliCommandLine, TakesLongPollsAndBrokerAddressesOfEveryKind) {
  struct Case {
    QStringList options;
    std::int64_t seconds;  // -1: a usage error
    std::string host;
    int port;
  };
  const Case cases[] = {
      {{"--seconds", "4294968"}, 4294968, "", 0},  // its milliseconds pass 2^32
      {{"--seconds", "2147484"}, 2147484, "", 0},  // and 2^31
      {{"--seconds", "316224000"}, 316224000, "", 0},
      {{"--seconds", "316224001"}, -1, "", 0},
      {{"--seconds", "0"}, -1, "", 0},
      {{"--mqtt", "broker"}, 0, "broker", 1883},
      {{"--mqtt", "broker:1884"}, 0, "broker", 1884},
      {{"--mqtt", "10.0.0.5:2000"}, 0, "10.0.0.5", 2000},
      {{"--mqtt", "[::1]:1883"}, 0, "::1", 1883},
      {{"--mqtt", "[fe80::1%eth0]"}, 0, "fe80::1%eth0", 1883},
      {{"--mqtt", "[::1]", "--mqtt-cafile", "/etc/hostname"}, 0, "::1", 8883},
      {{"--mqtt", "::1"}, -1, "", 0},
      {{"--mqtt", "[::1"}, -1, "", 0},
      {{"--mqtt", "[::1]1883"}, -1, "", 0},
      {{"--mqtt", "[]:1883"}, -1, "", 0},
      {{"--mqtt", "[::1]:65536"}, -1, "", 0},
      {{"--mqtt", ":1883"}, -1, "", 0},
  };
  for (const Case& c : cases) {
    const std::string what = c.options.join(' ').toStdString();
    const auto parsed =
        cli::parseCommandLine(QStringList{"rs485-cli", "--port", "COM1", "poll", "3"} + c.options);
    if (c.seconds < 0) {
      EXPECT_EQ(std::get_if<int>(&parsed) != nullptr ? std::get<int>(parsed) : 0, 2) << what;
      continue;
    }
    const auto* invocation = std::get_if<cli::Invocation>(&parsed);
    ASSERT_NE(invocation, nullptr) << what;
    EXPECT_EQ(invocation->poll.seconds, c.seconds) << what;
    EXPECT_EQ(invocation->mqtt ? invocation->mqtt->host : std::string(), c.host) << what;
    EXPECT_EQ(invocation->mqtt ? invocation->mqtt->port : 0, c.port) << what;
  }
}

// The language of messages is the C library's choice of LC_MESSAGES.
TEST(Language, RussianWhereTheMessagesLocaleIsRussian) {
  const struct {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    bool russian;
  } cases[] = {
      {"", "", "ru_RU.UTF-8", true},
      {"", "ru_UA.UTF-8", "en_US.UTF-8", true},
      {"C", "ru_RU.UTF-8", "ru_RU", false},
      {"ru", "", "", true},
      {"", "", "", false},
      {"", "", "rus_XX", false},
      {"", "en_GB.UTF-8", "ru_RU", false},
      {"ru_RU@euro", "", "", true},
  };
  std::map<const char*, QByteArray> saved;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) saved[name] = qgetenv(name);
  for (const auto& c : cases) {
    qputenv("LC_ALL", c.lcAll);
    qputenv("LC_MESSAGES", c.lcMessages);
    qputenv("LANG", c.lang);
    SCOPED_TRACE(i18n::messagesLocale().toStdString());
    EXPECT_EQ(i18n::isRussian(i18n::messagesLocale()), c.russian);
    QTranslator translator;
    EXPECT_EQ(i18n::loadCatalogue(translator), c.russian);
    EXPECT_EQ(translator.translate("rs485-cli", "no device to poll").isEmpty(), !c.russian);
  }
  for (const auto& [name, value] : saved) {
    if (value.isNull()) {
      qunsetenv(name);
    } else {
      qputenv(name, value);
    }
  }
}
