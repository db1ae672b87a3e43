// Opening and closing the port: every failure leaves nothing open, and the
// line settings reach the tty.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <system_error>
#include <thread>

#include "fake_line.h"
#include "link/linux_serial_port.h"
#include "link/processes.h"
#include "link_rig.h"

namespace rs485::test {
namespace {

namespace fs = std::filesystem;

struct Resources {
  int threads = threadCount();
  int fds = descriptorCount();
  bool operator==(const Resources&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Resources& r) {
  return out << r.threads << " threads, " << r.fds << " descriptors";
}

std::map<std::string, std::string> mapping(const std::string& name, const std::string& path) {
  return {{name, path}};
}

fs::path scratchDirectory() {
  const fs::path dir = fs::temp_directory_path() / ("rs485-link-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

struct OpenFailure {
  const char* what;
  std::string path;  // empty: COM1 names nothing
  OpenError error;
  int systemError;  // errno of the failing call, 0 when no call failed
};

class PortSessionOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(PortSessionOpenFailure, FailsWithItsReasonAndLeavesNothingOpen) {
  const fs::path dir = scratchDirectory();
  std::ofstream(dir / "regular-file") << "not a tty";
  fs::create_directories(dir / "empty-dev");
  std::map<std::string, std::string> overrides;
  std::string path = GetParam().path;
  if (path.rfind("@/", 0) == 0) path = (dir / path.substr(2)).string();
  if (!path.empty()) overrides["COM1"] = path;

  PumpExecutor ui;
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(overrides, (dir / "empty-dev").string(), (dir / "sys").string()));
  const Resources before;
  EXPECT_FALSE(session.COMOpen("COM1"));
  EXPECT_EQ(session.lastError(), GetParam().error) << describe(session.lastError());
  EXPECT_EQ(session.lastErrno(), GetParam().systemError) << std::strerror(session.lastErrno());
  const std::string systemText =
      GetParam().systemError != 0 ? " (" + std::string(std::strerror(GetParam().systemError)) + ")" : "";
  EXPECT_EQ(session.lastErrorText(), describe(GetParam().error) + systemText);
  EXPECT_FALSE(session.isOpen());
  EXPECT_FALSE(exchange.running());
  EXPECT_EQ(Resources(), before);
  session.COMClose();  // safe with nothing open
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortSessionOpenFailure,
    ::testing::Values(OpenFailure{"missing", "/dev/ttyUSB-no-such-device", OpenError::NotFound, ENOENT},
                      OpenFailure{"unnamed", "", OpenError::NotFound, 0},
                      OpenFailure{"null", "/dev/null", OpenError::NotSerial, ENOTTY},
                      OpenFailure{"regular", "@/regular-file", OpenError::NotSerial, ENOTTY},
                      OpenFailure{"directory", "@/empty-dev", OpenError::Other, EISDIR}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(PortSession, ASecondOpenOfTheSamePortIsBusyAndTheFirstKeepsWorking) {
  LinkRig rig;
  ASSERT_TRUE(rig.open());
  Exchange other(rig.ui);
  PortSession second(other, PortNames(mapping("COM2", rig.pty.slavePath())));
  EXPECT_FALSE(second.COMOpen("COM2"));
  EXPECT_EQ(second.lastError(), OpenError::Busy);
  // The lock's refusal, not a call of the clean-up after it.
  EXPECT_EQ(second.lastErrno(), EWOULDBLOCK) << std::strerror(second.lastErrno());
  EXPECT_FALSE(other.running());

  EXPECT_EQ(rig.send(BusRequest::probe(1)), request(buildBusRequest(1, CmdProbe), 4));
  rig.session.COMClose();
  EXPECT_TRUE(second.COMOpen("COM2"));
}

struct StepCase {
  const char* failingStep;  // "none": every step succeeds
  std::vector<std::string> stepsTaken;
};

class PortSessionSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(PortSessionSteps, RunInOrderAndAFailureClosesTheDeviceAtOnce) {
  bool destroyed = false;
  std::vector<std::string> steps;
  PumpExecutor ui;
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(mapping("COM3", "/fake")),
                      [&](const std::string& path, OpenError&) {
                        EXPECT_EQ(path, "/fake");
                        return std::make_unique<FakeLine>(GetParam().failingStep, &destroyed, &steps);
                      });
  const bool failing = std::string(GetParam().failingStep) != "none";
  errno = EBADF;  // stale: the fake's steps make no system call
  EXPECT_EQ(session.COMOpen("COM3"), !failing);
  EXPECT_EQ(session.isOpen(), !failing);
  EXPECT_EQ(exchange.running(), !failing);
  EXPECT_EQ(destroyed, failing);
  if (failing) {
    EXPECT_EQ(session.lastError(), OpenError::SettingsRejected);
    EXPECT_EQ(session.lastErrno(), 0);
    EXPECT_EQ(session.lastErrorText(), describe(OpenError::SettingsRejected));
  }
  session.COMClose();
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(exchange.running());
  EXPECT_EQ(steps, GetParam().stepsTaken);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortSessionSteps,
                         ::testing::Values(StepCase{"read settings", {"read settings"}},
                                           StepCase{"apply settings", {"read settings", "apply settings"}},
                                           StepCase{"clear timeouts",
                                                    {"read settings", "apply settings", "clear timeouts"}},
                                           // The last purge is the receive thread's as it ends.
                                           StepCase{"none",
                                                    {"read settings", "apply settings", "clear timeouts",
                                                     "queue sizes 2000 2000", "purge input", "purge input"}}),
                         [](const auto& info) {
                           std::string name = info.param.failingStep;
                           for (auto& c : name) c = c == ' ' ? '_' : c;
                           return name;
                         });

TEST(PortSession, AnOpenerThatFailsWithoutAReasonCountsAsOther) {
  PumpExecutor ui;
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(mapping("COM1", "/fake")),
                      [](const std::string&, OpenError&) { return std::unique_ptr<SerialDevice>(); });
  EXPECT_FALSE(session.COMOpen("COM1"));
  EXPECT_EQ(session.lastError(), OpenError::Other);
  EXPECT_EQ(session.lastPath(), "/fake");
}

TEST(PortSession, TwoHundredOpensAndClosesLeaveNoThreadOrDescriptorBehind) {
  LinkRig rig;
  // One cycle first: a sanitizer runtime starts a helper thread of its own at the first thread.
  ASSERT_TRUE(rig.open());
  rig.session.COMClose();
  const Resources before;
  for (int cycle = 0; cycle < 200; ++cycle) {
    ASSERT_TRUE(rig.open()) << cycle << ": " << describe(rig.session.lastError());
    if (cycle == 0) {
      EXPECT_EQ(threadCount(), before.threads + 2);
    }
    rig.session.COMClose();
  }
  EXPECT_EQ(Resources(), before);
  ASSERT_TRUE(rig.open());
  EXPECT_EQ(rig.send(BusRequest::probe(3)), request(buildBusRequest(3, CmdProbe), 4));
}

// Only a hang breaks the bound; bench/link_close prints the real figure.
TEST(PortSession, ACloseReturnsPromptlyWhenOutputCannotLeave) {
  for (const PtyPair::Stall stall : {PtyPair::Stall::Suspended, PtyPair::Stall::Full}) {
    SCOPED_TRACE(stall == PtyPair::Stall::Suspended ? "suspended" : "full");
    LinkRig rig;
    ASSERT_TRUE(rig.open());  // a sanitizer runtime's own first thread
    rig.session.COMClose();
    const Resources before;
    UniqueFd stalled = rig.pty.stallOutput(stall);
    ASSERT_GE(stalled.get(), 0);
    ASSERT_TRUE(rig.open());
    rig.exchange.sendRequest(BusRequest::readCurrent(3));
    if (stall == PtyPair::Stall::Suspended) {
      EXPECT_TRUE(rig.pty.silentFor(std::chrono::milliseconds(50))) << "the request went out";
    }
    EXPECT_FALSE(rig.exchange.transmitParked()) << "the transmit thread waits for room";

    const auto start = std::chrono::steady_clock::now();
    rig.session.COMClose();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(rig.session.isOpen());
    stalled.reset();
    // A joined thread may stay listed for a moment after the join.
    EXPECT_TRUE(rig.eventually([&] { return Resources() == before; })) << Resources();
    ASSERT_TRUE(rig.open()) << "open again at once";
  }
}

// The transmit thread cannot be started while the receive thread already
// waits in a hand-over to the thread that opens: the open must fail at once
// and leave nothing behind.
TEST(PortSession, AnOpenWhoseTransmitThreadCannotStartFailsPromptly) {
  LinkRig rig;
  ASSERT_TRUE(rig.open());  // a sanitizer runtime's own first thread
  rig.session.COMClose();
  const Resources before;
  rig.exchange.expectAnswer(kStatusResponseLength);
  int starts = 0;
  rig.exchange.setThreadStarter([&](std::function<void()> body) {
    if (++starts == 1) {
      rig.pty.write(statusFrame(3, CmdProbe));  // the receive thread's first arrival
      return std::thread(std::move(body));
    }
    if (!rig.ui.waitForTask()) ADD_FAILURE() << "the receive thread did not hand over";
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });

  // Opened on a thread of its own, so that a hang shows as a failure: the
  // executor is then pumped, which frees it.
  bool result = true;
  {
    auto opened = std::async(std::launch::async, [&] { return rig.session.COMOpen("COM1"); });
    const bool prompt = opened.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(prompt) << "the open hangs on the receive thread's hand-over";
    if (!prompt) {
      rig.eventually([&] { return opened.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    }
    result = opened.get();
  }  // its thread joined
  EXPECT_FALSE(result);
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(rig.session.lastError(), OpenError::Other);
  EXPECT_FALSE(rig.session.isOpen());
  EXPECT_FALSE(rig.exchange.running());
  rig.ui.runPending();
  EXPECT_TRUE(rig.shortAnswers.empty()) << "a handler ran after the failed open";
  // A joined thread may stay listed for a moment after the join.
  EXPECT_TRUE(rig.eventually([&] { return Resources() == before; })) << Resources();

  rig.exchange.setThreadStarter([](std::function<void()> body) { return std::thread(std::move(body)); });
  ASSERT_TRUE(rig.open());
  EXPECT_EQ(rig.send(BusRequest::probe(3)), request(buildBusRequest(3, CmdProbe), 4));
}

TEST(PortSession, TheTtyCarriesTheLineSettings) {
  PtyPair pty;
  // Opened before the session, so that it may look at the settings while the port is held exclusively.
  const UniqueFd held(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  const int observer = held.get();
  ASSERT_GE(observer, 0);
  termios t{};
  ASSERT_EQ(tcgetattr(observer, &t), 0);
  t.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP;
  t.c_oflag |= OPOST | ONLCR;
  t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  t.c_cflag |= PARENB | CSTOPB | CRTSCTS;
  ASSERT_EQ(tcsetattr(observer, TCSANOW, &t), 0);

  PumpExecutor ui;
  Exchange exchange(ui);
  PortSession session(exchange, PortNames(mapping("COM1", pty.slavePath())));
  ASSERT_TRUE(session.COMOpen("COM1")) << describe(session.lastError());
  ASSERT_EQ(tcgetattr(observer, &t), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(cfgetispeed(&t), speed_t(B2400));
  EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  session.COMClose();
}

TEST(PortSession, BinaryFramesPassUntouchedBothWays) {
  LinkRig rig;
  ASSERT_TRUE(rig.open());
  // Flow control, line endings, signals and end of file all live among these bytes.
  for (int address : {0x11, 0x13, 0x0D, 0x0A, 0x03, 0x04, 0x1A, 0x7F, 0xFF}) {
    SCOPED_TRACE(address);
    EXPECT_EQ(rig.send(BusRequest::readCurrent(address)),
              request(buildBusRequest(address, CmdReadCurrent), 4));
    Bytes frame(kReadingsResponseLength);
    for (int i = 0; i < 14; ++i) frame[i] = static_cast<std::uint8_t>(i % 2 ? address : 0x13 + i);
    frame[0] = static_cast<std::uint8_t>(address);  // the device asked
    appendCrc(frame, 14);
    rig.pty.write(frame);
    const std::size_t handled = rig.readings.size() + 1;
    ASSERT_TRUE(rig.eventually([&] { return rig.readings.size() == handled; }));
    EXPECT_EQ(rig.readings.back(), frame);
    rig.tick();
  }
}

TEST(PortSession, DescriptionsPointTheOperatorToTheCause) {
  EXPECT_NE(describe(OpenError::PermissionDenied).find("dialout"), std::string::npos);
  const OpenError all[] = {OpenError::None, OpenError::NotFound,  OpenError::PermissionDenied,
                           OpenError::Busy, OpenError::NotSerial, OpenError::SettingsRejected,
                           OpenError::Other};
  std::set<std::string> texts;
  for (OpenError e : all) texts.insert(describe(e));
  EXPECT_EQ(texts.size(), std::size(all));
}

// A process table of the given command names, as /proc shows one.
TEST(Processes, ARunningProcessIsFoundByItsCommandName) {
  const fs::path proc = fs::temp_directory_path() / ("rs485-proc-" + std::to_string(getpid()));
  const auto process = [&](const std::string& pid, const std::string& comm) {
    fs::create_directories(proc / pid);
    std::ofstream(proc / pid / "comm") << comm << '\n';
  };
  process("1", "systemd");
  process("812", "brltty");
  process("900", "very-long-comma");  // the kernel's 15 characters of "very-long-command-name"
  fs::create_directories(proc / "self");
  std::ofstream(proc / "self" / "comm") << "rs485-cli\n";  // not a process directory of its own
  EXPECT_TRUE(processRunning("brltty", proc.string()));
  EXPECT_TRUE(processRunning("very-long-command-name", proc.string()));
  EXPECT_FALSE(processRunning("brltt", proc.string()));
  EXPECT_FALSE(processRunning("rs485-cli", proc.string()));
  EXPECT_FALSE(processRunning("brltty", (proc / "missing").string()));
  fs::remove_all(proc);
  // This test program itself runs.
  EXPECT_TRUE(processRunning(fs::read_symlink("/proc/self/exe").filename().string()));
}

}  // namespace
}  // namespace rs485::test
