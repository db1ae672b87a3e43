#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace rs485 {

// The one-character digit cells of the right panel, named as their controls.
enum class DigitCell {
  tempN1,
  tempN2,
  tempN3,
  tempN4,
  n1_temp,
  n2_temp,
  n3_temp,
  n4_temp,
  hoursH,
  hoursL,
  minutesH,
  minutesL,
  hhTime,
  hlTime,
  lhTime,
  llTime,
  sectionH,
  sectionL,
  numStepH,
  numStepL,
  hCycle,
  mCycle,
  lCycle,
};

struct DigitCellName {
  DigitCell cell;
  const char* name;  // the object name of the control
};

// Every digit cell, in the order in which initialAll writes them.
inline constexpr std::array<DigitCellName, 23> kDigitCells{{
    {DigitCell::tempN1, "tempN1"},     {DigitCell::tempN2, "tempN2"},     {DigitCell::tempN3, "tempN3"},
    {DigitCell::tempN4, "tempN4"},     {DigitCell::n1_temp, "n1_temp"},   {DigitCell::n2_temp, "n2_temp"},
    {DigitCell::n3_temp, "n3_temp"},   {DigitCell::n4_temp, "n4_temp"},   {DigitCell::hoursH, "hoursH"},
    {DigitCell::hoursL, "hoursL"},     {DigitCell::minutesH, "minutesH"}, {DigitCell::minutesL, "minutesL"},
    {DigitCell::hhTime, "hhTime"},     {DigitCell::hlTime, "hlTime"},     {DigitCell::lhTime, "lhTime"},
    {DigitCell::llTime, "llTime"},     {DigitCell::sectionH, "sectionH"}, {DigitCell::sectionL, "sectionL"},
    {DigitCell::numStepH, "numStepH"}, {DigitCell::numStepL, "numStepL"}, {DigitCell::hCycle, "hCycle"},
    {DigitCell::mCycle, "mCycle"},     {DigitCell::lCycle, "lCycle"},
}};

// The table's position of a cell; kDigitCells.size() for a value outside the enumeration.
constexpr std::size_t digitCellIndex(DigitCell cell) {
  const auto index = static_cast<std::size_t>(cell);
  return index < kDigitCells.size() ? index : kDigitCells.size();
}

constexpr bool digitCellsInEnumOrder() {
  for (std::size_t i = 0; i < kDigitCells.size(); ++i)
    if (digitCellIndex(kDigitCells[i].cell) != i) return false;
  return true;
}
static_assert(digitCellsInEnumOrder(), "kDigitCells lists the cells in the order of DigitCell");

// The object name of a cell; null for a value outside the enumeration.
constexpr const char* digitCellName(DigitCell cell) {
  const std::size_t index = digitCellIndex(cell);
  return index < kDigitCells.size() ? kDigitCells[index].name : nullptr;
}

// The cell whose control has this object name, if any.
constexpr std::optional<DigitCell> digitCellNamed(std::string_view name) {
  for (const DigitCellName& entry : kDigitCells)
    if (name == entry.name) return entry.cell;
  return std::nullopt;
}

}  // namespace rs485
