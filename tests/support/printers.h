#pragma once

#include <QString>
#include <ostream>
#include <string>

#include "monitor/digit_cells.h"

// How test values show in failure messages.

// Quoted text rather than bytes.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace rs485 {
// Cells by name.
inline void PrintTo(DigitCell cell, std::ostream* os) {
  const char* name = digitCellName(cell);
  *os << (name != nullptr ? name : "?");
}
}  // namespace rs485

namespace rs485::test {

// Table rows with a `name` show as that name. Rows kept in a file's unnamed
// namespace are looked up there only: such a file says `using test::PrintTo;`.
template <class Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// Names each instance of a parameterized test after its row's `name`.
inline constexpr auto rowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace rs485::test
