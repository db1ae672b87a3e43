#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/monitor/monitor_rig.h"

namespace rs485::test {
namespace {

using Events = std::vector<std::string>;

const char* activityName(Activity activity) {
  switch (activity) {
    case Activity::Idle:
      return "idle";
    case Activity::Scanning:
      return "scanning";
    case Activity::Polling:
      return "polling";
    case Activity::ChangingAddress:
      return "changing";
  }
  return "?";
}

// The session with every event written down as a line, in the order told.
class BusSessionTest : public MonitorRig {
 protected:
  BusSessionTest() {
    const auto note = [this](std::string line) { events.push_back(std::move(line)); };
    session.setEvents({
        .found = [note](int address) { note("found " + std::to_string(address)); },
        .scanProgress = [note](int address) { note("probe " + std::to_string(address)); },
        .readings = [note](const ReadingsResponse& r) { note("readings " + std::to_string(r.address)); },
        .silent = [note](int address) { note("silent " + std::to_string(address)); },
        .addressChanged =
            [note](int from, int to) { note("changed " + std::to_string(from) + "->" + std::to_string(to)); },
        .activityChanged = [note](Activity now) { note(std::string("now ") + activityName(now)); },
        .refused = [note](const QString& text) { note("refused " + text.toStdString()); },
    });
  }

  void status(int address, int command = CmdProbe) {
    std::vector<std::uint8_t> frame(kStatusResponseLength);
    encodeStatusResponse({static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command), 0},
                         frame.data());
    exchange.acceptBlock(frame);
  }

  Events events;
};

TEST_F(BusSessionTest, AScanTellsEachProbeEachFindAndItsEnd) {
  dialog.mode = ScanAnswer::GoOnWithoutAsking;
  session.scan.setRange(1, 3);
  session.startScan(500);
  session.readTimerTimer();
  session.readTimerTimer();
  status(2);
  session.readTimerTimer();

  EXPECT_EQ(events, (Events{"now scanning", "probe 1", "probe 2", "found 2", "probe 3", "now idle"}));
  EXPECT_EQ(session.activity(), Activity::Idle);
  EXPECT_TRUE(fileExists(2)) << "a find prepares the device's file";
}

TEST_F(BusSessionTest, APollTellsEachHandledAnswerAndEachTurnThatEndedWithout) {
  found({3, 7});
  select(3);
  session.poll.setSilentTicksBeforeSkip(1);
  session.startPoll([] { return 3; });
  serve(4, [](int address) { return address == 7 ? Reply::None : Reply::Good; });
  session.stopPoll();

  // 3 answers, 7 does not: each turn of 7 ends silent at the next tick, the
  // last one when the poll stops.
  EXPECT_EQ(events, (Events{"now polling", "readings 3", "silent 7", "readings 3", "silent 7", "now idle"}));
}

TEST_F(BusSessionTest, ADeviceIsSilentOnlyOnceItsTurnEndsAndAnAnswerIsNeverSilent) {
  found({3, 7});
  select(3);
  session.startPoll([] { return 3; });  // three ticks before a device is passed over
  events.clear();
  serve(3, [](int) { return Reply::None; });
  EXPECT_TRUE(events.empty()) << "still 3's turn";
  serve(1, [](int) { return Reply::Good; });
  EXPECT_EQ(events, (Events{"silent 3", "readings 7"}));
  events.clear();
  session.stopPoll();
  EXPECT_EQ(events, (Events{"now idle"})) << "no turn was open";
}

TEST_F(BusSessionTest, AnAddressChangeIsAnActivityUntilItsAcknowledgement) {
  found({4});
  session.changeAddress([] { return 4; }, [] { return 9; });
  EXPECT_EQ(session.activity(), Activity::ChangingAddress);
  status(4, CmdSetAddress);

  EXPECT_EQ(events, (Events{"now changing", "changed 4->9", "now idle"}));
  EXPECT_EQ(state.FoundDevices.front().address, 9);
  EXPECT_EQ(state.SelectedAddress, 9);
}

TEST_F(BusSessionTest, AnAddressChangeDuringAScanLeavesTheScanStandingStill) {
  dialog.mode = ScanAnswer::GoOnWithoutAsking;
  session.startScan(500);
  session.readTimerTimer();
  session.changeAddress([] { return 5; }, [] { return 6; });
  status(5, CmdSetAddress);
  session.readTimerTimer();

  EXPECT_EQ(events, (Events{"now scanning", "probe 1", "now changing", "changed 5->6", "now scanning"}));
  EXPECT_TRUE(session.scan.running()) << "until Find stops it";
  EXPECT_EQ(session.scan.ScanAddress(), 2);
}

TEST_F(BusSessionTest, RecordingIsTheSessionsStateAndThePollsStopEndsIt) {
  found({3});
  select(3);
  session.startPoll([] { return 3; });
  session.startRecording();
  EXPECT_TRUE(recording.recordingOn());
  EXPECT_EQ(view.wFile, msg::stopRecordingCaption());
  session.stopPoll();
  EXPECT_FALSE(recording.recordingOn());
  EXPECT_EQ(view.wFile, msg::recordCaption());
}

TEST(WindowlessSession, TellsTheRefusedStepsTheWindowWouldShowInItsErrorBox) {
  PumpExecutor ui;
  Exchange exchange{ui};
  QTemporaryDir files;
  BusSession session(exchange, systemClock(), {files.path(), {}});
  std::vector<QString> refused;
  int asked = 0;
  session.setEvents({.found = {},
                     .scanProgress = {},
                     .readings = {},
                     .silent = {},
                     .addressChanged = {},
                     .activityChanged = {},
                     .refused = [&](const QString& text) { refused.push_back(text); }});
  const auto address = [&asked](int value) {
    return [&asked, value] {
      ++asked;
      return std::optional<int>(value);
    };
  };

  session.startPoll(address(3));
  EXPECT_EQ(asked, 0) << "no device found: the address is not even asked for";
  session.state.FoundDevices = {{3, 0}};
  session.startPoll(address(248));
  session.changeAddress(address(3), address(3));

  EXPECT_EQ(refused,
            (std::vector<QString>{msg::searchPrompt(), msg::enterDeviceAddress(), msg::wrongNewAddress()}));
  EXPECT_EQ(session.activity(), Activity::Idle);
  EXPECT_EQ(exchange.txCount(), 0) << "nothing went out";

  session.startPoll(address(3));
  EXPECT_EQ(session.activity(), Activity::Polling);
  EXPECT_EQ(refused.size(), 3u);
}

}  // namespace
}  // namespace rs485::test
