// `rs485-cli serve` in-process on the simulated bus: the splitting of a
// client's bytes into requests, the order of the clients' turns, and the
// server with real TCP clients, well-behaved and not.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <string>

#include "cli/request_queue.h"
#include "cli/request_stream.h"
#include "tests/cli/cli_rig.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;
using Fault = cli::RequestStream::Fault;

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray& frame) { return {frame.begin(), frame.end()}; }

QByteArray badCrc(const BusRequest& request) {
  QByteArray frame = requestFrame(request);
  frame[frame.size() - 1] = static_cast<char>(frame[frame.size() - 1] ^ 0x01);
  return frame;
}

}  // namespace

// Requests come out whole however the stream breaks them up; one chunk may
// end in the middle of a request and hold the start of the next.
TEST(RequestStream, TakesWholeRequestsWhereverTheBytesBreak) {
  const std::vector<BusRequest> sent = {BusRequest::readCurrent(7), BusRequest::setAddress(5, 9),
                                        BusRequest::probe(247), BusRequest::readCurrent(1)};
  std::vector<std::uint8_t> stream;
  for (const BusRequest& request : sent) {
    const auto frame = bytesOf(requestFrame(request));
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  for (const std::size_t chunk :
       {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{6}, stream.size()}) {
    cli::RequestStream split;
    std::vector<BusRequest> taken;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
      const std::size_t n = std::min(chunk, stream.size() - at);
      ASSERT_EQ(split.take(std::span(stream).subspan(at, n), taken), Fault::None) << chunk;
      // The bytes past the last whole request wait for the rest.
      std::size_t whole = 0;
      for (const std::size_t end : {4u, 9u, 13u, 17u}) whole = end <= at + n ? end : whole;
      EXPECT_EQ(split.pending(), at + n - whole) << chunk;
    }
    EXPECT_EQ(taken, sent) << "chunks of " << chunk;
    EXPECT_EQ(split.pending(), 0u);
  }
}

TEST(RequestStream, WhatIsNoRequestEndsTheStream) {
  const struct {
    const char* what;
    QByteArray bytes;
    Fault fault;
  } cases[] = {
      {"unknown command", QByteArray::fromHex("0703aabb"), Fault::UnknownCommand},
      {"address 0", requestFrame(BusRequest::readCurrent(0)), Fault::BadAddress},
      {"address 248", requestFrame(BusRequest::probe(248)), Fault::BadAddress},
      {"bad CRC", badCrc(BusRequest::readCurrent(7)), Fault::BadCrc},
      {"bad CRC of an address change", badCrc(BusRequest::setAddress(5, 9)), Fault::BadCrc},
      {"new address 0", requestFrame(BusRequest::setAddress(5, 0)), Fault::BadAddress},
      {"text", QByteArray("GET / HTTP/1.1\r\n"), Fault::UnknownCommand},  // 'G' is address 71
      {"a byte of 255", QByteArray::fromHex("ff01"), Fault::BadAddress},
  };
  for (const auto& c : cases) {
    cli::RequestStream split;
    std::vector<BusRequest> taken;
    QByteArray stream = requestFrame(BusRequest::probe(3)) + c.bytes + requestFrame(BusRequest::probe(4));
    const auto bytes = bytesOf(stream);
    EXPECT_EQ(split.take(bytes, taken), c.fault) << c.what;
    EXPECT_EQ(split.fault(), c.fault) << c.what;
    // The request before the fault counts; nothing after it does.
    EXPECT_EQ(taken, std::vector<BusRequest>{BusRequest::probe(3)}) << c.what;
  }
}

// Arrival order between clients, but a client's next request queues behind
// everything that waits when its last one gets its turn.
TEST(RequestQueue, TakesTurnsInArrivalOrderWithoutLettingOneClientHoldTheOthers) {
  const struct {
    const char* what;
    std::vector<std::pair<int, int>> pushed;  // client, address
    std::vector<std::pair<int, int>> turns;
  } cases[] = {
      {"interleaved", {{1, 3}, {2, 7}, {1, 4}, {2, 8}}, {{1, 3}, {2, 7}, {1, 4}, {2, 8}}},
      {"one burst, then another client", {{1, 1}, {1, 2}, {1, 3}, {2, 9}}, {{1, 1}, {2, 9}, {1, 2}, {1, 3}}},
      {"three clients, one flooding",
       {{1, 1}, {1, 2}, {1, 3}, {2, 8}, {3, 9}},
       {{1, 1}, {2, 8}, {3, 9}, {1, 2}, {1, 3}}},
      {"arrival order", {{3, 5}, {1, 6}, {2, 7}}, {{3, 5}, {1, 6}, {2, 7}}},
  };
  for (const auto& c : cases) {
    cli::RequestQueue queue(8);
    for (const auto& [client, address] : c.pushed)
      ASSERT_TRUE(queue.push(client, BusRequest::probe(address)));
    std::vector<std::pair<int, int>> turns;
    while (const auto turn = queue.next()) turns.emplace_back(turn->client, turn->request.address);
    EXPECT_EQ(turns, c.turns) << c.what;
    EXPECT_TRUE(queue.empty());
  }
}

TEST(RequestQueue, BoundsEachClientAndForgetsOneThatLeft) {
  cli::RequestQueue queue(2);
  EXPECT_TRUE(queue.push(1, BusRequest::probe(1)));
  EXPECT_TRUE(queue.push(1, BusRequest::probe(2)));
  EXPECT_FALSE(queue.push(1, BusRequest::probe(3)));
  EXPECT_TRUE(queue.push(2, BusRequest::probe(4)));
  EXPECT_EQ(queue.waiting(1), 2u);
  queue.remove(1);
  EXPECT_EQ(queue.waiting(1), 0u);
  const auto turn = queue.next();
  ASSERT_TRUE(turn);
  EXPECT_EQ(turn->client, 2);
  EXPECT_FALSE(queue.next());
}

// Two programs' requests, interleaved: each gets its own answers, byte for
// byte as the devices sent them, and the bus sees them in arrival order.
TEST(Serve, TwoClientsGetEachTheirOwnAnswersInArrivalOrder) {
  ServeRig serve({device(3), device(7)});
  ASSERT_TRUE(serve.listening);
  auto a = serve.connect();
  auto b = serve.connect();
  ASSERT_EQ(serve.server.connected(), 2);
  const std::vector<std::pair<BusClient*, BusRequest>> sent = {
      {a.get(), BusRequest::readCurrent(3)}, {b.get(), BusRequest::readCurrent(7)},
      {a.get(), BusRequest::probe(3)},       {b.get(), BusRequest::readCurrent(7)},
      {a.get(), BusRequest::readCurrent(7)}, {b.get(), BusRequest::probe(7)}};
  for (const auto& [client, request] : sent) ASSERT_TRUE(serve.send(*client, request));
  ASSERT_TRUE(a->waitForBytes(16 + 5 + 16)) << serve.logText().toStdString();
  ASSERT_TRUE(b->waitForBytes(16 + 16 + 5)) << serve.logText().toStdString();
  ASSERT_TRUE(waitUntil([&] { return serve.rig.sim.answersSent() == sent.size(); }));

  const std::vector<sim::FrameRecord> requests = serve.rig.sim.log().snapshot(sim::FrameKind::Request);
  ASSERT_EQ(requests.size(), sent.size());
  QByteArray toA;
  QByteArray toB;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(requests[i].bytes, bytesOf(requestFrame(sent[i].second))) << i;
    (sent[i].first == a.get() ? toA : toB) += serve.answerTo(i);
  }
  runFor(50ms);  // nothing more comes
  EXPECT_EQ(a->received.toHex(), toA.toHex());
  EXPECT_EQ(b->received.toHex(), toB.toHex());
}

// A request to an address nobody answers holds the bus for its reply window
// and no longer; its client gets nothing, and the next request goes out.
TEST(Serve, ASilentAddressIsSettledAfterItsReplyWindowWithNothingSent) {
  ServeRig serve({device(3)}, 150ms);
  ASSERT_TRUE(serve.listening);
  auto a = serve.connect();
  auto b = serve.connect();
  // Before the server has it: the request cannot leave, nor its window end, earlier.
  const auto handedOver = std::chrono::steady_clock::now();
  ASSERT_TRUE(serve.send(*a, BusRequest::readCurrent(9)));
  ASSERT_TRUE(serve.send(*b, BusRequest::readCurrent(3)));
  // The next request goes out once the window has passed, and is answered.
  ASSERT_TRUE(waitUntil([&] {
    return serve.rig.sim.requestsSeen() == 2 && serve.rig.sim.answersSent() == 1;
  })) << serve.dump();
  const auto requests = serve.rig.sim.log().snapshot(sim::FrameKind::Request);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].address, 9);
  EXPECT_EQ(requests[1].address, 3);
  EXPECT_GE(requests[1].at - handedOver, 150ms);
  // The engine now and then leaves an answer that follows a purge in the
  // receive queue until the next purge (a fault of the link layer, seen
  // here): then b gets nothing, but never anything else.
  waitUntil([&] { return b->received.size() == 16; }, 1s);
  EXPECT_TRUE(a->received.isEmpty());
  if (!b->received.isEmpty()) {
    EXPECT_EQ(b->received, serve.answerTo(1));
  }
  serve.server.printSummary();
  EXPECT_TRUE(serve.logText().contains("client 1 (127.0.0.1:")) << serve.logText().toStdString();
  EXPECT_TRUE(serve.logText().contains("1 requests, 0 answers, 1 without an answer"))
      << serve.logText().toStdString();
}

// A device slower than the reply window: its answer comes after its request
// was settled, is logged, and goes to no one, not even to the client that
// asked; the next request is answered as usual.
TEST(Serve, ALateAnswerGoesToNoOne) {
  ServeRig serve({slow(9, 700ms), device(3)}, 150ms);
  ASSERT_TRUE(serve.listening);
  auto a = serve.connect();
  ASSERT_TRUE(serve.send(*a, BusRequest::readCurrent(9)));
  // The event loop runs meanwhile: the server settles the request on time.
  ASSERT_TRUE(waitUntil([&] { return serve.rig.sim.answersSent() == 1; }));
  ASSERT_TRUE(waitUntil([&] { return serve.logText().contains("device 9 came outside its request"); }))
      << serve.logText().toStdString();
  ASSERT_TRUE(serve.send(*a, BusRequest::readCurrent(3)));
  ASSERT_TRUE(waitUntil([&] { return serve.rig.sim.answersSent() == 2; })) << serve.dump();
  // Device 9's answer never reaches a; device 3's does, unless the link
  // missed it (see the test above).
  waitUntil([&] { return a->received.size() == 16; }, 1s);
  runFor(50ms);
  if (!a->received.isEmpty()) {
    EXPECT_EQ(a->received, serve.answerTo(1));
  }
}

// What a misbehaving client does to the server: it is disconnected with a
// line naming it and why, and the other client's requests are answered
// before, during and after.
TEST(Serve, AMisbehavingClientIsDisconnectedAndTheOtherGoesOn) {
  const struct {
    const char* what;
    QByteArray bytes;
    const char* why;
  } cases[] = {
      {"garbage", QByteArray::fromHex("0799aabb"), "an unknown command"},
      {"bad CRC", badCrc(BusRequest::readCurrent(3)), "a request with a bad CRC"},
      {"half a request", requestFrame(BusRequest::readCurrent(3)).left(3), "half a request for 200 ms"},
      {"flood", requestFrame(BusRequest::readCurrent(3)).repeated(200), "more than 64 requests waiting"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServeRig serve({device(3), device(7)});
    ASSERT_TRUE(serve.listening);
    auto good = serve.connect();
    auto bad = serve.connect();
    ASSERT_TRUE(serve.send(*good, BusRequest::readCurrent(7)));
    bad->send(c.bytes);
    ASSERT_TRUE(serve.send(*good, BusRequest::readCurrent(7)));
    ASSERT_TRUE(bad->waitForClose());
    ASSERT_TRUE(serve.send(*good, BusRequest::readCurrent(7)));
    ASSERT_TRUE(good->waitForBytes(3 * 16)) << serve.dump();
    const QString log = serve.logText();
    EXPECT_TRUE(log.contains(QStringLiteral("client 2 (127.0.0.1:%1) disconnected: %2\n")
                                 .arg(bad->localPort)
                                 .arg(QString::fromLatin1(c.why))))
        << log.toStdString();
    EXPECT_EQ(serve.server.connected(), 1);
    // Every answer the good client got is device 7's.
    for (qsizetype at = 0; at < good->received.size(); at += 16) EXPECT_EQ(good->received[at], 7);
    EXPECT_LE(bad->received.size(), 16);  // the flood's first request may have been answered
  }
}

TEST(Serve, TheNinthClientIsRefusedAndMayComeOnceOneHasLeft) {
  ServeRig serve({device(3)});
  ASSERT_TRUE(serve.listening);
  std::vector<std::unique_ptr<BusClient>> clients;
  for (int i = 0; i < cli::kMostClients; ++i) clients.push_back(serve.connect());
  ASSERT_EQ(serve.server.connected(), 8);
  auto ninth = serve.connect();
  ASSERT_TRUE(ninth->waitForClose());
  EXPECT_EQ(serve.server.connected(), 8);
  EXPECT_TRUE(
      QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:%1 refused: 8 clients are connected already\n")
                             .arg(ninth->localPort))
          .match(serve.logText())
          .hasMatch())
      << serve.logText().toStdString();
  clients.front()->socket.disconnectFromHost();
  ASSERT_TRUE(waitUntil([&] { return serve.server.connected() == 7; }));
  auto tenth = serve.connect();
  ASSERT_EQ(serve.server.connected(), 8);
  ASSERT_TRUE(serve.send(*tenth, BusRequest::readCurrent(3)));
  EXPECT_TRUE(tenth->waitForBytes(16)) << serve.dump();
}
