#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "devices/messages.h"
#include "devices/selection.h"
#include "tests/monitor/monitor_rig.h"

namespace rs485::test {
namespace {

using Log = std::vector<std::string>;
std::string s(const QString& t) { return t.toStdString(); }

class PollTest : public MonitorRig {};

TEST_F(PollTest, StartWithoutDevicesAsksForASearch) {
  select(7);
  clickReadingAll();
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0].first, msg::searchPrompt());
  EXPECT_EQ(view.errors[0].second, FocusTarget::Find);
  EXPECT_EQ(view.log, Log{"error " + s(msg::searchPrompt())});
  EXPECT_EQ(state.PendingCommand, 1);
  EXPECT_EQ(state.SelectedAddress, 0);
}

TEST_F(PollTest, StartWithAnAddressOutOfRangeAsksForTheAddress) {
  for (const auto& [h, t, u, value] :
       {std::tuple{"0", "0", "0", 0}, std::tuple{"2", "4", "8", 248}, std::tuple{"2", "9", "9", 299}}) {
    view.log.clear();
    view.errors.clear();
    found({3, 7});
    view.setDigits(h, t, u);
    clickReadingAll();
    ASSERT_EQ(view.errors.size(), 1u) << value;
    EXPECT_EQ(view.errors[0].first, msg::enterDeviceAddress());
    EXPECT_EQ(view.errors[0].second, FocusTarget::n1_addr);
    EXPECT_EQ(view.log, Log{"error " + s(msg::enterDeviceAddress())});
    EXPECT_EQ(state.SelectedAddress, value) << "keeps the rejected value";
    EXPECT_EQ(view.readingAll, msg::readingAllCaption());
    EXPECT_EQ(state.PendingCommand, 1);
  }
}

TEST_F(PollTest, StartWithAnEditorThatHoldsNoNumberChangesNothing) {
  found({3, 7});
  state.SelectedAddress = 3;
  view.setDigits("0", "", "7");
  clickReadingAll();
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0].first, msg::notAnInteger(""));
  EXPECT_EQ(view.log.size(), 1u);
  EXPECT_EQ(state.SelectedAddress, 3);
  EXPECT_EQ(state.PendingCommand, 1);
}

TEST_F(PollTest, StartTakesItsStepsInOrderAndSendsNothing) {
  found({3, 7, 12});
  select(7);
  view.cells[DigitCell::tempN2] = "5";
  view.setpointGroupsEnabled = true;
  clickReadingAll();
  EXPECT_EQ(view.log,
            (Log{"initialAll", "groups off", "readingAll " + s(msg::stopCaption()), "enDisPanel false",
                 "status " + s(msg::pollStarted()), "interval 1000", "timer on"}));
  EXPECT_TRUE(view.errors.empty());
  EXPECT_EQ(state.SelectedAddress, 7);
  EXPECT_EQ(poll.PollIndex, 1u);
  EXPECT_EQ(state.PendingCommand, 80);
  EXPECT_TRUE(view.allCellsZero());
  EXPECT_FALSE(view.setpointGroupsEnabled);
  EXPECT_TRUE(poll.running());
  EXPECT_EQ(exchange.txCount(), 0) << "the first request waits for the first tick";
}

TEST_F(PollTest, StopTakesItsStepsInOrder) {
  found({3});
  select(3);
  clickReadingAll();
  clickWFile();
  view.wFileChecked = true;
  view.dotTimer = true;
  view.dot = false;
  view.log.clear();
  clickReadingAll();
  EXPECT_EQ(view.log, (Log{"status " + s(msg::pollStopped()), "readingAll " + s(msg::readingAllCaption()),
                           "enDisPanel true", "wFile unticked", "wFile " + s(msg::recordCaption()),
                           "initialAll", "timer off", "dotTimer off", "dot shown"}));
  EXPECT_FALSE(poll.running());
  EXPECT_EQ(state.PendingCommand, 80) << "kept after the stop";
}

TEST_F(PollTest, ServesTheSelectedDeviceFirstThenTheListInOrder) {
  found({3, 7, 12});
  select(7);
  clickReadingAll();
  EXPECT_EQ(serve(5), (std::vector<int>{7, 12, 3, 7, 12}));
}

TEST_F(PollTest, ASilentDeviceIsAskedAgainAtTheNextTick) {
  found({3, 7, 12});
  select(3);
  clickReadingAll();
  EXPECT_EQ(tick(), 3);
  answer(panelReadings(3));
  EXPECT_EQ(tick(), 7);  // no answer
  EXPECT_EQ(tick(), 7);
  answer(panelReadings(7), /*corrupt=*/true);
  EXPECT_EQ(tick(), 7);
  answer(panelReadings(7));
  EXPECT_EQ(tick(), 12);
}

struct SilentCase {
  const char* what;
  std::vector<int> devices;
  int selected;
  std::set<int> silent;
  int skipAfter;  // 0: kSilentTicksBeforeSkip
  std::vector<int> asked;
};

TEST_F(PollTest, ASilentDeviceIsPassedOverAfterThreeTicksInARow) {
  const SilentCase cases[] = {
      {"every device answers", {3, 7, 12}, 7, {}, 0, {7, 12, 3, 7, 12, 3}},
      {"12 silent", {3, 7, 12}, 7, {12}, 0, {7, 12, 12, 12, 3, 7, 12, 12, 12, 3, 7}},
      {"the selected one silent", {3, 7, 12}, 7, {7}, 0, {7, 7, 7, 12, 3, 7, 7, 7, 12}},
      {"two neighbours silent", {3, 7, 12}, 3, {7, 12}, 0, {3, 7, 7, 7, 12, 12, 12, 3, 7}},
      {"every device silent", {3, 7}, 3, {3, 7}, 0, {3, 3, 3, 7, 7, 7, 3}},
      {"a single device, silent", {5}, 5, {5}, 0, {5, 5, 5, 5, 5}},
      {"passed over after one tick", {3, 7, 12}, 7, {12}, 1, {7, 12, 3, 7, 12, 3}},
  };
  for (const SilentCase& c : cases) {
    SCOPED_TRACE(c.what);
    poll.setSilentTicksBeforeSkip(c.skipAfter != 0 ? c.skipAfter : kSilentTicksBeforeSkip);
    found(c.devices);
    select(c.selected);
    clickReadingAll();
    std::vector<int> asked;
    for (std::size_t i = 0; i < c.asked.size(); ++i) {
      asked.push_back(tick());
      if (!c.silent.contains(asked.back())) answer(panelReadings(asked.back()));
    }
    EXPECT_EQ(asked, c.asked);
    clickReadingAll();
  }
}

TEST_F(PollTest, BadAnswersOnlyChangeTheOrderWhereThreeFallInARow) {
  found({3, 7, 12});
  select(3);
  clickReadingAll();
  std::mt19937 random(14);
  std::bernoulli_distribution badCrc(0.1);
  const std::vector<int> devices{3, 7, 12};
  std::size_t expected = 0;
  int failures = 0;
  int passedOver = 0;
  int retried = 0;
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(tick(), devices[expected]) << "tick " << i;
    const bool bad = badCrc(random);
    answer(panelReadings(devices[expected]), bad);
    // The order when every answer is handled, held back by each failure
    // until the third in a row.
    if (!bad || ++failures == kSilentTicksBeforeSkip) {
      passedOver += bad ? 1 : 0;
      retried += failures > 0 && !bad ? 1 : 0;
      expected = (expected + 1) % devices.size();
      failures = 0;
    }
  }
  EXPECT_GT(passedOver, 0) << "three failures in a row never fell";
  EXPECT_GT(retried, 100);
}

TEST_F(PollTest, ADeviceThatComesBackIsShownAndRecordedFromItsNextAnswer) {
  at(10, 4);
  found({3, 7, 12});
  for (const int a : {3, 7, 12}) recording.prepareRecordingFile(a);
  const auto lines = [this](int address) { return fileBytes(address).count("\r\n"); };
  select(12);
  clickReadingAll();
  clickWFile();
  ASSERT_TRUE(recording.recordingOn());

  bool off = true;
  const auto reply = [&](int address) { return address == 12 && off ? Reply::None : Reply::Good; };
  at(10, 5);
  EXPECT_EQ(serve(8, reply), (std::vector<int>{12, 12, 12, 3, 7, 12, 12, 12}));
  EXPECT_TRUE(view.allCellsZero()) << "12 has shown nothing yet";
  EXPECT_EQ(lines(3), 3) << "3 and 7 keep their rows";
  EXPECT_EQ(lines(7), 3);
  EXPECT_EQ(lines(12), 2);

  off = false;
  at(10, 6);
  EXPECT_EQ(serve(4, reply), (std::vector<int>{3, 7, 12, 3}));
  EXPECT_EQ(view.cellsText({DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4}),
            "0235");
  EXPECT_EQ(lines(12), 3);
  EXPECT_EQ(lines(3), 4);
  EXPECT_EQ(lines(7), 4);
}

TEST_F(PollTest, BytesWaitingAtATickHoldTheRequestBack) {
  found({3, 7});
  select(3);
  clickReadingAll();
  exchange.expectAnswer(5);
  EXPECT_EQ(tick(/*busy=*/2), 0);
  EXPECT_EQ(tick(), 3) << "the same device at the next quiet tick";
}

TEST_F(PollTest, AnAddressNotInTheListStartsAtTheFirstEntryAndShowsNothing) {
  found({3, 7});
  select(5);
  clickReadingAll();
  EXPECT_TRUE(view.errors.empty());
  EXPECT_EQ(serve(3), (std::vector<int>{3, 7, 3}));
  EXPECT_TRUE(view.allCellsZero());
}

TEST_F(PollTest, OneDeviceIsAskedAtEveryTick) {
  found({5});
  select(5);
  clickReadingAll();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tick(), 5);
    answer(panelReadings(5));
    EXPECT_EQ(poll.PollIndex, 0u);
  }
}

TEST_F(PollTest, StopThenStartAgainResetsTheCellsAndChoosesTheIndexAnew) {
  found({3, 7, 12});
  select(3);
  clickReadingAll();
  serve(2);  // 3 and 7; the display shows 3
  EXPECT_FALSE(view.allCellsZero());
  clickReadingAll();
  EXPECT_TRUE(view.allCellsZero());
  select(12);
  view.log.clear();
  clickReadingAll();
  EXPECT_EQ(view.log.front(), "initialAll");
  EXPECT_EQ(poll.PollIndex, 2u);
  EXPECT_EQ(serve(2), (std::vector<int>{12, 3}));
}

TEST_F(PollTest, AListClickDuringThePollSwitchesTheDisplayAtThatDevicesNextAnswer) {
  found({3, 7, 12});
  view.list = {deviceCaption(3), deviceCaption(7), deviceCaption(12)};
  select(7);
  clickReadingAll();
  ASSERT_EQ(tick(), 7);
  answer(panelReadings(7, 235));
  EXPECT_EQ(view.cellsText({DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4}),
            "0235");

  view.selectedRow = 0;
  session.selectListed(view.selectedCaption());
  EXPECT_EQ(state.SelectedAddress, 3);

  ASSERT_EQ(tick(), 12);
  answer(panelReadings(12, 500));
  EXPECT_EQ(view.cellsText({DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4}),
            "0235")
      << "7's digits stay";
  ASSERT_EQ(tick(), 3);
  answer(panelReadings(3, -12));
  EXPECT_EQ(view.cellsText({DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4}),
            "-012");
  EXPECT_EQ(tick(), 7) << "the order of polling is not affected";
}

TEST_F(PollTest, AnAnswerAfterTheStopIsStillShown) {
  found({3});
  select(3);
  clickReadingAll();
  ASSERT_EQ(tick(), 3);
  clickReadingAll();
  ASSERT_TRUE(view.allCellsZero());
  ReadingsResponse late = panelReadings(3, 235);
  late.statusByte = kBlinkStatus;
  answer(late);
  EXPECT_EQ(view.cellsText({DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3, DigitCell::tempN4}),
            "0235");
  EXPECT_TRUE(view.dotTimer) << "the blinking may come back";
}

TEST_F(PollTest, AFindDuringThePollGivesTheTimerBackAtThePollsInterval) {
  found({3});
  select(3);
  poll.resumeAfterFind();
  EXPECT_TRUE(view.log.empty()) << "no poll running: the timer stays as the find left it";
  clickReadingAll();
  // As a find after a scan at 750 ms leaves it.
  view.readTimer = false;
  view.readTimerInterval = 750;
  view.log.clear();
  poll.resumeAfterFind();
  EXPECT_EQ(view.log, (Log{"interval 1000", "timer on"}));
  EXPECT_EQ(tick(), 3);
}

TEST_F(PollTest, StartingDuringAScanTakesTheTimerOver) {
  // A scan running: Find reads "[Стоп]", readTimer ticks at the scan's pace.
  view.find = msg::stopCaption();
  view.readTimer = true;
  view.readTimerInterval = 500;
  state.PendingCommand = CmdProbe;
  exchange.expectAnswer(5);
  found({4});
  select(4);
  clickReadingAll();
  EXPECT_EQ(state.PendingCommand, 80) << "the scan branch of the tick no longer runs";
  EXPECT_EQ(view.readTimerInterval, 1000);
  EXPECT_TRUE(view.readTimer);
  EXPECT_EQ(view.find, msg::stopCaption());
  EXPECT_FALSE(view.panelEnabled);
  EXPECT_EQ(exchange.answerLength(), 5) << "until the first poll tick";
  EXPECT_EQ(tick(), 4);
}

}  // namespace
}  // namespace rs485::test
