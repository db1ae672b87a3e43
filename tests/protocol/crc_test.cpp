#include "protocol/crc.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace rs485 {
namespace {

struct CrcCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::uint16_t crc;
};

class CrcVectors : public ::testing::TestWithParam<CrcCase> {};

TEST_P(CrcVectors, MatchesReference) {
  const auto& c = GetParam();
  EXPECT_EQ(CRC(c.bytes), c.crc) << c.name;
}

// The last two rows are the classic MODBUS RTU examples, as published with
// the protocol (CRC sent low byte first: C5 CD and 76 87).
INSTANTIATE_TEST_SUITE_P(
    Reference, CrcVectors,
    ::testing::Values(CrcCase{"check value", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
                      CrcCase{"probe of 1", {0x01, 0x01}, 0xE0C1},
                      CrcCase{"probe of 247", {0xF7, 0x01}, 0x4086},
                      CrcCase{"read current of 1", {0x01, 0x50}, 0x1C00},
                      CrcCase{"change 5 to 7", {0x05, 0x02, 0x07}, 0x6321},
                      CrcCase{"ack from 1", {0x01, 0x01, 0x00}, 0x9021},
                      CrcCase{"read holding registers", {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},
                      CrcCase{"modbus published example", {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// A negative length cannot be written any more; an empty view of real bytes
// and one of none both stand for "nothing to sum".
TEST(Crc, EmptyGivesInitialValue) {
  const std::uint8_t byte = 0x42;
  EXPECT_EQ(CRC(std::span(&byte, 0)), 0xFFFF);
  EXPECT_EQ(CRC(std::span<const std::uint8_t>{}), 0xFFFF);
}

TEST(Crc, FrameWithItsOwnCrcAppendedLeavesZero) {
  // A property of this CRC: running it over payload + CRC (low first) gives 0.
  std::uint8_t frame[] = {0x2A, 0x50, 0x01, 0x02, 0x03, 0, 0};
  const auto crc = CRC(std::span(frame).first(5));
  frame[5] = crcLow(crc);
  frame[6] = crcHigh(crc);
  EXPECT_EQ(CRC(frame), 0);
}

}  // namespace
}  // namespace rs485
