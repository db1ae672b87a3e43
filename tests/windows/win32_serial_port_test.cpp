// The Win32 serial device under wine, against rs485-sim on a pseudo-terminal
// that COM1 and COM12 lead to; COM2, COM4 and COM5 lead to links to nothing,
// COM3 to a plain file (scripts/windows-port-tests sets this up). Devices: 1,
// and 2, which answers 300 ms late.
#include "link/win32_serial_port.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frames.h"
#include "tests/windows/wine_host.h"

namespace rs485 {
namespace {

using namespace std::chrono_literals;

// Ends every wait of the device when a test leaves early, so that a thread
// still waiting does not hold the test's end for ever.
struct ShutdownOnExit {
  SerialDevice& device;
  ~ShutdownOnExit() { device.shutdown(); }
};
using test::WineHost;

constexpr auto kDeadline = 10s;  // far above what a loaded machine takes
constexpr int kLateDevice = 2;

std::optional<WineHost>& host() {
  static std::optional<WineHost> h = WineHost::fromEnvironment();
  return h;
}

// The device as the port session opens it.
std::unique_ptr<SerialDevice> openConfigured(const std::string& name) {
  OpenError error = OpenError::Other;
  auto device = openWin32SerialDevice(name, error);
  if (!device) return nullptr;
  if (!device->readLineSettings() || !device->applyLineSettings() || !device->clearTimeouts()) return nullptr;
  device->setQueueSizes(2000, 2000);
  device->purgeInput();
  return device;
}

// Collects `length` bytes the way the receive thread does: a wait for each
// arrival, a read of what is queued. Short when the deadline passes first.
std::vector<std::uint8_t> receive(SerialDevice& device, std::size_t length) {
  std::vector<std::uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (bytes.size() < length && std::chrono::steady_clock::now() < deadline) {
    if (device.inputQueued() == 0 && device.waitForArrival() != SerialPort::Wake::Arrival) break;
    std::array<std::uint8_t, 64> buffer{};
    const std::size_t n = device.readQueued(buffer);
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return bytes;
}

bool sendRequest(SerialDevice& device, int address) {
  const TxFrame frame = buildBusRequest(address, CmdReadCurrent);
  return device.writeAll(frame.data(), kBusRequestLength);
}

void expectReadingsAnswer(const std::vector<std::uint8_t>& answer, int address) {
  ASSERT_EQ(answer.size(), kReadingsResponseLength);
  EXPECT_EQ(answer[0], address);
  EXPECT_EQ(answer[1], CmdReadCurrent);
  EXPECT_TRUE(frameCrcMatches(answer));
}

// Waits until `ready` holds, the way an event would be waited for.
template <typename Condition>
bool waitUntil(Condition ready, std::chrono::milliseconds timeout = kDeadline) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(Win32Text, DeviceNamesAndErrors) {
  struct Name {
    std::string path;
    std::wstring device;
  };
  for (const Name& c : {Name{"COM1", L"\\\\.\\COM1"}, Name{"COM12", L"\\\\.\\COM12"},
                        Name{"COM256", L"\\\\.\\COM256"}, Name{"\\\\.\\COM7", L"\\\\.\\COM7"}}) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(win32DeviceName(c.path), c.device);
  }

  struct Code {
    DWORD code;
    OpenError error;
  };
  for (const Code& c :
       {Code{ERROR_FILE_NOT_FOUND, OpenError::NotFound}, Code{ERROR_PATH_NOT_FOUND, OpenError::NotFound},
        Code{ERROR_ACCESS_DENIED, OpenError::Busy}, Code{ERROR_SHARING_VIOLATION, OpenError::Busy},
        Code{ERROR_INVALID_FUNCTION, OpenError::NotSerial}, Code{ERROR_GEN_FAILURE, OpenError::Other}}) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(openErrorFromWin32(c.code), c.error);
    // The system's words, as one line (wine's English differs from Windows').
    const std::string words = win32ErrorText(c.code);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.find_first_of("\r\n"), std::string::npos) << words;
    EXPECT_EQ(words.find("Windows error"), std::string::npos) << words;
  }
  EXPECT_EQ(win32ErrorText(0x2345ABCDu), "Windows error 591768525");
}

class Win32Port : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!host()) GTEST_SKIP() << "runs under scripts/windows-port-tests only";
  }
};

TEST_F(Win32Port, OpensByNameAndSaysWhyNot) {
  struct Case {
    std::string name;
    OpenError error;
  };
  for (const Case& c : {Case{"COM1", OpenError::None}, Case{"COM12", OpenError::None},
                        Case{"\\\\.\\COM1", OpenError::None}, Case{"NOPORT", OpenError::NotFound},
                        // a plain file opens, but has no line state
                        Case{"COM3", OpenError::NotSerial},
                        // a link to nothing: wine opens the name and only the line state
                        // fails, so it reads as no serial device; Windows finds no port
                        Case{"COM2", OpenError::NotSerial}, Case{"COM4", OpenError::NotSerial},
                        Case{"COM5", OpenError::NotSerial}}) {
    SCOPED_TRACE(c.name);
    OpenError error = OpenError::Other;
    const auto device = openWin32SerialDevice(c.name, error);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(device != nullptr, c.error == OpenError::None);
  }
}

TEST_F(Win32Port, LineIs2400Raw8N1WithoutFlowControl) {
  auto device = openConfigured("COM1");
  ASSERT_NE(device, nullptr);
  const auto settings = host()->ask("settings");
  ASSERT_TRUE(settings.has_value());
  // As stty shows the simulator's end of the pty: speed, framing, no flow
  // control of either kind, no processing of the bytes either way.
  std::set<std::string> shown;
  std::istringstream words(*settings);
  for (std::string word; words >> word;) shown.insert(word.substr(0, word.find(';')));
  EXPECT_EQ(settings->rfind("speed 2400 baud;", 0), 0u) << *settings;
  for (const char* flag :
       {"cs8", "-parenb", "-cstopb", "cread", "clocal", "-crtscts", "-ixon", "-ixoff", "-icanon", "-echo",
        "-isig", "-iexten", "-opost", "-icrnl", "-inlcr", "-igncr", "-istrip"}) {
    EXPECT_EQ(shown.count(flag), 1u) << flag << " in " << *settings;
  }
}

TEST_F(Win32Port, RequestIsAnswered) {
  auto device = openConfigured("COM12");  // two digits: only the \\.\ name reaches it
  ASSERT_NE(device, nullptr);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(sendRequest(*device, 1));
    expectReadingsAnswer(receive(*device, kReadingsResponseLength), 1);
  }
}

TEST_F(Win32Port, PurgeDropsWhatIsQueued) {
  auto device = openConfigured("COM1");
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(sendRequest(*device, 1));
  ASSERT_TRUE(waitUntil([&] { return device->inputQueued() == static_cast<int>(kReadingsResponseLength); }));
  device->purgeInput();
  EXPECT_EQ(device->inputQueued(), 0);
  std::array<std::uint8_t, 32> buffer{};
  EXPECT_EQ(device->readQueued(buffer), 0u);
  // The next answer comes whole, with nothing of the purged one before it.
  ASSERT_TRUE(sendRequest(*device, 1));
  expectReadingsAnswer(receive(*device, kReadingsResponseLength), 1);
}

// Bytes left in the queue wake the receive thread once, however often the
// driver reports them (wine does as long as they are queued); a late answer
// wakes a wait that began long before it.
TEST_F(Win32Port, EachArrivalWakesOnceAndALateByteWakesTheWait) {
  auto device = openConfigured("COM1");
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(sendRequest(*device, 1));
  ASSERT_TRUE(waitUntil([&] { return device->inputQueued() == static_cast<int>(kReadingsResponseLength); }));
  ASSERT_EQ(device->waitForArrival(), SerialPort::Wake::Arrival);  // the bytes, seen at once

  auto waiter = std::async(std::launch::async, [&] { return device->waitForArrival(); });
  const ShutdownOnExit guard{*device};
  // Nothing new arrives: the 16 unread bytes must not wake it.
  EXPECT_EQ(waiter.wait_for(300ms), std::future_status::timeout);
  std::array<std::uint8_t, 32> buffer{};
  EXPECT_EQ(device->readQueued(buffer), kReadingsResponseLength);

  // Device 2 answers 300 ms after the request: the wait that is already
  // running sees its first byte.
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(sendRequest(*device, kLateDevice));
  ASSERT_EQ(waiter.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(waiter.get(), SerialPort::Wake::Arrival);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 250ms);
  EXPECT_GT(device->inputQueued(), 0);
  const auto rest = receive(*device, kReadingsResponseLength);
  expectReadingsAnswer(rest, kLateDevice);
}

TEST_F(Win32Port, LineUnpluggedAndPluggedBackIsReopened) {
  auto device = openConfigured("COM1");
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(device->reopen());  // the line has not gone
  ASSERT_TRUE(sendRequest(*device, 1));
  expectReadingsAnswer(receive(*device, kReadingsResponseLength), 1);

  // The receive thread waits through the whole outage and wakes for the
  // answer on the new line.
  std::atomic<int> errors{0};
  auto receiver = std::async(std::launch::async, [&] {
    for (;;) {
      const auto wake = device->waitForArrival();
      if (wake == SerialPort::Wake::Error) ++errors;
      if (wake != SerialPort::Wake::Error) return wake;
    }
  });
  const ShutdownOnExit guard{*device};

  ASSERT_EQ(host()->ask("unplug"), "ok\n");
  // The first write after the unplug fails, and nothing comes back while
  // the adapter is out.
  EXPECT_TRUE(waitUntil([&] { return !sendRequest(*device, 1); }));
  EXPECT_FALSE(device->reopen());
  EXPECT_EQ(receiver.wait_for(0ms), std::future_status::timeout);

  ASSERT_EQ(host()->ask("replug"), "ok\n");
  ASSERT_TRUE(waitUntil([&] { return device->reopen(); }));
  EXPECT_FALSE(device->reopen());  // back, and stays on the line it has
  ASSERT_TRUE(sendRequest(*device, 1));
  ASSERT_EQ(receiver.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(receiver.get(), SerialPort::Wake::Arrival);
  EXPECT_EQ(errors.load(), 0);
  expectReadingsAnswer(receive(*device, kReadingsResponseLength), 1);
}

// Every kind of wait ends soon after shutdown(), and every later one at once.
TEST_F(Win32Port, ShutdownEndsEveryWait) {
  struct Wait {
    const char* name;
    bool (*run)(SerialDevice&);  // true when it ended as a shutdown ends it
  };
  const Wait waits[] = {
      {"arrival", [](SerialDevice& d) { return d.waitForArrival() == SerialPort::Wake::Shutdown; }},
      {"pause", [](SerialDevice& d) { return !d.pause(std::chrono::minutes(10)); }},
  };
  for (const Wait& w : waits) {
    SCOPED_TRACE(w.name);
    auto device = openConfigured("COM1");
    ASSERT_NE(device, nullptr);
    auto waiter = std::async(std::launch::async, [&] { return w.run(*device); });
    EXPECT_EQ(waiter.wait_for(100ms), std::future_status::timeout);  // it does wait
    const auto asked = std::chrono::steady_clock::now();
    device->shutdown();
    ASSERT_EQ(waiter.wait_for(kDeadline), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
    EXPECT_TRUE(waiter.get());
    EXPECT_TRUE(w.run(*device));
    EXPECT_FALSE(sendRequest(*device, 1));
    EXPECT_FALSE(device->reopen());
  }
}

double cpuSeconds(HANDLE thread) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
  const auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The receive thread on a quiet line. On Windows it sleeps in WaitCommEvent;
// under wine that wait ends by itself every few milliseconds on an empty
// queue, so the thread wakes a few hundred times a second: the figure is
// printed, and bounded well below a spinning thread's 100 %.
TEST_F(Win32Port, QuietReceiveThreadUsesLittleCpu) {
  auto device = openConfigured("COM1");
  ASSERT_NE(device, nullptr);
  std::promise<HANDLE> handle;
  std::atomic<int> arrivals{0};
  std::thread receiver([&] {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    handle.set_value(self);
    while (device->waitForArrival() == SerialPort::Wake::Arrival) ++arrivals;
  });
  const HANDLE thread = handle.get_future().get();
  const double before = cpuSeconds(thread);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(1s);  // the quiet second being measured
  const double used = cpuSeconds(thread) - before;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  device->shutdown();
  receiver.join();
  CloseHandle(thread);
  ASSERT_GE(before, 0);
  const double percent = 100.0 * used / elapsed;
  std::printf("windows-port: quiet receive thread used %.1f %% of a core (%.3f s in %.3f s)\n", percent, used,
              elapsed);
  EXPECT_EQ(arrivals.load(), 0);
  EXPECT_LT(percent, 25.0);
}

}  // namespace
}  // namespace rs485
