#include "monitor/readings_display.h"

#include <cstddef>

#include "monitor/digits.h"

namespace rs485 {

namespace {

template <std::size_t N>
using Names = std::array<DigitCell, N>;

using enum DigitCell;
constexpr Names<4> kTemperature{tempN1, tempN2, tempN3, tempN4};
constexpr Names<2> kHours{hoursH, hoursL};
constexpr Names<2> kMinutes{minutesH, minutesL};
constexpr Names<2> kStep{sectionH, sectionL};
constexpr Names<3> kCycles{hCycle, mCycle, lCycle};
constexpr Names<2> kNumStep{numStepH, numStepL};
constexpr Names<4> kSetTemperature{n1_temp, n2_temp, n3_temp, n4_temp};
constexpr Names<2> kSetHours{hhTime, hlTime};
constexpr Names<2> kSetMinutes{lhTime, llTime};

constexpr int kMinutesPerHour = 60;

template <std::size_t N>
std::array<QString, N> texts(const MonitorView& view, const Names<N>& names) {
  std::array<QString, N> result;
  for (std::size_t i = 0; i < N; ++i) result[i] = view.cellText(names[i]);
  return result;
}

template <std::size_t N>
void setTexts(MonitorView& view, const Names<N>& names, const std::array<QString, N>& values) {
  for (std::size_t i = 0; i < N; ++i) view.setCellText(names[i], values[i]);
}

void temperatureInto(MonitorView& view, const Names<4>& names, int tenths) {
  setTexts(view, names, showTemperature(tenths, texts(view, names)));
}
void twoInto(MonitorView& view, const Names<2>& names, int value) {
  setTexts(view, names, showTwoDigits(value, texts(view, names)));
}
void threeInto(MonitorView& view, const Names<3>& names, int value) {
  setTexts(view, names, showThreeDigits(value, texts(view, names)));
}

}  // namespace

ReadingsDisplay::ReadingsDisplay(MonitorView& view, Exchange& exchange, DeviceState& state, Poll& poll,
                                 Recording& recording)
    : view_(view), exchange_(exchange), state_(state), poll_(poll), recording_(recording) {}

void ReadingsDisplay::showReadings(const ReadingsResponse& answer) {
  DeviceEntry* entry = poll_.currentEntry();
  // The engine hands over only the answer of the device it asked; a poll
  // started again since may already stand at another entry.
  if (entry != nullptr && entry->address == answer.address) {
    if (entry->address == state_.SelectedAddress) {
      if (answer.statusByte == kBlinkStatus) {
        view_.setDotTimerActive(true);
      } else {
        view_.setDotTimerActive(false);
        view_.setDotVisible(true);
      }
      if (answer.cycles == 0) {
        setTexts(view_, kCycles, {QStringLiteral("E"), QStringLiteral("n"), QStringLiteral("d")});
      } else {
        show(answer);
        if (recording_.recordingOn()) recording_.recordReading(*entry, answer, shownTexts());
        showCyclesAndSetpoints(answer);
      }
    } else if (answer.cycles != 0 && recording_.recordingOn()) {
      recording_.recordReading(*entry, answer, std::nullopt);
    }
    poll_.advance();
  }
  exchange_.clearReceive();
}

void ReadingsDisplay::show(const ReadingsResponse& answer) {
  temperatureInto(view_, kTemperature, answer.temperature);
  twoInto(view_, kHours, answer.timeMinutes / kMinutesPerHour);
  twoInto(view_, kMinutes, answer.timeMinutes % kMinutesPerHour);
  twoInto(view_, kStep, answer.step);
}

void ReadingsDisplay::showCyclesAndSetpoints(const ReadingsResponse& answer) {
  threeInto(view_, kCycles, answer.cycles);
  twoInto(view_, kNumStep, answer.numStep);
  temperatureInto(view_, kSetTemperature, answer.setTemperature);
  twoInto(view_, kSetHours, answer.setTimeMinutes / kMinutesPerHour);
  twoInto(view_, kSetMinutes, answer.setTimeMinutes % kMinutesPerHour);
}

// The step and temperature exactly as the cells now read, so a value the
// cells could not take is recorded with the digits of the previous answer.
RowTexts ReadingsDisplay::shownTexts() const {
  const auto step = texts(view_, kStep);
  const auto t = texts(view_, kTemperature);
  return {step[0] + step[1], t[0] + t[1] + t[2] + QStringLiteral(",") + t[3]};
}

void ReadingsDisplay::dotTimerTimer() { view_.setDotVisible(!view_.dotVisible()); }

}  // namespace rs485
