// The Telnet side of a serial device server, without a socket: escaping,
// the option negotiation, and sequences split across reads.

#include "link/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rs485;
using namespace rs485::telnet;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Fed {
  Bytes data;
  Bytes reply;
};

// Feeds `bytes` to a client that has made its opening offer, cut into pieces
// at the given offsets.
Fed feedInPieces(Client& client, const Bytes& bytes, const std::vector<std::size_t>& cuts) {
  Fed fed;
  std::size_t from = 0;
  std::vector<std::size_t> ends = cuts;
  ends.push_back(bytes.size());
  for (const std::size_t end : ends) {
    client.feed(std::span(bytes).subspan(from, end - from), fed.data, fed.reply);
    from = end;
  }
  return fed;
}

Bytes joined(const Bytes& first, const Bytes& second) {
  Bytes both;
  for (const Bytes* part : {&first, &second}) {
    for (const std::uint8_t byte : *part) both.push_back(byte);
  }
  return both;
}

Client opened() {
  Client client;
  client.opening();
  return client;
}

}  // namespace

TEST(TelnetEscaping, DoublesEveryFfAndNothingElse) {
  struct Case {
    Bytes data;
    Bytes escaped;
  };
  const Case cases[] = {
      {{}, {}},
      {{0x01, 0x0D, 0x00, 0x0D, 0x0A}, {0x01, 0x0D, 0x00, 0x0D, 0x0A}},
      {{0xFF}, {0xFF, 0xFF}},
      {{0x03, 0xFF, 0xFF, 0x10}, {0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x10}},
      {{0xFE, 0xFF, 0xFD}, {0xFE, 0xFF, 0xFF, 0xFD}},
  };
  for (const Case& c : cases) {
    Bytes out;
    appendEscaped(c.data, out);
    EXPECT_EQ(out, c.escaped);
  }
}

// Every byte value escaped and read back, cut at every place: the data
// come out as they went in, whatever the reads look like.
TEST(TelnetDecoding, GivesBackEveryByteValueWhereverTheReadsAreCut) {
  Bytes all;
  for (int value = 0; value < 256; ++value) all.push_back(static_cast<std::uint8_t>(value));
  all.insert(all.end(), {0xFF, 0xFF, 0x0D, 0x00, 0x0D, 0x0A, 0xFF});
  Bytes wire;
  appendEscaped(all, wire);
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    Client client = opened();
    const Fed fed = feedInPieces(client, wire, {cut});
    EXPECT_EQ(fed.data, all) << "cut at " << cut;
    EXPECT_TRUE(fed.reply.empty());
  }
}

TEST(TelnetDecoding, TakesCommandsAndSubnegotiationsOutOfTheData) {
  const Bytes wire = {0x01, kIac, 241 /* NOP */, 0x02, kIac, kSb,  kComPort, 106,     0x10,
                      kIac, kSe,  0x03,          kIac, kIac, kIac, kWill,    kBinary, 0x04};
  for (std::size_t a = 0; a <= wire.size(); ++a) {
    for (std::size_t b = a; b <= wire.size(); ++b) {
      Client client = opened();
      const Fed fed = feedInPieces(client, wire, {a, b});
      EXPECT_EQ(fed.data, (Bytes{0x01, 0x02, 0x03, 0xFF, 0x04})) << a << ", " << b;
    }
  }
}

TEST(TelnetNegotiation, OffersBinaryBothWaysAndTheSerialPortOption) {
  Client client;
  EXPECT_EQ(client.opening(), (Bytes{kIac, kWill, kBinary, kIac, kWill, kComPort, kIac, kDo, kBinary}));
  EXPECT_FALSE(client.settled());
}

// What the server says, and what the client owes it in return: agreement
// to its own asks is not answered again, other options are refused, a
// change of mind is acknowledged once.
TEST(TelnetNegotiation, AnswersOnlyWhatChangesAndRefusesTheRest) {
  struct Case {
    std::string what;
    Bytes server;
    Bytes reply;
    bool settled;
    bool comPort;
    bool binary;
  };
  const Bytes agree = {kIac, kDo, kBinary, kIac, kDo, kComPort, kIac, kWill, kBinary};
  const Case cases[] = {
      {"agrees to everything", agree, {}, true, true, true},
      {"refuses the serial port option",
       {kIac, kDo, kBinary, kIac, kDont, kComPort, kIac, kWill, kBinary},
       {},
       true,
       false,
       true},
      {"asks for echo and offers to echo",
       {kIac, kDo, 1, kIac, kWill, 1},
       {kIac, kWont, 1, kIac, kDont, 1},
       false,
       false,
       false},
      {"offers to suppress go-ahead and asks the same",
       {kIac, kWill, kSuppressGoAhead, kIac, kDo, kSuppressGoAhead},
       {kIac, kDo, kSuppressGoAhead, kIac, kWill, kSuppressGoAhead},
       false,
       false,
       false},
      {"agrees, then stops sending binary",
       joined(agree, {kIac, kWont, kBinary}),
       {kIac, kDont, kBinary},
       true,
       true,
       false},
      {"agrees twice", joined(agree, agree), {}, true, true, true},
  };
  for (const Case& c : cases) {
    for (std::size_t cut = 0; cut <= c.server.size(); ++cut) {
      Client client = opened();
      const Fed fed = feedInPieces(client, c.server, {cut});
      EXPECT_EQ(fed.reply, c.reply) << c.what << ", cut at " << cut;
      EXPECT_TRUE(fed.data.empty()) << c.what;
      EXPECT_EQ(client.settled(), c.settled) << c.what;
      EXPECT_EQ(client.comPortAccepted(), c.comPort) << c.what;
      EXPECT_EQ(client.binaryBothWays(), c.binary) << c.what;
    }
  }
}

TEST(TelnetSerialPortOption, EncodesCommandsWithTheirValueEscaped) {
  EXPECT_EQ(comPortCommand(ComPort::SetBaudRate, Bytes{0x00, 0x00, 0x09, 0x60}),
            (Bytes{kIac, kSb, kComPort, 1, 0x00, 0x00, 0x09, 0x60, kIac, kSe}));
  EXPECT_EQ(comPortCommand(ComPort::PurgeData, Bytes{kPurgeReceived}),
            (Bytes{kIac, kSb, kComPort, 12, 1, kIac, kSe}));
  EXPECT_EQ(comPortCommand(ComPort::SetBaudRate, Bytes{0x00, 0x00, 0xFF, 0xFF}),
            (Bytes{kIac, kSb, kComPort, 1, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, kIac, kSe}));
}

// The server answers each command with its code plus 100 and the value it
// took, which may hold an escaped 0xFF; answers split anywhere still count.
TEST(TelnetSerialPortOption, KeepsTheServersAnswerToEachCommand) {
  const Bytes wire = {0x41, kIac, kSb,  kComPort, 101,      0x00, 0x00, 0x09, 0x60,
                      kIac, kSe,  kIac, kSb,      kComPort, 102,  8,    kIac, kSe,
                      0x42, kIac, kSb,  kComPort, 103,      kIac, kIac, kIac, kSe};
  for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
    Client client = opened();
    const Fed fed = feedInPieces(client, wire, {cut});
    EXPECT_EQ(fed.data, (Bytes{0x41, 0x42}));
    EXPECT_EQ(client.answerTo(ComPort::SetBaudRate), (Bytes{0x00, 0x00, 0x09, 0x60})) << cut;
    EXPECT_EQ(client.answerTo(ComPort::SetDataSize), (Bytes{8})) << cut;
    EXPECT_EQ(client.answerTo(ComPort::SetParity), (Bytes{0xFF})) << cut;
    EXPECT_EQ(client.answerTo(ComPort::SetStopSize), std::nullopt);
    client.forgetAnswers();
    EXPECT_EQ(client.answerTo(ComPort::SetBaudRate), std::nullopt);
  }
}

// A server that never ends a subnegotiation cannot grow it without bound,
// and the data after its end come through.
TEST(TelnetSerialPortOption, BoundsAnEndlessSubnegotiation) {
  Bytes wire = {kIac, kSb, kComPort, 101};
  wire.insert(wire.end(), 100000, 0x55);
  wire.insert(wire.end(), {kIac, kSe, 0x07});
  Client client = opened();
  const Fed fed = feedInPieces(client, wire, {});
  EXPECT_EQ(fed.data, (Bytes{0x07}));
  ASSERT_TRUE(client.answerTo(ComPort::SetBaudRate));
  EXPECT_LT(client.answerTo(ComPort::SetBaudRate)->size(), 100u);
}
