#pragma once

// The window benchmarks run the tests' window rig with real timers and the
// system's clock, every question answered "Да" with "Не спрашивать" ticked
// as an operator would, and a window that notes when its cells are written.

#include <chrono>
#include <cstddef>
#include <functional>
#include <numeric>
#include <vector>

#include "bench/command_line.h"
#include "bench/samples.h"
#include "tests/support/process_figures.h"
#include "tests/support/sim_bus.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_rig.h"
#include "ui/head_form.h"

namespace rs485::bench {

using std::chrono::milliseconds;
using namespace rs485::test;

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

// The rig as the benchmarks run it.
class BenchRig : public test::BasicWindowRig<BenchForm> {
 public:
  explicit BenchRig(const sim::SimOptions& bus) : BasicWindowRig(bus, setup()) {
    dialog->answerAlways(Answer::YesDontAsk);
  }
  explicit BenchRig(PortNames ports) : BasicWindowRig(std::move(ports), setup()) {
    dialog->answerAlways(Answer::YesDontAsk);
  }
  ~BenchRig() { stopAndClose(); }
  BenchRig(const BenchRig&) = delete;
  BenchRig& operator=(const BenchRig&) = delete;

 private:
  static RigSetup setup() {
    RigSetup setup;
    setup.realTime = true;
    setup.printErrors = true;
    return setup;
  }
};

inline std::vector<int> addressRange(int first, int count) {
  std::vector<int> addresses(static_cast<std::size_t>(count));
  std::iota(addresses.begin(), addresses.end(), first);
  return addresses;
}

}  // namespace rs485::bench
