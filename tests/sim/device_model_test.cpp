#include "sim/device_model.h"

#include <gtest/gtest.h>

namespace rs485::sim {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

Program twoSteps() {
  Program p;
  p.startTemperature = 200;
  p.rampTenthsPerMinute = 60;
  p.steps = {{260, 2}, {-40, 1}};
  p.cycles = 2;
  p.rampStatus = 0x01;
  p.endStatus = 0x00;
  return p;
}

TEST(DeviceModel, RampsToTheSetpointThenHoldsWithTheClockRunning) {
  DeviceModel m(twoSteps());
  ReadingsResponse r = m.readings(5);
  EXPECT_EQ(r.address, 5);
  EXPECT_EQ(r.command, 0x50);
  EXPECT_EQ(r.temperature, 200);
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(r.numStep, 2);
  EXPECT_EQ(r.cycles, 2);
  EXPECT_EQ(r.setTemperature, 260);
  EXPECT_EQ(r.setTimeMinutes, 2);
  EXPECT_EQ(r.statusByte, 0x01);
  EXPECT_EQ(r.timeMinutes, 0);

  m.advance(seconds(30));  // 60 tenths a minute: half way
  r = m.readings(5);
  EXPECT_EQ(r.temperature, 230);
  EXPECT_EQ(r.statusByte, 0x01);

  m.advance(seconds(30));
  r = m.readings(5);
  EXPECT_EQ(r.temperature, 260);
  EXPECT_EQ(r.statusByte, kBlinkStatus);
  EXPECT_EQ(r.timeMinutes, 0);

  m.advance(seconds(90));
  r = m.readings(5);
  EXPECT_EQ(r.timeMinutes, 1);
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(r.statusByte, kBlinkStatus);
}

TEST(DeviceModel, StepsThenCyclesCountDownToTheEnd) {
  DeviceModel m(twoSteps());
  m.advance(minutes(3));  // ramp 1 min + hold 2 min: step 2 begins, cooling below zero
  ReadingsResponse r = m.readings(1);
  EXPECT_EQ(r.step, 2);
  EXPECT_EQ(r.setTemperature, -40);
  EXPECT_EQ(r.setTimeMinutes, 1);
  EXPECT_EQ(r.statusByte, 0x01);
  EXPECT_EQ(r.cycles, 2);

  m.advance(minutes(5));  // 300 tenths down at 60 a minute: reaches -40 exactly
  r = m.readings(1);
  EXPECT_EQ(r.temperature, -40);
  EXPECT_EQ(r.statusByte, kBlinkStatus);

  m.advance(minutes(1));  // hold done: the second cycle starts at step 1
  r = m.readings(1);
  EXPECT_EQ(r.step, 1);
  EXPECT_EQ(r.cycles, 1);
  EXPECT_FALSE(m.ended());

  m.advance(minutes(60));
  r = m.readings(1);
  EXPECT_TRUE(m.ended());
  EXPECT_EQ(r.cycles, 0);
  EXPECT_EQ(r.statusByte, 0x00);
  EXPECT_EQ(r.temperature, 200) << "after the end it cools back to where it started";
}

TEST(DeviceModel, OneLongAdvanceEqualsManyShortOnes) {
  // 4 min 20.333 s crosses a ramp, a hold, a step change and part of a ramp.
  DeviceModel once(twoSteps());
  once.advance(milliseconds(260333));
  DeviceModel often(twoSteps());
  for (int i = 0; i < 260; ++i) often.advance(seconds(1));
  often.advance(milliseconds(333));
  often.advance(milliseconds(-5000));  // time never runs backwards
  const auto a = once.readings(1);
  const auto b = often.readings(1);
  EXPECT_EQ(a.temperature, b.temperature);
  EXPECT_EQ(a.timeMinutes, b.timeMinutes);
  EXPECT_EQ(a.step, b.step);
  EXPECT_EQ(a.cycles, b.cycles);
  EXPECT_EQ(a.statusByte, b.statusByte);
  EXPECT_EQ(a.step, 2);
  EXPECT_EQ(a.temperature, 260 - 80) << "80 s of cooling at one tenth a second";
}

TEST(DeviceModel, ZeroLengthStepsAndNoCyclesEndAtOnce) {
  Program p = twoSteps();
  p.cycles = 0;
  EXPECT_TRUE(DeviceModel(p).ended());
  EXPECT_EQ(DeviceModel(p).readings(1).cycles, 0);

  p.cycles = 3;
  p.steps = {{200, 0}};  // already at the setpoint, no hold
  DeviceModel m(p);
  m.advance(milliseconds(1));
  EXPECT_TRUE(m.ended());

  p.rampTenthsPerMinute = 0;
  EXPECT_THROW(DeviceModel{p}, std::invalid_argument);
}

TEST(DeviceModel, RandomProgramsFollowTheSeed) {
  const Program a = Program::random(42);
  const Program b = Program::random(42);
  ASSERT_EQ(a.steps.size(), b.steps.size());
  for (std::size_t i = 0; i < a.steps.size(); ++i) {
    EXPECT_EQ(a.steps[i].setTemperature, b.steps[i].setTemperature);
    EXPECT_EQ(a.steps[i].setTimeMinutes, b.steps[i].setTimeMinutes);
  }
  EXPECT_EQ(a.cycles, b.cycles);

  int differing = 0;
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    const Program p = Program::random(mixSeed(7, seed));
    const Program q = Program::random(mixSeed(8, seed));
    if (p.steps.size() != q.steps.size() || p.steps[0].setTemperature != q.steps[0].setTemperature)
      ++differing;
    EXPECT_GE(p.cycles, 1);
    EXPECT_GE(p.steps.size(), 2u);
    for (const auto& s : p.steps) {
      EXPECT_GT(s.setTemperature, -1000) << "shown on the display";
      EXPECT_LT(s.setTemperature, 10000);
    }
  }
  EXPECT_GT(differing, 15);
}

}  // namespace
}  // namespace rs485::sim
