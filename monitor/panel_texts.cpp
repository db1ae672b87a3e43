#include "monitor/panel_texts.h"

#include <cstddef>

#include "monitor/digits.h"

namespace rs485 {

namespace {

using enum DigitCell;

template <std::size_t N>
using Cells = std::array<DigitCell, N>;

constexpr Cells<4> kTemperature{tempN1, tempN2, tempN3, tempN4};
constexpr Cells<2> kHours{hoursH, hoursL};
constexpr Cells<2> kMinutes{minutesH, minutesL};
constexpr Cells<2> kStep{sectionH, sectionL};
constexpr Cells<3> kCycles{hCycle, mCycle, lCycle};
constexpr Cells<2> kNumStep{numStepH, numStepL};
constexpr Cells<4> kSetTemperature{n1_temp, n2_temp, n3_temp, n4_temp};
constexpr Cells<2> kSetHours{hhTime, hlTime};
constexpr Cells<2> kSetMinutes{lhTime, llTime};

constexpr int kMinutesPerHour = 60;

template <std::size_t N>
std::array<QString, N> get(const PanelTexts& panel, const Cells<N>& cells) {
  std::array<QString, N> texts;
  for (std::size_t i = 0; i < N; ++i) texts[i] = panel[cells[i]];
  return texts;
}

template <std::size_t N>
void put(PanelTexts& panel, const Cells<N>& cells, const std::array<QString, N>& texts) {
  for (std::size_t i = 0; i < N; ++i) panel[cells[i]] = texts[i];
}

void temperature(PanelTexts& panel, const Cells<4>& cells, int tenths) {
  put(panel, cells, showTemperature(tenths, get(panel, cells)));
}
void two(PanelTexts& panel, const Cells<2>& cells, int value) {
  put(panel, cells, showTwoDigits(value, get(panel, cells)));
}

}  // namespace

PanelTexts PanelTexts::zeros() {
  PanelTexts panel;
  panel.texts_.fill(QStringLiteral("0"));
  return panel;
}

PanelTexts panelAfter(const PanelTexts& shown, const ReadingsResponse& answer) {
  PanelTexts panel = shown;
  if (answer.cycles == 0) {
    put(panel, kCycles, {QStringLiteral("E"), QStringLiteral("n"), QStringLiteral("d")});
    return panel;
  }
  temperature(panel, kTemperature, answer.temperature);
  two(panel, kHours, answer.timeMinutes / kMinutesPerHour);
  two(panel, kMinutes, answer.timeMinutes % kMinutesPerHour);
  two(panel, kStep, answer.step);
  put(panel, kCycles, showThreeDigits(answer.cycles, get(panel, kCycles)));
  two(panel, kNumStep, answer.numStep);
  temperature(panel, kSetTemperature, answer.setTemperature);
  two(panel, kSetHours, answer.setTimeMinutes / kMinutesPerHour);
  two(panel, kSetMinutes, answer.setTimeMinutes % kMinutesPerHour);
  return panel;
}

RowTexts rowTexts(const PanelTexts& panel) {
  const auto step = get(panel, kStep);
  const auto t = get(panel, kTemperature);
  return {step[0] + step[1], t[0] + t[1] + t[2] + QStringLiteral(",") + t[3]};
}

}  // namespace rs485
