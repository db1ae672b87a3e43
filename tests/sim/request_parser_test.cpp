#include "sim/request_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/frames.h"
#include "tests/sim/requests.h"

namespace rs485::sim {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using Kind = ParsedItem::Kind;

using test::change;
using test::probe;
using test::readCurrent;
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// What the parser makes of some writes, each one arriving `gap` after the last.
std::vector<ParsedItem> parse(const std::vector<Bytes>& writes, milliseconds gap = milliseconds(1)) {
  RequestParser parser;
  std::vector<ParsedItem> out;
  auto t = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  for (const auto& w : writes) {
    parser.feed(w.data(), w.size(), t, out);
    t += gap;
  }
  return out;
}

struct ParseCase {
  const char* name;
  std::vector<Bytes> writes;
  std::vector<std::pair<Kind, Bytes>> expected;
};

class Parsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parsing, FindsRequestsAndDropsTheRest) {
  const ParseCase& c = GetParam();
  const auto items = parse(c.writes);
  ASSERT_EQ(items.size(), c.expected.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].kind, c.expected[i].first) << "item " << i;
    EXPECT_EQ(items[i].bytes, c.expected[i].second) << "item " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    RequestParser, Parsing,
    ::testing::Values(
        ParseCase{"probe", {probe(1)}, {{Kind::Request, probe(1)}}},
        ParseCase{"readings_request", {readCurrent(247)}, {{Kind::Request, readCurrent(247)}}},
        ParseCase{"address_change", {change(5, 7)}, {{Kind::Request, {0x05, 0x02, 0x07, 0x21, 0x63}}}},
        ParseCase{"byte_by_byte", {{0x01}, {0x50}, {0x00}, {0x1C}}, {{Kind::Request, readCurrent(1)}}},
        ParseCase{
            "back_to_back_in_one_write",
            {cat({probe(3), change(3, 9), readCurrent(9)})},
            {{Kind::Request, probe(3)}, {Kind::Request, change(3, 9)}, {Kind::Request, readCurrent(9)}}},
        ParseCase{"garbage_then_probe",
                  {cat({{0xFF, 0x00, 0x13}, probe(2)})},
                  {{Kind::Garbage, {0xFF, 0x00, 0x13}}, {Kind::Request, probe(2)}}},
        ParseCase{"partial_probe_then_probe",
                  {cat({{0x01, 0x01, 0xC1}, probe(1)})},
                  {{Kind::Garbage, {0x01, 0x01, 0xC1}}, {Kind::Request, probe(1)}}},
        ParseCase{"looks_like_a_request_start",
                  {cat({{0x07, 0x50}, readCurrent(7)})},
                  {{Kind::Garbage, {0x07, 0x50}}, {Kind::Request, readCurrent(7)}}},
        ParseCase{"bad_crc_is_no_request",
                  {{0x01, 0x01, 0xE0, 0xC1}},
                  {{Kind::Garbage, {0x01, 0x01, 0xE0}}}},  // C1 could still start a frame
        ParseCase{"unknown_command", {{0x01, 0x03, 0x00, 0x00}}, {{Kind::Garbage, {0x01, 0x03, 0x00}}}},
        ParseCase{"answer_shaped_bytes_are_skipped",
                  {cat({{0x01, 0x01, 0x00, 0x21, 0x90}, probe(4)})},
                  {{Kind::Garbage, {0x01, 0x01, 0x00, 0x21, 0x90}}, {Kind::Request, probe(4)}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestParser, QuietLineGivesUpAPartialFrame) {
  const Bytes p = probe(1);
  // The same two halves make a probe when they follow closely...
  auto items = parse({{p[0], p[1]}, {p[2], p[3]}}, milliseconds(15));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, Kind::Request);
  // ...and none once the line has been quiet for 20 ms between them.
  items = parse({{p[0], p[1]}, {p[2], p[3]}, probe(2)}, milliseconds(25));
  ASSERT_GE(items.size(), 2u);
  EXPECT_EQ(items.front().kind, Kind::Garbage);
  EXPECT_EQ(items.front().bytes, (Bytes{p[0], p[1]}));
  for (std::size_t i = 0; i + 1 < items.size(); ++i) EXPECT_EQ(items[i].kind, Kind::Garbage) << i;
  EXPECT_EQ(items.back().kind, Kind::Request);
  EXPECT_EQ(items.back().bytes, probe(2));
}

TEST(RequestParser, DeadlineAndExpiry) {
  RequestParser parser(milliseconds(20));
  std::vector<ParsedItem> out;
  EXPECT_FALSE(parser.deadline());
  const auto t0 = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  const Bytes half{0x01, 0x01};
  parser.feed(half.data(), half.size(), t0, out);
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(parser.deadline());
  EXPECT_EQ(*parser.deadline(), t0 + milliseconds(20));
  parser.expire(t0 + milliseconds(19), out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(parser.pending(), 2u);
  parser.expire(t0 + milliseconds(20), out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].kind, Kind::Garbage);
  EXPECT_EQ(parser.pending(), 0u);
  EXPECT_FALSE(parser.deadline());
}

TEST(RequestParser, RequestFields) {
  const auto items = parse({change(17, 100)});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].address(), 17);
  EXPECT_EQ(items[0].command(), CmdSetAddress);
  EXPECT_EQ(items[0].newAddress(), 100);
}

}  // namespace
}  // namespace rs485::sim
