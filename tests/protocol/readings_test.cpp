#include "protocol/readings.h"

#include <gtest/gtest.h>

#include <array>

#include "protocol/frames.h"
#include "tests/support/sample_readings.h"

namespace rs485 {
namespace {

std::array<std::uint8_t, 16> frameWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  std::array<std::uint8_t, 16> frame{};
  for (auto [index, value] : bytes) frame[static_cast<std::size_t>(index)] = value;
  appendCrc(frame, 14);
  return frame;
}

TEST(Readings, SignedTemperaturesAreTwosComplementBigEndian) {
  struct Case {
    std::uint8_t hi, lo;
    int expected;
  };
  for (auto c : {Case{0xFF, 0x38, -200}, Case{0x00, 0x00, 0}, Case{0x7F, 0xFF, 32767},
                 Case{0x80, 0x00, -32768}, Case{0xFF, 0xFF, -1}, Case{0x27, 0x0F, 9999}}) {
    const auto frame = frameWith({{2, c.hi}, {3, c.lo}, {9, c.hi}, {10, c.lo}});
    const auto r = decodeReadingsResponse(frame.data());
    EXPECT_EQ(r.temperature, c.expected);
    EXPECT_EQ(r.setTemperature, c.expected);
  }
}

TEST(Readings, UnsignedTimesAreBigEndian) {
  struct Case {
    std::uint8_t hi, lo;
    unsigned expected;
  };
  for (auto c :
       {Case{0x00, 0x82, 130}, Case{0xFF, 0xFF, 65535}, Case{0x80, 0x00, 32768}, Case{0x17, 0x70, 6000}}) {
    const auto frame = frameWith({{4, c.hi}, {5, c.lo}, {11, c.hi}, {12, c.lo}});
    const auto r = decodeReadingsResponse(frame.data());
    EXPECT_EQ(r.timeMinutes, c.expected);
    EXPECT_EQ(r.setTimeMinutes, c.expected);
  }
}

TEST(Readings, EveryByteLandsInItsField) {
  const auto frame = frameWith({{0, 0x11}, {1, 0x50}, {6, 0xFF}, {7, 0x00}, {8, 0x80}, {13, 0x81}});
  const auto r = decodeReadingsResponse(frame.data());
  EXPECT_EQ(r.address, 0x11);
  EXPECT_EQ(r.command, 0x50);
  EXPECT_EQ(r.step, 255);
  EXPECT_EQ(r.cycles, 0);
  EXPECT_EQ(r.numStep, 128);
  EXPECT_EQ(r.statusByte, 0x81);
}

TEST(Readings, EncodeThenDecodeKeepsEveryField) {
  const ReadingsResponse in = test::readingsOf(42, {.temperature = -1234,
                                                    .timeMinutes = 5999,
                                                    .step = 7,
                                                    .cycles = 200,
                                                    .numStep = 12,
                                                    .setTemperature = 2350,
                                                    .setTimeMinutes = 130,
                                                    .statusByte = kBlinkStatus});
  const auto frame = test::encodedReadings(in);
  ASSERT_TRUE(frameCrcMatches(frame));
  const auto out = decodeReadingsResponse(frame.data());
  EXPECT_EQ(out.address, in.address);
  EXPECT_EQ(out.temperature, in.temperature);
  EXPECT_EQ(out.timeMinutes, in.timeMinutes);
  EXPECT_EQ(out.step, in.step);
  EXPECT_EQ(out.cycles, in.cycles);
  EXPECT_EQ(out.numStep, in.numStep);
  EXPECT_EQ(out.setTemperature, in.setTemperature);
  EXPECT_EQ(out.setTimeMinutes, in.setTimeMinutes);
  EXPECT_EQ(out.statusByte, in.statusByte);
}

TEST(Status, WorkedAcknowledgement) {
  std::array<std::uint8_t, 5> frame{};
  encodeStatusResponse({1, CmdProbe, 0}, frame.data());
  EXPECT_EQ(frame, (std::array<std::uint8_t, 5>{0x01, 0x01, 0x00, 0x21, 0x90}));
  const auto s = decodeStatusResponse(frame.data());
  EXPECT_EQ(s.address, 1);
  EXPECT_EQ(s.command, 1);
  EXPECT_EQ(s.status, 0);
}

}  // namespace
}  // namespace rs485
