#pragma once

#include <QString>
#include <array>

#include "monitor/digit_cells.h"
#include "monitor/recording.h"
#include "protocol/readings.h"

namespace rs485 {

// What the right panel shows, as a value: the text of every digit cell.
class PanelTexts {
 public:
  // Every cell "0", as initialAll leaves the panel.
  static PanelTexts zeros();

  const QString& operator[](DigitCell cell) const { return texts_[digitCellIndex(cell)]; }
  QString& operator[](DigitCell cell) { return texts_[digitCellIndex(cell)]; }
  bool operator==(const PanelTexts&) const = default;

 private:
  std::array<QString, kDigitCells.size()> texts_;
};

// What the right panel shows: its cells, and whether the clock's colon is
// visible. Kept by the session as it writes them, so that nothing is read
// back from the window.
struct ShownPanel {
  PanelTexts cells = PanelTexts::zeros();
  bool dot = true;
};

// The panel once `answer` of the device it shows is in. A cycle count of 0
// shows "End" across the cycle cells and leaves every other cell; any other
// answer shows each field in its cells, a value whose decimal text is too
// long for them leaving those cells as they were.
PanelTexts panelAfter(const PanelTexts& shown, const ReadingsResponse& answer);

// The step and the temperature of a recording row as the panel shows them,
// so that a value the cells could not take is recorded with the digits
// shown before it.
RowTexts rowTexts(const PanelTexts& panel);

}  // namespace rs485
