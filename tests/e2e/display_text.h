#pragma once

// The window's right panel as the operator reads it, box by box.

#include <QString>
#include <QStringList>
#include <vector>

#include "monitor/digit_cells.h"
#include "tests/support/window_rig.h"

namespace rs485::test {

inline const std::vector<DigitCell> kTemperature = {DigitCell::tempN1, DigitCell::tempN2, DigitCell::tempN3,
                                                    DigitCell::tempN4};
inline const std::vector<DigitCell> kTime = {DigitCell::hoursH, DigitCell::hoursL, DigitCell::minutesH,
                                             DigitCell::minutesL};
inline const std::vector<DigitCell> kStep = {DigitCell::sectionH, DigitCell::sectionL};
inline const std::vector<DigitCell> kNumStep = {DigitCell::numStepH, DigitCell::numStepL};
inline const std::vector<DigitCell> kCycles = {DigitCell::hCycle, DigitCell::mCycle, DigitCell::lCycle};
inline const std::vector<DigitCell> kSetTemperature = {DigitCell::n1_temp, DigitCell::n2_temp,
                                                       DigitCell::n3_temp, DigitCell::n4_temp};
inline const std::vector<DigitCell> kSetTime = {DigitCell::hhTime, DigitCell::hlTime, DigitCell::lhTime,
                                                DigitCell::llTime};

// Every digit cell of the right panel, box by box, one group after the other.
inline QString display(const WindowRig& rig) {
  QStringList groups;
  for (const std::vector<DigitCell>& group :
       {kTemperature, kTime, kStep, kNumStep, kCycles, kSetTemperature, kSetTime}) {
    groups << rig.cellsText(group);
  }
  return groups.join(QLatin1Char(' '));
}

}  // namespace rs485::test
