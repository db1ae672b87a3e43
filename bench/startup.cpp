// Start-up of the real program: from the fork of rs485-master to its main
// window shown (exposed), and its resident memory then. The program is run
// with RS485_EXIT_WHEN_SHOWN=1, which makes it print "shown" once the window
// is first exposed and quit; VmRSS is read from /proc at that line (the
// program held stopped meanwhile), and the peak resident size comes from
// wait4 once it has ended.
//
//   startup [--runs N] [--xvfb] [--binary PATH]
// Without --xvfb the program runs on the offscreen platform; with it, also
// under a private Xvfb server (platform xcb) that this program starts.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/process_figures.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Run {
  bool ok = false;
  double shownMs = 0;
  long rssKiB = -1;   // VmRSS when the line came
  long peakKiB = -1;  // ru_maxrss at the end
};

// Reads from fd until a line equal to `wanted` or the time-out.
bool waitForLine(int fd, std::string_view wanted, int timeoutMs) {
  std::string text;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      if (std::string_view(text).substr(start, end - start) == wanted) return true;
    }
    text.erase(0, start);
  }
}

Run runOnce(const std::string& binary, const char* platform, const std::string& display) {
  Run run;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return run;
  const auto started = SteadyClock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    setenv("RS485_EXIT_WHEN_SHOWN", "1", 1);
    setenv("QT_QPA_PLATFORM", platform, 1);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return run;
  }
  const bool shown = waitForLine(out[0], "shown", 30000);
  const auto shownAt = SteadyClock::now();
  if (shown) {
    // Held still while its memory is read: it quits right after the line.
    kill(pid, SIGSTOP);
    run.rssKiB = rs485::test::residentKiB(pid);
    kill(pid, SIGCONT);
  }
  if (!shown) kill(pid, SIGKILL);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  close(out[0]);
  run.ok = shown && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.shownMs = std::chrono::duration<double, std::milli>(shownAt - started).count();
  run.peakKiB = usage.ru_maxrss;
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void series(const std::string& binary, int runs, const char* platform, const std::string& display,
            const char* label) {
  std::vector<double> times, rss, peak;
  std::printf("  %s:\n", label);
  for (int i = 0; i < runs; ++i) {
    const Run run = runOnce(binary, platform, display);
    if (!run.ok) {
      std::printf("    run %d: the window was not shown (or the program failed)\n", i + 1);
      continue;
    }
    const std::string rssText =
        run.rssKiB > 0 ? std::to_string(run.rssKiB) + " KiB" : std::string("n/a (gone)");
    std::printf("    run %d: shown after %7.1f ms, VmRSS then %s, peak RSS %ld KiB\n", i + 1, run.shownMs,
                rssText.c_str(), run.peakKiB);
    times.push_back(run.shownMs);
    if (run.rssKiB > 0) rss.push_back(static_cast<double>(run.rssKiB));
    peak.push_back(static_cast<double>(run.peakKiB));
  }
  if (times.empty()) return;
  std::printf(
      "    median of %zu: start -> shown %.1f ms (min %.1f, max %.1f), VmRSS %.0f KiB (%.1f MiB), peak %.0f "
      "KiB\n",
      times.size(), median(times), *std::min_element(times.begin(), times.end()),
      *std::max_element(times.begin(), times.end()), median(rss), median(rss) / 1024.0, median(peak));
}

// A private X server; its display name, or empty when none could start.
std::string startXvfb(pid_t& pid) {
  int ready[2];
  if (pipe(ready) != 0) return {};
  pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const std::string fd = std::to_string(ready[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "1920x1080x24",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  std::string number;
  char c;
  pollfd p{ready[0], POLLIN, 0};
  while (poll(&p, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
  close(ready[0]);
  return number.empty() ? std::string() : ":" + number;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool xvfb = false;
  std::string binary = RS485_MASTER;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (argument == "--xvfb")
      xvfb = true;
    else if (argument == "--binary" && i + 1 < argc)
      binary = argv[++i];
  }
  double load[3] = {0, 0, 0};
  std::ifstream("/proc/loadavg") >> load[0] >> load[1] >> load[2];
  std::printf("start-up of %s: fork -> main window exposed (RS485_EXIT_WHEN_SHOWN=1), %d runs each\n",
              binary.c_str(), runs);
  std::printf("  (load average at start %.2f %.2f %.2f)\n", load[0], load[1], load[2]);
  series(binary, runs, "offscreen", {}, "QT_QPA_PLATFORM=offscreen");
  if (xvfb) {
    pid_t server = -1;
    const std::string display = startXvfb(server);
    if (display.empty()) {
      std::printf("  xcb under Xvfb: Xvfb did not start\n");
    } else {
      series(binary, runs, "xcb", display, ("QT_QPA_PLATFORM=xcb under Xvfb " + display).c_str());
    }
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
  }
  return 0;
}
