#include "monitor/readings_display.h"

#include "monitor/panel_texts.h"

namespace rs485 {

ReadingsDisplay::ReadingsDisplay(MonitorView& view, Exchange& exchange, DeviceState& state, Poll& poll,
                                 Recording& recording, ShownPanel& shown)
    : view_(view), exchange_(exchange), state_(state), poll_(poll), recording_(recording), shown_(shown) {}

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
        shown_.dot = true;
      }
      const PanelTexts next = panelAfter(shown_.cells, answer);
      if (answer.cycles != 0 && recording_.recordingOn())
        recording_.recordReading(*entry, answer, rowTexts(next));
      show(next, answer.cycles == 0);
    } else if (answer.cycles != 0 && recording_.recordingOn()) {
      recording_.recordReading(*entry, answer, std::nullopt);
    }
    poll_.advance();
    if (handled_) handled_(answer);
  }
  exchange_.clearReceive();
}

// An end of the program writes the cycle cells; any other answer every cell,
// those whose digits stay as they were too.
void ReadingsDisplay::show(const PanelTexts& next, bool programEnded) {
  shown_.cells = next;
  if (programEnded) {
    for (const DigitCell cell : {DigitCell::hCycle, DigitCell::mCycle, DigitCell::lCycle})
      view_.setCellText(cell, next[cell]);
    return;
  }
  for (const auto& entry : kDigitCells) view_.setCellText(entry.cell, next[entry.cell]);
}

void ReadingsDisplay::dotTimerTimer() {
  shown_.dot = !shown_.dot;
  view_.setDotVisible(shown_.dot);
}

}  // namespace rs485
