// The Linux serial device over a pseudo-terminal: exclusive open, waits that
// sleep until something happens, and shutdown() that ends every wait.
#include "link/linux_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <thread>

#include "protocol/frames.h"
#include "pty_pair.h"
#include "tests/support/process_figures.h"

namespace rs485::test {
namespace {

using namespace std::chrono_literals;
using Wake = SerialPort::Wake;

// Polls a condition that no event announces; the time-out is a safety net.
bool becomes(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(OpenErrorFromErrno, MapsEachSystemErrorToItsReason) {
  const std::pair<int, OpenError> cases[] = {
      {0, OpenError::None},
      {ENOENT, OpenError::NotFound},
      {ENODEV, OpenError::NotFound},
      {ENXIO, OpenError::NotFound},
      {EACCES, OpenError::PermissionDenied},
      {EPERM, OpenError::PermissionDenied},
      {EBUSY, OpenError::Busy},
      {EWOULDBLOCK, OpenError::Busy},
      {ENOTTY, OpenError::NotSerial},
      {EIO, OpenError::Other},
      {EISDIR, OpenError::Other},
      {EMFILE, OpenError::Other},
  };
  for (const auto& [error, reason] : cases) EXPECT_EQ(openErrorFromErrno(error), reason) << error;
}

class OpenPty : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenError error = OpenError::Other;
    device = openLinuxSerialDevice(pty.slavePath(), error);
    ASSERT_NE(device, nullptr) << describe(error);
    EXPECT_EQ(error, OpenError::None);
    ASSERT_TRUE(device->readLineSettings());
    ASSERT_TRUE(device->applyLineSettings());
    ASSERT_TRUE(device->clearTimeouts());
  }

  PtyPair pty;
  std::unique_ptr<SerialDevice> device;
};

TEST_F(OpenPty, ASecondOpenIsBusyUntilTheFirstCloses) {
  // Root may open an exclusive tty, so a plain descriptor can watch the flag.
  const UniqueFd held(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  const int observer = held.get();
  ASSERT_GE(observer, 0);
  const auto exclusive = [&] {
    int flag = -1;
    return ioctl(observer, TIOCGEXCL, &flag) == 0 ? flag : -1;
  };
  EXPECT_EQ(exclusive(), 1);

  OpenError error = OpenError::None;
  EXPECT_EQ(openLinuxSerialDevice(pty.slavePath(), error), nullptr);
  EXPECT_EQ(error, OpenError::Busy);
  EXPECT_EQ(exclusive(), 1);  // the losing open left the holder's claim alone

  device.reset();
  EXPECT_EQ(exclusive(), 0);
  EXPECT_NE(openLinuxSerialDevice(pty.slavePath(), error), nullptr);
  EXPECT_EQ(error, OpenError::None);
}

TEST_F(OpenPty, ArrivalsWakeTheWaitAndBytesLeftQueuedDoNotKeepWakingIt) {
  pty.write({1, 2, 3});
  EXPECT_EQ(device->waitForArrival(), Wake::Arrival);
  ASSERT_TRUE(becomes([&] { return device->inputQueued() == 3; }));

  std::atomic<int> wakes{0};
  std::thread waiter([&] {
    while (device->waitForArrival() == Wake::Arrival) ++wakes;
  });
  // A window in which a wait that reports queued bytes again would spin. The
  // tty may wake it once more for bytes it has already reported; that is all.
  EXPECT_TRUE(pty.silentFor(150ms));
  const int wakesWhileQueued = wakes;
  EXPECT_LE(wakesWhileQueued, 1);
  pty.write({4});
  ASSERT_TRUE(becomes([&] { return wakes > wakesWhileQueued; }));
  device->shutdown();
  waiter.join();

  std::uint8_t buffer[kRxBufferSize] = {};
  EXPECT_EQ(device->readQueued(buffer), 4);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(device->waitForArrival(), Wake::Shutdown);  // and again: for good
  EXPECT_EQ(device->waitForArrival(), Wake::Shutdown);
}

TEST_F(OpenPty, ReadsTakeOnlyWhatIsQueuedAndPurgesEmptyTheQueue) {
  std::uint8_t buffer[kRxBufferSize] = {};
  EXPECT_EQ(device->readQueued(buffer), 0);
  pty.write({9, 8, 7, 6, 5});
  ASSERT_TRUE(becomes([&] { return device->inputQueued() == 5; }));
  EXPECT_EQ(device->readQueued(std::span(buffer).first(3)), 3);
  EXPECT_EQ(device->inputQueued(), 2);
  device->purgeInput();
  EXPECT_EQ(device->inputQueued(), 0);
  EXPECT_EQ(device->readQueued(buffer), 0);
}

TEST_F(OpenPty, AHangUpLeavesTheWaitForTheNextLineAndWritesFail) {
  pty.closeMaster();
  std::atomic<int> arrivals{0};
  std::atomic<Wake> last{Wake::Arrival};
  std::thread waiter([&] {
    while ((last = device->waitForArrival()) == Wake::Arrival) ++arrivals;
  });
  const std::uint8_t frame[] = {1, 1, 0xC1, 0xE0};
  EXPECT_FALSE(device->writeAll(frame, sizeof frame));
  EXPECT_EQ(device->inputQueued(), 0);
  device->purgeInput();  // harmless on a dead line
  EXPECT_FALSE(device->reopen()) << "nothing came back";
  device->shutdown();
  waiter.join();
  EXPECT_EQ(last, Wake::Shutdown);
  EXPECT_EQ(arrivals, 0);
}

// A line that went is let go at once, whichever thread notices first, so
// that the kernel can free its name: held, an adapter plugged back in comes
// back under the next one. The port stays usable; its writes keep failing.
TEST(LostLine, IsLetGoAtOnceWhenTheWaitSeesTheHangUpOrAWriteFails) {
  for (const bool byWrite : {false, true}) {
    SCOPED_TRACE(byWrite ? "a failed write" : "the hang-up");
    PtyPair pty;
    OpenError error = OpenError::Other;
    auto device = openLinuxSerialDevice(pty.slavePath(), error);
    ASSERT_NE(device, nullptr) << describe(error);
    ASSERT_TRUE(holdsNode(pty.slavePath()));
    std::atomic<Wake> last{Wake::Arrival};
    std::thread waiter;
    if (!byWrite) waiter = std::thread([&] { last = device->waitForArrival(); });
    pty.closeMaster();
    const std::uint8_t frame[] = {1, 1, 0xC1, 0xE0};
    if (byWrite) {
      EXPECT_FALSE(device->writeAll(frame, sizeof frame));
    }
    EXPECT_TRUE(becomes([&] { return !holdsNode(pty.slavePath()); })) << descriptorTargets();
    EXPECT_FALSE(device->writeAll(frame, sizeof frame)) << "the stand-in takes no frame";
    EXPECT_EQ(device->inputQueued(), 0);
    device->purgeInput();
    device->purgeOutput();
    EXPECT_FALSE(device->reopen()) << "a pseudo-terminal's own name never brings it back";
    device->shutdown();
    if (waiter.joinable()) waiter.join();
    EXPECT_EQ(last, byWrite ? Wake::Arrival : Wake::Shutdown);
  }
}

// An adapter pulled out and plugged in again: its node goes and a new one
// appears behind the same path.
TEST(ReopenPty, TheLineBackBehindTheSamePathTakesOverTheWaitsAndTheWrites) {
  char dir[] = "/tmp/rs485-reopen-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/ttyRS485";
  auto first = std::make_unique<PtyPair>();
  ASSERT_EQ(symlink(first->slavePath().c_str(), link.c_str()), 0);
  OpenError error = OpenError::Other;
  auto device = openLinuxSerialDevice(link, error);
  ASSERT_NE(device, nullptr) << describe(error);
  ASSERT_TRUE(device->readLineSettings() && device->applyLineSettings() && device->clearTimeouts());
  EXPECT_FALSE(device->reopen()) << "the line it holds has not gone";
  const std::uint8_t frame[] = {1, 1, 0xC1, 0xE0};
  ASSERT_TRUE(device->writeAll(frame, sizeof frame));
  EXPECT_EQ(first->read(4), Bytes(frame, frame + 4));

  std::atomic<int> arrivals{0};
  std::atomic<Wake> last{Wake::Arrival};
  std::thread waiter([&] {
    while ((last = device->waitForArrival()) == Wake::Arrival) ++arrivals;
  });
  for (int round = 0; round < 3; ++round) {
    first->closeMaster();
    unlink(link.c_str());
    EXPECT_FALSE(device->writeAll(frame, sizeof frame));
    EXPECT_FALSE(device->reopen()) << "no node behind the path";
    auto second = std::make_unique<PtyPair>();
    ASSERT_EQ(symlink(second->slavePath().c_str(), link.c_str()), 0);
    second->write({9, 9});  // sent before the reopen: purged with the new line's input
    ASSERT_TRUE(device->reopen()) << round;
    EXPECT_EQ(device->inputQueued(), 0);
    ASSERT_TRUE(device->writeAll(frame, sizeof frame));
    EXPECT_EQ(second->read(4), Bytes(frame, frame + 4));
    second->write({5, 1, 0});
    EXPECT_TRUE(becomes([&] { return arrivals == round + 1; })) << "the wait follows the new line";
    EXPECT_EQ(device->inputQueued(), 3);
    device->purgeInput();
    first = std::move(second);
  }
  device->shutdown();
  waiter.join();
  EXPECT_EQ(last, Wake::Shutdown);
  EXPECT_EQ(arrivals, 3);
  device.reset();
  unlink(link.c_str());
  rmdir(dir);
}

TEST_F(OpenPty, PauseSleepsItsTimeUnlessShutDown) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(device->pause(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

  std::atomic<int> result{-1};
  std::thread sleeper([&] { result = device->pause(std::chrono::hours(1)) ? 1 : 0; });
  device->shutdown();
  sleeper.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(device->pause(std::chrono::hours(1)));
}

TEST_F(OpenPty, AWriteWaitingForRoomEndsAtShutdown) {
  const Bytes big(1 << 20, 0x55);  // far more than the line buffers while nobody reads
  std::atomic<int> result{-1};
  std::thread writer([&] { result = device->writeAll(big.data(), big.size()) ? 1 : 0; });
  ASSERT_TRUE(becomes([&] { return pty.pending() > 0; }));
  device->shutdown();
  writer.join();
  EXPECT_EQ(result, 0);
}

TEST_F(OpenPty, AWholeFrameIsWrittenAndArrivesAsIs) {
  const std::uint8_t frame[] = {0x05, 0x02, 0x07, 0x21, 0x63};
  EXPECT_TRUE(device->writeAll(frame, sizeof frame));
  EXPECT_EQ(pty.read(sizeof frame), Bytes(frame, frame + sizeof frame));
}

}  // namespace
}  // namespace rs485::test
