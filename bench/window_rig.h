#pragma once

// What the window benchmarks share: the main window on the simulator's
// pseudo-terminal with its dialog answered by itself, the event loop run
// until something holds, and the figures of the process (CPU, memory,
// threads, descriptors) and of a set of samples.

#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "devices/messages.h"
#include "sim/sim_server.h"
#include "ui/attention.h"
#include "ui/head_form.h"
#include "ui/up_down.h"
#include "ui_Find.h"
#include "ui_Main.h"

namespace rs485::bench {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline double millisBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// --- command line ----------------------------------------------------------

// "--name VALUE" or "--name=VALUE"; the fallback when absent.
inline double option(int argc, char** argv, std::string_view name, double fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == name && i + 1 < argc) return std::atof(argv[i + 1]);
    if (argument.size() > name.size() && argument.substr(0, name.size()) == name &&
        argument[name.size()] == '=') {
      return std::atof(argv[i] + name.size() + 1);
    }
  }
  return fallback;
}

inline bool flag(int argc, char** argv, std::string_view name) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] == name) return true;
  return false;
}

// --- the process -------------------------------------------------------------

inline double cpuMillis(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}
inline double processCpuMillis() { return cpuMillis(RUSAGE_SELF); }
inline double threadCpuMillis() { return cpuMillis(RUSAGE_THREAD); }

// A number field of /proc/self/status ("VmRSS" in KiB, "Threads").
inline long statusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) return std::atol(line.c_str() + name.size() + 1);
  }
  return -1;
}
inline long residentKiB() { return statusField("VmRSS"); }
inline long threadCount() { return statusField("Threads"); }

inline long openDescriptors() {
  long count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count - 1;  // the listing's own descriptor
}

// The names of the threads, as the kernel has them.
inline std::string threadNames() {
  std::string names;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::string name;
    std::getline(std::ifstream(it->path() / "comm"), name);
    names += (names.empty() ? "" : ", ") + name;
  }
  return names;
}

// What the open descriptors point at.
inline std::string descriptorTargets() {
  std::string targets;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const auto target = std::filesystem::read_symlink(it->path(), error);
    targets += (targets.empty() ? "" : ", ") + it->path().filename().string() + "->" + target.string();
  }
  return targets;
}

inline void printMachine() {
  double load[3] = {0, 0, 0};
  std::ifstream("/proc/loadavg") >> load[0] >> load[1] >> load[2];
  std::printf("  (load average at start %.2f %.2f %.2f, %u cores)\n", load[0], load[1], load[2],
              std::max(1u, static_cast<unsigned>(std::thread::hardware_concurrency())));
}

// --- samples ------------------------------------------------------------------

struct Summary {
  std::size_t count = 0;
  double min = 0, median = 0, p99 = 0, max = 0, mean = 0;
};

inline Summary summarize(std::vector<double> values) {
  Summary s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    return values[static_cast<std::size_t>(std::lround(q * static_cast<double>(values.size() - 1)))];
  };
  s.count = values.size();
  s.min = values.front();
  s.median = at(0.5);
  s.p99 = at(0.99);
  s.max = values.back();
  s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
  return s;
}

// --- the event loop -----------------------------------------------------------

// Runs the event loop for this long.
inline void runFor(milliseconds length) {
  QEventLoop loop;
  QTimer end;
  end.setTimerType(Qt::PreciseTimer);
  end.setSingleShot(true);
  QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
  end.start(length);
  loop.exec();
}

// Runs the event loop until `done` holds (looked at every `step`) or the
// time-out passes; tells which.
inline bool runUntil(const std::function<bool()>& done, milliseconds timeout,
                     milliseconds step = milliseconds(20)) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(step);
  QTimer end;
  end.setSingleShot(true);
  QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
  end.start(timeout);
  loop.exec();
  return done();
}

// --- the window -----------------------------------------------------------------

// The main window, with a note of when its digit cells were last written.
class BenchForm : public THeadForm {
 public:
  using THeadForm::THeadForm;

  void setCellText(DigitCell cell, const QString& text) override {
    THeadForm::setCellText(cell, text);
    lastCellWrite = SteadyClock::now();
    ++cellWrites;
    if (onCellWritten) onCellWritten(cell);
  }

  SteadyClock::time_point lastCellWrite{};
  std::size_t cellWrites = 0;
  std::function<void(DigitCell)> onCellWritten;
};

// Answers the confirmation dialog "Да" with "Не спрашивать" ticked as soon
// as it shows, from inside its own event loop, as an operator would.
class AutoAnswer : public QObject {
 public:
  explicit AutoAnswer(TAttention& dialog) : dialog_(dialog) { dialog_.installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dialog_ && event->type() == QEvent::Show) {
      QTimer::singleShot(0, &dialog_, [this] {
        dialog_.form().All_yes->setChecked(true);
        dialog_.form().Yes->click();
        ++answered;
      });
    }
    return false;
  }

  int answered = 0;

 private:
  TAttention& dialog_;
};

// Devices at these addresses, the readings evolving in real time unless told.
inline sim::SimOptions busOf(const std::vector<int>& addresses, bool pace = true, double speed = 1.0) {
  sim::SimOptions options;
  for (const int address : addresses) {
    sim::DeviceConfig device;
    device.address = address;
    options.devices.push_back(device);
  }
  options.pace = pace;
  options.speed = speed;
  return options;
}

inline std::vector<int> addressRange(int first, int count) {
  std::vector<int> addresses(static_cast<std::size_t>(count));
  std::iota(addresses.begin(), addresses.end(), first);
  return addresses;
}

// A shown main window, its dialog and the simulator bus on COM1; errors
// that the window would show in a box are printed instead.
// With `line` set, COM1 is that line instead and the simulator stays off.
struct BusWindow {
  explicit BusWindow(sim::SimOptions options, std::string line = {}) : sim(std::move(options)) {
    if (line.empty()) {
      sim.start();
      line = sim.toolPath();
    }
    window = std::make_unique<BenchForm>(PortNames({{"COM1", line}}));
    // Each find prepares a recording file: keep them out of the working directory.
    window->setRecordingOptions(RecordingOptions{files.path(), {}});
    window->setErrorBox([this](const QString& text) {
      errors << text;
      std::fprintf(stderr, "error box: %s\n", text.toUtf8().constData());
    });
    window->show();
    attention = std::make_unique<TAttention>(window.get());
    window->setConfirmDialog(attention.get());
    answerer = std::make_unique<AutoAnswer>(*attention);
    QCoreApplication::processEvents();
  }

  ~BusWindow() {
    if (session().isOpen()) closePort();
  }

  const Ui::THeadForm& form() const { return window->form(); }
  PortSession& session() const { return window->session(); }
  std::size_t found() const { return window->deviceState().FoundDevices.size(); }

  bool openPort() {
    form().OpenClose->click();
    return session().isOpen();
  }
  void closePort() {
    if (form().readingAll->text() != msg::readingAllCaption()) form().readingAll->click();
    if (form().Find->text() != msg::findCaption()) form().Find->click();
    form().OpenClose->click();
  }

  // A scan at `interval` ms per address with the real readTimer, stopped
  // once `devices` were found or `probes` probes went out. False when it
  // ran out of time first.
  bool scan(int interval, std::size_t devices, std::size_t probes) {
    form().UpDown->setPosition(interval);
    const std::size_t requestsBefore = sim.requestsSeen();
    form().Find->click();
    const auto wanted = [&] { return found() >= devices || sim.requestsSeen() - requestsBefore >= probes; };
    const auto limit =
        milliseconds(static_cast<long long>(interval) * static_cast<long long>(probes + 4) + 5000);
    const bool reached = runUntil(wanted, limit, milliseconds(5));
    if (form().Find->text() == msg::stopCaption()) form().Find->click();
    return reached;
  }

  // The working device: its digits into n1_addr, n2_addr, n3_addr.
  void selectAddress(int address) {
    window->setAddressDigit(0, QString::number(address / 100));
    window->setAddressDigit(1, QString::number(address / 10 % 10));
    window->setAddressDigit(2, QString::number(address % 10));
  }

  // The simulator's frame log and the found addresses, for a run that went wrong.
  void dump() const {
    std::string found;
    for (const DeviceEntry& entry : window->deviceState().FoundDevices)
      found += std::to_string(entry.address) + " ";
    std::fprintf(stderr, "found: %s\nstatus: %s\n", found.c_str(), window->statusText().toUtf8().constData());
    for (const auto& record : sim.log().snapshot())
      std::fprintf(stderr, "%s\n", sim::FrameLog::format(record).c_str());
  }

  void startPoll() { form().readingAll->click(); }
  void stopPoll() { form().readingAll->click(); }

  sim::SimServer sim;
  QTemporaryDir files;
  std::unique_ptr<BenchForm> window;
  std::unique_ptr<TAttention> attention;
  std::unique_ptr<AutoAnswer> answerer;
  QStringList errors;
};

// The offscreen platform unless the caller chose one.
inline void defaultToOffscreen() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

}  // namespace rs485::bench
