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
  session.startScan();
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
  session.startPoll();
  serve(4, [](int address) { return address == 7 ? Reply::None : Reply::Good; });
  session.stopPoll();

  // 3 answers, 7 does not: each turn of 7 ends silent at the next tick, the
  // last one when the poll stops.
  EXPECT_EQ(events, (Events{"now polling", "readings 3", "silent 7", "readings 3", "silent 7", "now idle"}));
}

TEST_F(BusSessionTest, ADeviceIsSilentOnlyOnceItsTurnEndsAndAnAnswerIsNeverSilent) {
  found({3, 7});
  select(3);
  session.startPoll();  // three ticks before a device is passed over
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
  view.setDigits("0", "0", "4");
  view.setNewDigits("0", "0", "9");
  session.changeAddress();
  EXPECT_EQ(session.activity(), Activity::ChangingAddress);
  status(4, CmdSetAddress);

  EXPECT_EQ(events, (Events{"now changing", "changed 4->9", "now idle"}));
  EXPECT_EQ(state.FoundDevices.front().address, 9);
  EXPECT_EQ(state.SelectedAddress, 9);
}

TEST_F(BusSessionTest, AnAddressChangeDuringAScanLeavesTheScanStandingStill) {
  dialog.mode = ScanAnswer::GoOnWithoutAsking;
  session.startScan();
  session.readTimerTimer();
  view.setDigits("0", "0", "5");
  view.setNewDigits("0", "0", "6");
  session.changeAddress();
  status(5, CmdSetAddress);
  session.readTimerTimer();

  EXPECT_EQ(events, (Events{"now scanning", "probe 1", "now changing", "changed 5->6", "now scanning"}));
  EXPECT_TRUE(session.scan.running()) << "until Find stops it";
  EXPECT_EQ(session.scan.ScanAddress(), 2);
}

TEST_F(BusSessionTest, RecordingIsTheSessionsStateAndThePollsStopEndsIt) {
  found({3});
  select(3);
  session.startPoll();
  session.startRecording();
  EXPECT_TRUE(recording.recordingOn());
  EXPECT_EQ(view.wFile, msg::stopRecordingCaption());
  session.stopPoll();
  EXPECT_FALSE(recording.recordingOn());
  EXPECT_EQ(view.wFile, msg::recordCaption());
}

}  // namespace
}  // namespace rs485::test
