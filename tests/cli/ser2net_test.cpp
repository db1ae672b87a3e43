// rs485-cli's commands through ser2net, a serial device server that is not
// ours, in front of the simulator's pty: in raw TCP and in RFC 2217 mode.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <map>
#include <sstream>

#include "cli/answer_text.h"
#include "protocol/frames.h"
#include "tests/cli/cli_rig.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;

namespace {

constexpr Ser2net::Mode kModes[] = {Ser2net::Mode::Raw, Ser2net::Mode::Rfc2217};

const char* name(Ser2net::Mode mode) { return mode == Ser2net::Mode::Raw ? "raw TCP" : "RFC 2217"; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

// Readings whose frame holds 0xFF (Telnet's command byte, also twice in a
// row), 0x0D 0x00 and 0x0D 0x0A (what text-minded links rewrite).
ReadingsResponse awkwardReadings(int address) {
  ReadingsResponse r;
  r.address = static_cast<std::uint8_t>(address);
  r.command = CmdReadCurrent;
  r.temperature = 0x00FF;
  r.timeMinutes = 0x0D00;
  r.step = 0x0D;
  r.cycles = 0x0A;
  r.numStep = 0xFF;
  r.setTemperature = -1;  // 0xFF 0xFF
  r.setTimeMinutes = 0x0D0A;
  r.statusByte = 0x0D;
  return r;
}

sim::DeviceConfig fixed(int address, const ReadingsResponse& readings) {
  sim::DeviceConfig d = device(address);
  d.fixedReadings = readings;
  return d;
}

QDateTime rigStart() { return QDateTime(QDate(2026, 12, 8), QTime(1, 27), QTimeZone(3 * 3600)); }

#define SKIP_WITHOUT_SER2NET() \
  if (!Ser2net::installed()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps)"

}  // namespace

TEST(OverSer2net, ScansReadsAndRenamesDevicesWithEveryByteIntact) {
  SKIP_WITHOUT_SER2NET();
  for (const Ser2net::Mode mode : kModes) {
    SCOPED_TRACE(name(mode));
    CliRig rig({fixed(3, awkwardReadings(3)), device(7)}, 0, true, ThroughSer2net{mode});
    ASSERT_TRUE(rig.serverUp) << rig.server->output().toStdString();
    ASSERT_TRUE(rig.opened) << rig.bus->session.lastErrorText();

    EXPECT_EQ(cli::runScan(*rig.bus, {.from = 1, .to = 8, .fast = true}, rig.output(), rig.stop),
              cli::kExitOk);
    EXPECT_EQ(lines(rig.out.str()), (std::vector<std::string>{"3", "7"})) << rig.err.str();

    rig.out.str("");
    EXPECT_EQ(cli::runRead(*rig.bus, 3, rig.output(true)), cli::kExitOk) << rig.err.str();
    EXPECT_EQ(lines(rig.out.str()),
              std::vector<std::string>{cli::answerJson(rigStart(), 3, awkwardReadings(3)).toStdString()});

    rig.out.str("");
    EXPECT_EQ(cli::runSetAddress(*rig.bus, 7, 9, rig.output()), cli::kExitOk) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "device 7 now answers at 9\n");
    std::vector<int> addresses = rig.sim.addresses();
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<int>{3, 9}));
  }
}

// ser2net is set to another speed, stop bits and flow control than the
// bus's: over RFC 2217 the tool sets them itself; over raw TCP the server's
// own settings stay. (A pty always keeps 8 data bits without parity, so those
// two show nothing here: the server's confirmation of them is checked by the
// tool itself, which fails the open without it.)
TEST(OverSer2net, TheToolSetsTheLineOverRfc2217) {
  SKIP_WITHOUT_SER2NET();
  struct Case {
    Ser2net::Mode mode;
    std::string configured;
    int baud;
    int stopBits;
    bool flowControl;
  };
  const Case cases[] = {
      {Ser2net::Mode::Raw, "9600n82,xonxoff,rtscts", 9600, 2, true},
      {Ser2net::Mode::Rfc2217, "9600n82,xonxoff,rtscts", 2400, 1, false},
      {Ser2net::Mode::Rfc2217, "19200n81", 2400, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(name(c.mode)) + ", ser2net at " + c.configured);
    CliRig rig({fixed(3, awkwardReadings(3))}, 0, false, ThroughSer2net{c.mode, c.configured});
    ASSERT_TRUE(rig.serverUp) << rig.server->output().toStdString();
    ASSERT_TRUE(rig.opened) << rig.bus->session.lastErrorText();
    // An answer has come through, so ser2net has the pty open and set.
    EXPECT_EQ(cli::runRead(*rig.bus, 3, rig.output(true)), cli::kExitOk) << rig.err.str();
    const auto line = rig.sim.lineSettings();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->baud, c.baud);
    EXPECT_EQ(line->stopBits, c.stopBits);
    EXPECT_EQ(line->hardwareFlowControl, c.flowControl);
    EXPECT_EQ(line->softwareFlowControl, c.flowControl);
  }
}

// ser2net stopped in the middle of a poll and started again a moment later:
// the poll heals as after an unplug, both devices answer again, and no
// reading is ever printed for another device.
TEST(OverSer2net, APollHealsWhenTheServerComesBack) {
  SKIP_WITHOUT_SER2NET();
  ReadingsResponse of3 = awkwardReadings(3);
  ReadingsResponse of7 = awkwardReadings(7);
  of7.temperature = 421;
  for (const Ser2net::Mode mode : kModes) {
    SCOPED_TRACE(name(mode));
    CliRig rig({fixed(3, of3), fixed(7, of7)}, 0, false, ThroughSer2net{mode});
    ASSERT_TRUE(rig.serverUp) << rig.server->output().toStdString();
    ASSERT_TRUE(rig.opened) << rig.bus->session.lastErrorText();

    enum class Phase { Polling, Down, Back, Healed } phase = Phase::Polling;
    int answersOf3 = 0;
    int answersOf7 = 0;
    bool restarted = false;
    // Answers the tool took as the device's own.
    const auto answers = [&](int address) { return rig.bus->health().figures(address).accepted; };
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      if (phase == Phase::Polling && answers(3) >= 2 && answers(7) >= 2) {
        phase = Phase::Down;
        rig.server->stop();
        // The outage: long enough for several failed rewrites and reconnects.
        QTimer::singleShot(1500ms, [&] {
          answersOf3 = answers(3);
          answersOf7 = answers(7);
          restarted = rig.server->start();
          phase = Phase::Back;
        });
      } else if (phase == Phase::Back && answers(3) >= answersOf3 + 2 && answers(7) >= answersOf7 + 2) {
        phase = Phase::Healed;
        rig.stop.request();
      }
    });
    driver.start(10ms);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { rig.stop.request(); });
    guard.start(60s);

    cli::PollSettings settings;
    settings.addresses = {3, 7};
    EXPECT_EQ(cli::runPoll(*rig.bus, settings, rig.output(true), rig.stop, nullptr), cli::kExitOk);
    EXPECT_TRUE(restarted) << rig.server->output().toStdString();
    EXPECT_EQ(phase, Phase::Healed) << rig.err.str();

    std::map<int, int> printed;
    for (const std::string& line : lines(rig.out.str())) {
      const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
      const int address = answer.value("address").toInt();
      ASSERT_TRUE(address == 3 || address == 7) << line;
      EXPECT_EQ(line, cli::answerJson(rigStart(), address, address == 3 ? of3 : of7).toStdString());
      ++printed[address];
    }
    // Every answer taken was printed once, also those after the outage.
    EXPECT_EQ(printed[3], answers(3));
    EXPECT_EQ(printed[7], answers(7));
  }
}
