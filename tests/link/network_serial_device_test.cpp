// The network serial device against a server of the test's own on loopback:
// bytes both ways, a closed or reset connection as a lost line that a
// reconnection heals, the reasons a connection fails, and closes that never
// wait for a connect.

#include "link/network_serial_device.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "link/open_device.h"
#include "link/tcp_connect.h"
#include "tests/link/loopback_server.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = LoopbackServer::Bytes;

namespace {

// A frame's worth of the bytes that text-minded links mangle.
const Bytes kAwkward = {0x03, 0xFF, 0x0D, 0x00, 0x0D, 0x0A, 0xFF, 0xFF, 0x11, 0x13, 0x00};

struct Opened {
  std::unique_ptr<SerialDevice> device;
  OpenError error = OpenError::None;
  int systemError = 0;
  Clock::duration took{};
};

Opened openTimed(const std::string& path) {
  Opened o;
  const auto start = Clock::now();
  errno = 0;
  o.device = openDevice(path, o.error);
  o.systemError = errno;
  o.took = Clock::now() - start;
  return o;
}

// Waits on the receive side for `count` bytes, as the engine's receive
// thread does; what came, or less when the time-out passed first.
Bytes receive(SerialDevice& device, std::size_t count) {
  auto waiting = std::async(std::launch::async, [&] {
    while (device.inputQueued() < static_cast<int>(count)) {
      if (device.waitForArrival() != SerialPort::Wake::Arrival) break;
    }
  });
  if (waiting.wait_for(5s) != std::future_status::ready) {
    device.shutdown();
    return {};
  }
  Bytes bytes(count);
  bytes.resize(device.readQueued(bytes));
  return bytes;
}

// The first failed write after the server let the connection go; writes
// may still be taken by the kernel until the close has come back.
bool aWriteFails(SerialDevice& device) {
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline) {
    if (!device.writeAll(kAwkward.data(), kAwkward.size())) return true;
    device.pause(10ms);
  }
  return false;
}

}  // namespace

TEST(NetworkSerialDevice, CarriesEveryByteAsItIsBothWays) {
  LoopbackServer server;
  Opened o = openTimed(server.url());
  ASSERT_NE(o.device, nullptr) << o.systemError;
  ASSERT_TRUE(server.accept());
  SerialDevice& device = *o.device;
  EXPECT_TRUE(device.readLineSettings() && device.applyLineSettings() && device.clearTimeouts());

  ASSERT_TRUE(device.writeAll(kAwkward.data(), kAwkward.size()));
  EXPECT_EQ(server.receive(kAwkward.size()), kAwkward);
  ASSERT_TRUE(server.send(kAwkward));
  EXPECT_EQ(receive(device, kAwkward.size()), kAwkward);
  EXPECT_EQ(device.inputQueued(), 0);

  // A purge drops what came and was not read.
  ASSERT_TRUE(server.send({0x01, 0x02}));
  ASSERT_TRUE(server.send(kAwkward));
  EXPECT_EQ(receive(device, 2 + kAwkward.size()).size(), 2 + kAwkward.size());
  ASSERT_TRUE(server.send({0x05, 0x06, 0x07}));
  while (device.inputQueued() < 3) ASSERT_EQ(device.waitForArrival(), SerialPort::Wake::Arrival);
  device.purgeInput();
  EXPECT_EQ(device.inputQueued(), 0);
}

// Another thread may take an answer's bytes from the socket (the window asks
// for the count) before the receive thread gets to them; epoll then drops
// the wake-up, but the receive thread must still hear of the arrival.
TEST(NetworkSerialDevice, AnArrivalTakenByAnotherThreadStillWakesTheReceiveThread) {
  // On one processor the receive thread, woken by the arrival, runs only once
  // this thread, which has taken the bytes meanwhile, lets it.
  cpu_set_t all{};
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one{};
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  struct Restore {
    cpu_set_t& all;
    ~Restore() { sched_setaffinity(0, sizeof all, &all); }
  } restore{all};
  LoopbackServer server;
  Opened o = openTimed(server.url());
  ASSERT_NE(o.device, nullptr);
  ASSERT_TRUE(server.accept());
  SerialDevice& device = *o.device;
  for (int round = 0; round < 100; ++round) {
    auto reader = std::async(std::launch::async, [&] { return device.waitForArrival(); });
    ASSERT_TRUE(server.send({static_cast<std::uint8_t>(round)}));
    const auto deadline = Clock::now() + 5s;
    while (device.inputQueued() == 0 && Clock::now() < deadline) {
    }
    if (reader.wait_for(5s) != std::future_status::ready) {
      device.shutdown();
      FAIL() << "the receive thread missed the arrival of round " << round;
    }
    EXPECT_EQ(reader.get(), SerialPort::Wake::Arrival);
    device.purgeInput();
  }
}

// The server closing the connection, or its kernel resetting it, is a lost
// line: writes fail until a reconnection, which the server sees as a new
// connection, and bytes flow on the new one.
TEST(NetworkSerialDevice, ALostConnectionFailsWritesUntilItReconnects) {
  struct Case {
    const char* what;
    void (*lose)(LoopbackServer&);
    bool refusedMeanwhile;
  };
  const Case cases[] = {
      {"closed", [](LoopbackServer& s) { s.closeConnection(); }, false},
      {"reset", [](LoopbackServer& s) { s.resetConnection(); }, false},
      {"closed, server gone a while",
       [](LoopbackServer& s) {
         s.stopListening();
         s.closeConnection();
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackServer server;
    Opened o = openTimed(server.url());
    ASSERT_NE(o.device, nullptr);
    ASSERT_TRUE(server.accept());
    SerialDevice& device = *o.device;
    // The receive thread waits meanwhile, as in the engine.
    auto reader = std::async(std::launch::async, [&] { return device.waitForArrival(); });
    EXPECT_FALSE(device.reopen()) << "the connection has not gone yet";

    c.lose(server);
    ASSERT_TRUE(aWriteFails(device));
    if (c.refusedMeanwhile) {
      EXPECT_FALSE(device.reopen());
      server.listenAgain();
    }
    ASSERT_TRUE(device.reopen());
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(server.send(kAwkward));
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get(), SerialPort::Wake::Arrival);
    EXPECT_EQ(receive(device, kAwkward.size()), kAwkward);
    ASSERT_TRUE(device.writeAll(kAwkward.data(), kAwkward.size()));
    EXPECT_EQ(server.receive(kAwkward.size()), kAwkward);
  }
}

// Why a first connection failed, and how long it took at most: the connect
// gives up after kConnectTimeLimit, a Telnet set-up that gets no answer
// (a raw server, or none at all) 2 s after it began.
TEST(NetworkSerialDevice, FailsToOpenWithTheSystemsReasonWithinTheTimeLimit) {
  LoopbackServer hanging(0);
  hanging.fillAcceptQueue();
  LoopbackServer mute;  // takes connections and says nothing
  struct Case {
    std::string path;
    OpenError error;
    int systemError;
    Clock::duration atLeast;
    Clock::duration atMost;
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:" + std::to_string(closedLoopbackPort()), OpenError::NotFound, ECONNREFUSED, 0s, 1s},
      {"rfc2217://localhost:" + std::to_string(closedLoopbackPort()), OpenError::NotFound, ECONNREFUSED, 0s,
       1s},
      {hanging.url(), OpenError::Other, ETIMEDOUT, kConnectTimeLimit - 100ms, kConnectTimeLimit + 1s},
      {mute.url("rfc2217"), OpenError::SettingsRejected, ETIMEDOUT, 1900ms, 3s},
      {"tcp://127.0.0.1:99999", OpenError::NotFound, EINVAL, 0s, 1s},
  };
  for (const Case& c : cases) {
    const Opened o = openTimed(c.path);
    EXPECT_EQ(o.device, nullptr) << c.path;
    EXPECT_EQ(o.error, c.error) << c.path;
    EXPECT_EQ(o.systemError, c.systemError) << c.path;
    EXPECT_GE(o.took, c.atLeast) << c.path;
    EXPECT_LT(o.took, c.atMost) << c.path;
  }
}

// What makes a dead server a lost line within 10 s (a dead peer itself
// cannot be played on loopback, where the kernel answers for the server).
TEST(NetworkSerialDevice, ConnectionsAreSetToNoticeADeadServer) {
  LoopbackServer server;
  const Connection c = connectTcp("127.0.0.1", std::to_string(server.port()), -1, Clock::now() + 2s);
  ASSERT_TRUE(c.socket.valid()) << c.error;
  const auto option = [&](int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    EXPECT_EQ(getsockopt(c.socket.get(), level, name, &value, &length), 0);
    return value;
  };
  EXPECT_NE(option(IPPROTO_TCP, TCP_NODELAY), 0);
  EXPECT_NE(option(SOL_SOCKET, SO_KEEPALIVE), 0);
  const int idle = option(IPPROTO_TCP, TCP_KEEPIDLE);
  const int interval = option(IPPROTO_TCP, TCP_KEEPINTVL);
  const int count = option(IPPROTO_TCP, TCP_KEEPCNT);
  const int userTimeout = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
  EXPECT_GT(userTimeout, 0);
  // Idle: the probes; busy: data unacknowledged for the user time-out.
  EXPECT_LE(idle + interval * count, 10);
  EXPECT_LE(userTimeout, 10000);
  EXPECT_GE(userTimeout, 1000 * (idle + interval)) << "the time-out would cut off a probe's answer";
}

// A name is looked up (localhost is in the hosts file: no query leaves the machine).
TEST(NetworkSerialDevice, ReachesAServerByName) {
  LoopbackServer server;
  Opened o = openTimed("tcp://localhost:" + std::to_string(server.port()));
  ASSERT_NE(o.device, nullptr) << o.systemError;
  ASSERT_TRUE(server.accept());
  ASSERT_TRUE(o.device->writeAll(kAwkward.data(), kAwkward.size()));
  EXPECT_EQ(server.receive(kAwkward.size()), kAwkward);
}

// A reconnection that hangs in its connect ends at once at shutdown(), so
// that closing the port during an outage returns at once.
TEST(NetworkSerialDevice, ShutdownEndsAReconnectionThatHangs) {
  LoopbackServer server(0);
  Opened o = openTimed(server.url());
  ASSERT_NE(o.device, nullptr);
  ASSERT_TRUE(server.accept());
  SerialDevice& device = *o.device;
  server.fillAcceptQueue();
  server.closeConnection();
  ASSERT_TRUE(aWriteFails(device));

  auto reopening = std::async(std::launch::async, [&] { return device.reopen(); });
  EXPECT_EQ(reopening.wait_for(300ms), std::future_status::timeout) << "the connect did not hang";
  const auto start = Clock::now();
  device.shutdown();
  ASSERT_EQ(reopening.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(reopening.get());
  EXPECT_LT(Clock::now() - start, 200ms);
  EXPECT_FALSE(device.writeAll(kAwkward.data(), kAwkward.size()));
  EXPECT_EQ(device.waitForArrival(), SerialPort::Wake::Shutdown);
}
