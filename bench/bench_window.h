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

// The rig as the benchmarks run it: on a simulator of its own
// (test::OwnSimulator) or on lines served elsewhere (test::LinesElsewhere).
template <typename Bus>
class BasicBenchRig : public test::BasicWindowRig<BenchForm, Bus> {
  using Rig = test::BasicWindowRig<BenchForm, Bus>;

 public:
  explicit BasicBenchRig(const sim::SimOptions& bus) requires Rig::kOwnSimulator : Rig(bus, setup()) {
    this->dialog->answerAlways(Answer::YesDontAsk);
  }
  explicit BasicBenchRig(PortNames ports) requires(!Rig::kOwnSimulator) : Rig(std::move(ports), setup()) {
    this->dialog->answerAlways(Answer::YesDontAsk);
  }
  ~BasicBenchRig() { this->stopAndClose(); }
  BasicBenchRig(const BasicBenchRig&) = delete;
  BasicBenchRig& operator=(const BasicBenchRig&) = delete;

 private:
  static RigSetup setup() {
    RigSetup setup;
    setup.realTime = true;
    setup.printErrors = true;
    return setup;
  }
};

using BenchRig = BasicBenchRig<test::OwnSimulator>;
using BenchLineRig = BasicBenchRig<test::LinesElsewhere>;

inline std::vector<int> addressRange(int first, int count) {
  std::vector<int> addresses(static_cast<std::size_t>(count));
  std::iota(addresses.begin(), addresses.end(), first);
  return addresses;
}

}  // namespace rs485::bench
