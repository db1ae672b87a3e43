#pragma once

#include <QChar>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "devices/found_devices.h"
#include "devices/window_view.h"

namespace rs485 {

// The one-digit editors: the working address and the new address.
enum class DigitEditor { n1_addr, n2_addr, n3_addr, new1, new2, new3 };

// Controls that take the focus after an accepted digit.
enum class NextFocus { None, n2_addr, n3_addr, readingAll, new2, new3, InstallAdress };

// What a digit editor's key filter makes of one typed character.
struct KeyVerdict {
  enum class Action { Discard, Pass, Accept };
  Action action = Action::Discard;
  NextFocus focus = NextFocus::None;  // set only with Accept

  friend bool operator==(const KeyVerdict&, const KeyVerdict&) = default;
};

inline constexpr char16_t kBackspaceKey = 8;
inline constexpr char16_t kEnterKey = 13;

// The hundreds editor takes 0..2, the others 0..9; Backspace and Enter go
// through without moving the focus; every other character is discarded.
KeyVerdict filterDigitKey(DigitEditor editor, QChar key);

inline KeyVerdict n1_addrKeyPress(QChar key) { return filterDigitKey(DigitEditor::n1_addr, key); }
inline KeyVerdict n2_addrKeyPress(QChar key) { return filterDigitKey(DigitEditor::n2_addr, key); }
inline KeyVerdict n3_addrKeyPress(QChar key) { return filterDigitKey(DigitEditor::n3_addr, key); }
inline KeyVerdict new1KeyPress(QChar key) { return filterDigitKey(DigitEditor::new1, key); }
inline KeyVerdict new2KeyPress(QChar key) { return filterDigitKey(DigitEditor::new2, key); }
inline KeyVerdict new3KeyPress(QChar key) { return filterDigitKey(DigitEditor::new3, key); }

// Strict integer conversion of an editor's text: an optional '+' or '-'
// followed by one or more decimal digits, nothing else, within int range.
std::optional<int> toInteger(const QString& text);

// Where an operation takes an address from when it needs it: the window's
// editors, or a value given. Nothing: the operation is abandoned (any error
// has been shown).
using AddressSource = std::function<std::optional<int>()>;

// The texts of three digit editors: hundreds, tens, units.
using DigitTexts = std::array<QString, 3>;

// 100 x hundreds + 10 x tens + units, from n1_addr..n3_addr or new1..new3.
// An editor without an integer shows the conversion error box and gives
// nothing: the operation is abandoned.
std::optional<int> composeAddress(WindowView& view, const DigitTexts& digits);

// A click on ListAdress: `caption` of the row clicked, none for a click on
// its empty part.
void ListAdressClick(WindowView& view, DeviceState& state, const std::optional<QString>& caption);

}  // namespace rs485
