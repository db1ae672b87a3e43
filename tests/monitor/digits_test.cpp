#include "monitor/digits.h"

#include <gtest/gtest.h>

#include <QString>

namespace rs485 {
namespace {

// Cells that no rule would write, so "unchanged" cannot pass by accident.
const TemperatureCells kPreviousTemperature{"7", "6", "5", "4"};
const TwoCells kPreviousTwo{"8", "3"};
const ThreeCells kPreviousThree{"9", "1", "2"};

QString joined(const auto& cells) {
  QString s;
  for (const QString& c : cells) s += c;
  return s;
}

TEST(ShowTemperature, SpreadsTenthsOverFourCells) {
  struct Case {
    int tenths;
    const char* cells;
  };
  for (const Case c :
       {Case{0, "0000"}, Case{9, "0009"}, Case{10, "0010"}, Case{99, "0099"}, Case{100, "0100"},
        Case{235, "0235"}, Case{999, "0999"}, Case{1000, "1000"}, Case{9999, "9999"}, Case{-1, "-001"},
        Case{-5, "-005"}, Case{-9, "-009"}, Case{-10, "-010"}, Case{-99, "-099"}, Case{-100, "-100"},
        Case{-123, "-123"}, Case{-999, "-999"}}) {
    EXPECT_EQ(joined(showTemperature(c.tenths, kPreviousTemperature)), c.cells) << c.tenths;
  }
}

TEST(ShowTemperature, TooLongLeavesTheCellsAsTheyWere) {
  for (int tenths : {10000, 32767, -1000, -32768}) {
    EXPECT_EQ(showTemperature(tenths, kPreviousTemperature), kPreviousTemperature) << tenths;
  }
}

TEST(ShowTwoDigits, OneOrTwoCharactersElseUnchanged) {
  struct Case {
    int value;
    const char* cells;
  };
  for (const Case c : {Case{0, "00"}, Case{7, "07"}, Case{9, "09"}, Case{10, "10"}, Case{59, "59"},
                       Case{99, "99"}, Case{100, "83"}, Case{255, "83"}, Case{6000, "83"}}) {
    EXPECT_EQ(joined(showTwoDigits(c.value, kPreviousTwo)), c.cells) << c.value;
  }
}

TEST(ShowTwoDigits, TimeSplitIntoHoursAndMinutes) {
  struct Case {
    int minutes;
    const char* hours;
    const char* mins;
  };
  for (const Case c : {Case{0, "00", "00"}, Case{59, "00", "59"}, Case{60, "01", "00"},
                       Case{5999, "99", "59"}, Case{6000, "83", "00"}}) {
    EXPECT_EQ(joined(showTwoDigits(c.minutes / 60, kPreviousTwo)), c.hours) << c.minutes;
    EXPECT_EQ(joined(showTwoDigits(c.minutes % 60, kPreviousTwo)), c.mins) << c.minutes;
  }
}

TEST(ShowThreeDigits, PadsWithZerosElseUnchanged) {
  struct Case {
    int value;
    const char* cells;
  };
  for (const Case c : {Case{0, "000"}, Case{5, "005"}, Case{42, "042"}, Case{99, "099"}, Case{100, "100"},
                       Case{255, "255"}, Case{1000, "912"}}) {
    EXPECT_EQ(joined(showThreeDigits(c.value, kPreviousThree)), c.cells) << c.value;
  }
}

TEST(RecordedTemperature, FillsTheTemplate) {
  struct Case {
    int tenths;
    const char* text;
  };
  for (const Case c : {Case{0, "000,0"}, Case{5, "000,5"}, Case{9, "000,9"}, Case{12, "001,2"},
                       Case{99, "009,9"}, Case{123, "012,3"}, Case{235, "023,5"}, Case{1234, "123,4"},
                       Case{9999, "999,9"}, Case{10000, "000,0"}, Case{32767, "000,0"}, Case{-1, "-00,1"},
                       Case{-5, "-00,5"}, Case{-12, "-01,2"}, Case{-99, "-09,9"}, Case{-123, "-12,3"},
                       Case{-999, "-99,9"}, Case{-1000, "-00,0"}, Case{-32768, "-00,0"}}) {
    EXPECT_EQ(recordedTemperatureText(c.tenths), c.text) << c.tenths;
  }
}

// Where the cells can show a value, the row reads what they read.
TEST(RecordedTemperature, MatchesTheCellsWhereTheyCanShowIt) {
  for (int tenths = -999; tenths <= 9999; ++tenths) {
    const TemperatureCells cells = showTemperature(tenths, kPreviousTemperature);
    const QString shown = cells[0] + cells[1] + cells[2] + "," + cells[3];
    ASSERT_EQ(recordedTemperatureText(tenths), shown) << tenths;
  }
}

TEST(RecordedStep, LeadingZeroBelowTenThreeDigitsFromHundred) {
  struct Case {
    int step;
    const char* text;
  };
  for (const Case c : {Case{0, "00"}, Case{7, "07"}, Case{9, "09"}, Case{10, "10"}, Case{99, "99"},
                       Case{100, "100"}, Case{255, "255"}}) {
    EXPECT_EQ(recordedStepText(c.step), c.text) << c.step;
  }
}

}  // namespace
}  // namespace rs485
