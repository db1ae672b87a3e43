#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "link/unique_fd.h"
#include "protocol/frames.h"
#include "protocol/readings.h"
#include "tests/sim/test_port.h"

extern char** environ;

namespace rs485::sim {
namespace {

using test::Bytes;
using test::TestPort;
constexpr int kWaitMs = 5000;

using test::probe;
Bytes ack(int a) {
  Bytes b(kStatusResponseLength);
  encodeStatusResponse({static_cast<std::uint8_t>(a), CmdProbe, 0}, b.data());
  return b;
}
std::string readLink(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
  return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

// rs485-sim running as a child, its standard output on a pipe.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    args.insert(args.begin(), RS485_SIM_PROGRAM);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    out_ = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool started() const { return pid_ > 0; }

  // One line of its standard output, without the newline; empty on time-out or end.
  std::string readLine() {
    std::string line;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, kWaitMs) != 1) return {};
      char c = 0;
      if (read(out_, &c, 1) != 1) return {};
      if (c == '\n') return line;
      line += c;
    }
  }

  void signal(int number) { kill(pid_, number); }

  // Its exit code, or -1 when it did not exit normally.
  int wait() {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, 0);
    pid_ = -1;
    if (done < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

TEST(SimProgram, ServesBehindTheLinkUntilTerminated) {
  char dirName[] = "/tmp/rs485-sim-prog-XXXXXX";
  ASSERT_NE(mkdtemp(dirName), nullptr);
  const std::string link = std::string(dirName) + "/COM1";
  Child sim({"--devices", "3,9", "--link", link, "--no-pace", "--outage", "200"});
  ASSERT_TRUE(sim.started());
  const std::string path = sim.readLine();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(readLink(link), path);

  TestPort port(link);
  ASSERT_TRUE(port.valid());
  ASSERT_TRUE(port.send(probe(3)));
  EXPECT_EQ(port.read(5), ack(3));

  sim.signal(SIGUSR1);  // the line goes away
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, kWaitMs), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  sim.signal(SIGUSR1);  // and comes back on a new pty behind the same link
  const std::string back = sim.readLine();
  ASSERT_FALSE(back.empty());
  EXPECT_NE(back, path);
  EXPECT_EQ(readLink(link), back);
  TestPort again(link);
  ASSERT_TRUE(again.send(probe(9)));
  EXPECT_EQ(again.read(5), ack(9));

  // Nothing announces the new node but the link itself, renamed into place.
  const UniqueFd linkEvents(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  ASSERT_TRUE(linkEvents.valid());
  ASSERT_GE(inotify_add_watch(linkEvents.get(), dirName, IN_CREATE | IN_MOVED_TO), 0);
  sim.signal(SIGUSR2);  // away for 200 ms, back by itself
  pollfd q{again.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&q, 1, kWaitMs), 1);
  EXPECT_TRUE(q.revents & POLLHUP);
  // The old link may outlive the hang-up for a moment, so each look reads it
  // once. `again` still holds the old node, so the new one has another name.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  for (std::string target = readLink(link); target.empty() || target == back; target = readLink(link)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd e{linkEvents.get(), POLLIN, 0};
    ASSERT_EQ(poll(&e, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))), 1)
        << "no new link; it reads " << target;
    alignas(inotify_event) char events[4096];
    while (read(linkEvents.get(), events, sizeof events) > 0) {
    }
  }
  TestPort third(link);
  ASSERT_TRUE(third.valid());
  ASSERT_TRUE(third.send(probe(3)));
  EXPECT_EQ(third.read(5), ack(3));

  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is removed at exit";
  rmdir(dirName);
}

TEST(SimProgram, MistakenOptionsExitWithTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate"}, {"--devices", "300"}, {"--fault", "2:silent"}}) {
    Child sim(args);
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.wait(), 2) << testing::PrintToString(args);
  }
}

// Standard output and error of rs485-sim under `locale`, and its exit status.
std::pair<int, std::string> runUnder(const std::string& locale, const std::string& arguments) {
  const std::string command = "env -u LANG -u LANGUAGE -u LC_MESSAGES LC_ALL=" + locale + " " +
                              RS485_SIM_PROGRAM + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, {}};
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(SimProgram, SpeaksTheLanguageOfTheLocale) {
#ifndef RS485_SIM_TRANSLATED
  GTEST_SKIP() << "a build without Qt has no catalogue";
#endif
  const struct {
    const char* locale;
    const char* arguments;
    int status;
    const char* text;
    bool russian;
  } cases[] = {
      {"ru_RU.UTF-8", "--help", 0, "Использование: rs485-sim [ПАРАМЕТРЫ]", true},
      {"ru_RU.UTF-8", "--devices 3,3", 2,
       "rs485-sim: --devices называет 3 дважды\nПодробнее: rs485-sim --help", true},
      {"ru_RU.UTF-8", "--devices 7 --fault 7:late=x", 2, "неисправность late: не число: 'x'", true},
      {"ru", "--frobnicate", 2, "неизвестный параметр '--frobnicate'", true},
      {"C", "--help", 0, "Usage: rs485-sim [OPTIONS]", false},
      {"en_US.UTF-8", "--devices 3,3", 2, "--devices names 3 twice\nTry 'rs485-sim --help'.", false},
      {"rus_XX", "--speed fast", 2, "--speed: not a number: 'fast'", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.arguments);
    const auto [status, out] = runUnder(c.locale, c.arguments);
    EXPECT_EQ(status, c.status);
    EXPECT_NE(out.find(c.text), std::string::npos) << out;
    // Cyrillic letters are two bytes in UTF-8, the first 0xD0 or 0xD1.
    EXPECT_EQ(out.find_first_of("\xD0\xD1") != std::string::npos, c.russian) << out;
  }
}

}  // namespace
}  // namespace rs485::sim
