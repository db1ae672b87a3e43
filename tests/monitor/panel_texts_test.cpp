#include "monitor/panel_texts.h"

#include <gtest/gtest.h>

#include "tests/support/sample_readings.h"

namespace rs485 {
namespace {

using enum DigitCell;

QString read(const PanelTexts& panel, std::initializer_list<DigitCell> cells) {
  QString s;
  for (const DigitCell cell : cells) s += panel[cell];
  return s;
}

ReadingsResponse sample() {
  return test::readingsOf(7, {.temperature = -123,  // -12,3
                              .timeMinutes = 5999,  // 99:59
                              .step = 7,
                              .cycles = 5,
                              .numStep = 42,
                              .setTemperature = 9999,  // 999,9
                              .setTimeMinutes = 61,    // 01:01
                              .statusByte = 0});
}

TEST(PanelAfter, AnAnswerFillsEveryGroupOfCells) {
  const PanelTexts panel = panelAfter(PanelTexts::zeros(), sample());
  EXPECT_EQ(read(panel, {tempN1, tempN2, tempN3, tempN4}), "-123");
  EXPECT_EQ(read(panel, {hoursH, hoursL, minutesH, minutesL}), "9959");
  EXPECT_EQ(read(panel, {sectionH, sectionL}), "07");
  EXPECT_EQ(read(panel, {hCycle, mCycle, lCycle}), "005");
  EXPECT_EQ(read(panel, {numStepH, numStepL}), "42");
  EXPECT_EQ(read(panel, {n1_temp, n2_temp, n3_temp, n4_temp}), "9999");
  EXPECT_EQ(read(panel, {hhTime, hlTime, lhTime, llTime}), "0101");
}

TEST(PanelAfter, ACycleCountOfZeroShowsEndAndLeavesTheRest) {
  const PanelTexts before = panelAfter(PanelTexts::zeros(), sample());
  ReadingsResponse ended = sample();
  ended.cycles = 0;
  ended.temperature = 999;
  ended.step = 3;
  PanelTexts expected = before;
  expected[hCycle] = "E";
  expected[mCycle] = "n";
  expected[lCycle] = "d";
  EXPECT_EQ(panelAfter(before, ended), expected);
}

// A value too long for its cells keeps what they showed; the row recorded
// from the panel then carries the digits shown before, as the operator saw.
TEST(PanelAfter, TooLongValuesKeepTheirCellsAndTheRowFollowsThePanel) {
  const PanelTexts before = panelAfter(PanelTexts::zeros(), test::panelReadings(7, 235));
  ReadingsResponse tooLong = sample();
  tooLong.temperature = 10000;
  tooLong.step = 255;
  tooLong.timeMinutes = 6000;  // 100 h: hours as before, minutes 00
  const PanelTexts after = panelAfter(before, tooLong);
  EXPECT_EQ(read(after, {tempN1, tempN2, tempN3, tempN4}), read(before, {tempN1, tempN2, tempN3, tempN4}));
  EXPECT_EQ(read(after, {hoursH, hoursL}), read(before, {hoursH, hoursL}));
  EXPECT_EQ(read(after, {minutesH, minutesL}), "00");
  EXPECT_EQ(read(after, {hCycle, mCycle, lCycle}), "005");
  const RowTexts row = rowTexts(after);
  EXPECT_EQ(row.temperature, "023,5");
  EXPECT_EQ(row.step, read(before, {sectionH, sectionL}));
}

TEST(RowTexts, ReadStepAndTemperatureOffThePanel) {
  struct Case {
    int temperature;
    int step;
    const char* rowTemperature;
    const char* rowStep;
  };
  for (const Case c : {Case{235, 3, "023,5", "03"}, Case{-5, 12, "-00,5", "12"},
                       Case{-123, 99, "-12,3", "99"}, Case{9999, 0, "999,9", "00"}}) {
    ReadingsResponse r = sample();
    r.temperature = static_cast<std::int16_t>(c.temperature);
    r.step = static_cast<std::uint8_t>(c.step);
    const RowTexts row = rowTexts(panelAfter(PanelTexts::zeros(), r));
    EXPECT_EQ(row.temperature, c.rowTemperature) << c.temperature;
    EXPECT_EQ(row.step, c.rowStep) << c.step;
  }
}

}  // namespace
}  // namespace rs485
