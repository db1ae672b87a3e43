#pragma once

namespace rs485::test {

// How the operator leaves the confirmation dialog: "Да", "Да" with "Не
// спрашивать" ticked, "Нет", the close box, or Esc / Enter at the focused
// button ("Нет" has the focus when the dialog shows).
enum class Answer { Yes, YesDontAsk, No, CloseBox, Escape, Enter };

}  // namespace rs485::test
