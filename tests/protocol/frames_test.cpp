#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace rs485 {
namespace {

std::vector<std::uint8_t> head(const TxFrame& frame, int n) { return {frame.begin(), frame.begin() + n}; }

TEST(Frames, WorkedRequests) {
  EXPECT_EQ(head(buildBusRequest(1, CmdProbe), 4), (std::vector<std::uint8_t>{0x01, 0x01, 0xC1, 0xE0}));
  EXPECT_EQ(head(buildBusRequest(247, CmdProbe), 4), (std::vector<std::uint8_t>{0xF7, 0x01, 0x86, 0x40}));
  EXPECT_EQ(head(buildBusRequest(1, CmdReadCurrent), 4), (std::vector<std::uint8_t>{0x01, 0x50, 0x00, 0x1C}));
  EXPECT_EQ(head(buildAddressChangeRequest(5, 7), 5),
            (std::vector<std::uint8_t>{0x05, 0x02, 0x07, 0x21, 0x63}));
}

TEST(Frames, FourByteRequestLeavesFifthByteClear) { EXPECT_EQ(buildBusRequest(200, CmdReadCurrent)[4], 0); }

// A request's length follows from its command byte alone: the simulator and
// serve split a stream of requests by it.
static_assert(requestLength(CmdProbe) == 4 && requestLength(CmdReadCurrent) == 4);
static_assert(requestLength(CmdSetAddress) == 5 && requestLength(0x03) == 0 && requestLength(0xFF) == 0);

TEST(Frames, OnlyLowBytesOfArgumentsAreSent) {
  // The command byte is the low byte of PendingCommand, whatever its value.
  EXPECT_EQ(buildBusRequest(0x101, 0x150), buildBusRequest(0x01, 0x50));
}

struct AcceptCase {
  const char* name;
  std::vector<std::uint8_t> frame;
  bool accepted;
};

class FrameAcceptance : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(FrameAcceptance, CrcDecides) {
  const auto& c = GetParam();
  EXPECT_EQ(frameCrcMatches(c.frame), c.accepted) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameAcceptance,
    ::testing::Values(AcceptCase{"ack from 1", {0x01, 0x01, 0x00, 0x21, 0x90}, true},
                      AcceptCase{"ack with CRC bytes swapped", {0x01, 0x01, 0x00, 0x90, 0x21}, false},
                      AcceptCase{"ack with a flipped status bit", {0x01, 0x01, 0x01, 0x21, 0x90}, false},
                      AcceptCase{"probe of 1", {0x01, 0x01, 0xC1, 0xE0}, true},
                      AcceptCase{"two bytes are no frame", {0xFF, 0xFF}, false},
                      AcceptCase{"nothing", {}, false}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
}  // namespace rs485
