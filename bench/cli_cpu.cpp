// CPU time and peak memory of `rs485-cli poll` while it polls 8 simulated
// devices, the simulator pacing its answers like a 2400-baud line.
//
// The simulator runs in this process; rs485-cli is started as a program of
// its own on the simulator's pty. Its CPU time over the measured window is
// the sum of its threads' run time (/proc/PID/task/*/schedstat, in ns),
// taken after a warm-up so that the start (loading Qt, opening the port) is
// counted apart. Peak memory is the child's ru_maxrss after it has ended.
//   cli_cpu [--seconds N] [--warmup S] [--record]

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_server.h"

extern char** environ;

namespace {

// Nanoseconds the process's threads have run so far.
long long runNanos(pid_t pid) {
  long long total = 0;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return -1;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(dir + "/" + entry->d_name + "/schedstat");
    long long ns = 0;
    if (stat >> ns) total += ns;
  }
  closedir(tasks);
  return total;
}

double ms(const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; }

}  // namespace

int main(int argc, char* argv[]) {
  int seconds = 60;
  int warmup = 3;
  bool record = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (a == "--warmup" && i + 1 < argc) {
      warmup = std::atoi(argv[++i]);
    } else if (a == "--record") {
      record = true;
    } else {
      std::fprintf(stderr, "usage: cli_cpu [--seconds N] [--warmup S] [--record]\n");
      return 2;
    }
  }

  rs485::sim::SimOptions options;
  for (int address = 1; address <= 8; ++address) {
    rs485::sim::DeviceConfig device;
    device.address = address;
    options.devices.push_back(device);
  }
  rs485::sim::SimServer sim(options);
  sim.start();

  char folder[] = "/tmp/cli_cpu.XXXXXX";
  if (record && mkdtemp(folder) == nullptr) return 1;
  std::vector<std::string> args = {RS485_CLI, "--port", sim.toolPath(), "poll", "1", "2", "3", "4", "5", "6",
                                   "7",       "8"};
  if (record) {
    args.push_back("--record");
    args.push_back(folder);
  }
  std::vector<char*> argvChild;
  for (std::string& s : args) argvChild.push_back(s.data());
  argvChild.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, RS485_CLI, &actions, nullptr, argvChild.data(), environ) != 0) {
    std::perror("posix_spawn");
    return 1;
  }

  std::printf("rs485-cli poll of 8 devices (paced simulator in the benchmark's process)%s\n",
              record ? ", recording on" : "");
  std::this_thread::sleep_for(std::chrono::seconds(warmup));
  const long long before = runNanos(pid);
  const std::size_t answersBefore = sim.answersSent();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const long long after = runNanos(pid);
  const std::size_t answers = sim.answersSent() - answersBefore;
  kill(pid, SIGTERM);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);

  const double used = static_cast<double>(after - before) / 1e6;
  std::printf("  %d s after a %d s warm-up: %.1f ms = %.4f %% of one core, %zu answers\n", seconds, warmup,
              used, used / (seconds * 10.0), answers);
  std::printf("  whole run incl. start and exit: user %.1f ms, system %.1f ms\n", ms(usage.ru_utime),
              ms(usage.ru_stime));
  std::printf("  peak memory (ru_maxrss): %ld KiB (%.1f MiB); exit status %d\n", usage.ru_maxrss,
              static_cast<double>(usage.ru_maxrss) / 1024.0, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
