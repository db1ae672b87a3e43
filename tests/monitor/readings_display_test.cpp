#include <gtest/gtest.h>

#include <map>

#include "tests/monitor/monitor_rig.h"

namespace rs485::test {
namespace {

const std::vector<DigitCell> kTemp{DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3,
                                   DigitCell::tempN4};
const std::vector<DigitCell> kTime{DigitCell::hoursH, DigitCell::hoursL, DigitCell::minutesH,
                                   DigitCell::minutesL};
const std::vector<DigitCell> kStep{DigitCell::sectionH, DigitCell::sectionL};
const std::vector<DigitCell> kCycle{DigitCell::hCycle, DigitCell::mCycle, DigitCell::lCycle};

class DisplayTest : public MonitorRig {
 protected:
  // Polling 7 (selected) and 9; the next answer is 7's.
  void SetUp() override {
    found({7, 9});
    select(7);
    clickReadingAll();
    view.log.clear();
  }
  // The answer of the device at PollIndex, straight into the display.
  void show(const ReadingsResponse& r) { display.showReadings(r); }
};

TEST_F(DisplayTest, AFullAnswerBoxByBox) {
  show(readingsOf(7, {.temperature = -123,  // -12,3
                      .timeMinutes = 5999,  // 99:59
                      .step = 7,
                      .cycles = 5,
                      .numStep = 42,
                      .setTemperature = 9999,  // 999,9
                      .setTimeMinutes = 61,    // 01:01
                      .statusByte = 0}));
  const std::map<DigitCell, QString> expected = {
      {DigitCell::tempN1, "-"},   {DigitCell::tempN2, "1"},   {DigitCell::tempN3, "2"},
      {DigitCell::tempN4, "3"},   {DigitCell::hoursH, "9"},   {DigitCell::hoursL, "9"},
      {DigitCell::minutesH, "5"}, {DigitCell::minutesL, "9"}, {DigitCell::sectionH, "0"},
      {DigitCell::sectionL, "7"}, {DigitCell::numStepH, "4"}, {DigitCell::numStepL, "2"},
      {DigitCell::hCycle, "0"},   {DigitCell::mCycle, "0"},   {DigitCell::lCycle, "5"},
      {DigitCell::n1_temp, "9"},  {DigitCell::n2_temp, "9"},  {DigitCell::n3_temp, "9"},
      {DigitCell::n4_temp, "9"},  {DigitCell::hhTime, "0"},   {DigitCell::hlTime, "1"},
      {DigitCell::lhTime, "0"},   {DigitCell::llTime, "1"}};
  EXPECT_EQ(view.cells, expected);
  EXPECT_EQ(poll.PollIndex, 1u);
}

TEST_F(DisplayTest, ValuesTooLongForTheirBoxesLeaveThemAndTheRestIsShown) {
  show(panelReadings(7, 235));
  show(panelReadings(9));  // back to 7
  ReadingsResponse r = panelReadings(7, 10000);
  r.timeMinutes = 6000;
  r.step = 255;
  r.numStep = 100;
  r.setTemperature = -1000;
  r.cycles = 255;
  show(r);
  EXPECT_EQ(view.cellsText(kTemp), "0235");
  EXPECT_EQ(view.cellsText(kTime), "0200") << "hours as before, minutes 00";
  EXPECT_EQ(view.cellsText(kStep), "03");
  EXPECT_EQ(view.cellsText({DigitCell::numStepH, DigitCell::numStepL}), "12");
  EXPECT_EQ(view.cellsText({DigitCell::n1_temp, DigitCell::n2_temp, DigitCell::n3_temp, DigitCell::n4_temp}),
            "1500");
  EXPECT_EQ(view.cellsText(kCycle), "255");
}

TEST_F(DisplayTest, CyclesZeroShowsEndAndNothingElse) {
  show(panelReadings(7, 235));
  show(panelReadings(9));
  const auto before = view.cells;
  ReadingsResponse r = panelReadings(7, 999);
  r.cycles = 0;
  r.timeMinutes = 1;
  r.statusByte = kBlinkStatus;
  show(r);
  auto expected = before;
  expected[DigitCell::hCycle] = "E";
  expected[DigitCell::mCycle] = "n";
  expected[DigitCell::lCycle] = "d";
  EXPECT_EQ(view.cells, expected);
  EXPECT_TRUE(view.dotTimer) << "the blinking is decided before the cycle count";
  EXPECT_EQ(poll.PollIndex, 1u);
}

TEST_F(DisplayTest, TheStatusByteBlinksOnExactly0x80) {
  struct Case {
    std::uint8_t status;
    bool blinking;
  };
  for (const Case c :
       {Case{0x80, true}, Case{0x81, false}, Case{0xC0, false}, Case{0x00, false}, Case{0x7F, false}}) {
    view.dotTimer = !c.blinking;
    view.dot = false;
    ReadingsResponse r = panelReadings(7);
    r.statusByte = c.status;
    show(r);
    EXPECT_EQ(view.dotTimer, c.blinking) << int{c.status};
    if (!c.blinking) {
      EXPECT_TRUE(view.dot) << int{c.status};
    }
    show(panelReadings(9));
  }
}

TEST_F(DisplayTest, AnAnswerOfADeviceNotDisplayedChangesNoBoxAndLeavesTheBlinking) {
  ReadingsResponse own = panelReadings(7, 235);
  own.statusByte = kBlinkStatus;
  show(own);
  view.dot = false;  // a dotTimer tick hid the colon
  view.log.clear();
  const auto before = view.cells;
  ReadingsResponse other = panelReadings(9, -55);
  other.statusByte = 0;
  other.cycles = 0;
  show(other);
  EXPECT_EQ(view.cells, before);
  EXPECT_TRUE(view.log.empty());
  EXPECT_TRUE(view.dotTimer);
  EXPECT_FALSE(view.dot);
  EXPECT_EQ(poll.PollIndex, 0u) << "but the poll moves on";
}

TEST_F(DisplayTest, AnAnswerNamingAnotherDeviceThanTheEntryAtPollIndexGoesNowhere) {
  // A poll started again may stand at another entry than the request in
  // flight: 9's answer is not 7's, and the poll waits for 7.
  show(panelReadings(9, 777));
  EXPECT_EQ(view.cellsText(kTemp), "0000");
  EXPECT_EQ(poll.PollIndex, 0u);
  EXPECT_EQ(exchange.frame().size(), 0);
  show(panelReadings(7, 321));
  EXPECT_EQ(view.cellsText(kTemp), "0321");
  EXPECT_EQ(poll.PollIndex, 1u);
}

TEST_F(DisplayTest, TheReceiveBufferIsClearedInEveryCase) {
  for (std::uint8_t cycles : {std::uint8_t{42}, std::uint8_t{0}}) {
    for (int i = 0; i < 2; ++i) {  // displayed, then not displayed
      ReadingsResponse r = panelReadings(7);
      r.cycles = cycles;
      show(r);
      EXPECT_EQ(exchange.frame().size(), 0);
      EXPECT_TRUE(std::ranges::all_of(exchange.receiveBuffer(), [](std::uint8_t b) { return b == 0; }));
    }
  }
}

TEST_F(DisplayTest, DotTimerTicksShowAndHideTheColon) {
  display.dotTimerTimer();
  EXPECT_FALSE(view.dot);
  display.dotTimerTimer();
  EXPECT_TRUE(view.dot);
}

}  // namespace
}  // namespace rs485::test
