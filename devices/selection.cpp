#include "devices/selection.h"

#include <algorithm>
#include <limits>

#include "devices/messages.h"

namespace rs485 {

namespace {

struct EditorRule {
  char16_t highestDigit;
  NextFocus next;
};

EditorRule ruleOf(DigitEditor editor) {
  switch (editor) {
    case DigitEditor::n1_addr:
      return {u'2', NextFocus::n2_addr};
    case DigitEditor::n2_addr:
      return {u'9', NextFocus::n3_addr};
    case DigitEditor::n3_addr:
      return {u'9', NextFocus::readingAll};
    case DigitEditor::new1:
      return {u'2', NextFocus::new2};
    case DigitEditor::new2:
      return {u'9', NextFocus::new3};
    case DigitEditor::new3:
      return {u'9', NextFocus::InstallAdress};
  }
  return {u'9', NextFocus::None};
}

}  // namespace

KeyVerdict filterDigitKey(DigitEditor editor, QChar key) {
  const char16_t code = key.unicode();
  if (code == kBackspaceKey || code == kEnterKey) return {KeyVerdict::Action::Pass, NextFocus::None};
  const EditorRule rule = ruleOf(editor);
  if (code >= u'0' && code <= rule.highestDigit) return {KeyVerdict::Action::Accept, rule.next};
  return {KeyVerdict::Action::Discard, NextFocus::None};
}

std::optional<int> toInteger(const QString& text) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<int> composeAddress(WindowView& view, const DigitTexts& digits) {
  static constexpr long long kWeights[] = {100, 10, 1};
  long long value = 0;
  for (int index = 0; index < 3; ++index) {
    const QString& text = digits[static_cast<std::size_t>(index)];
    const std::optional<int> digit = toInteger(text);
    if (!digit) {
      view.showError(msg::notAnInteger(text), FocusTarget::None);
      return std::nullopt;
    }
    value += kWeights[index] * *digit;
  }
  // Only a pasted multi-digit text can leave int range; every check rejects it anyway.
  return static_cast<int>(
      std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void ListAdressClick(WindowView& view, DeviceState& state, const std::optional<QString>& clicked) {
  if (!clicked) {
    view.setStatus(msg::foundCount(static_cast<int>(state.FoundDevices.size())));
    return;
  }
  const QString& caption = *clicked;

  // Any character of the prefix separates tokens, so "Адрес: 17" gives "17".
  const QString separators = msg::deviceCaptionPrefix();
  QString number;
  for (const QChar c : caption) {
    if (separators.contains(c)) {
      if (!number.isEmpty()) break;
    } else {
      number.append(c);
    }
  }

  const std::optional<int> address = toInteger(number);
  if (!address) {
    view.showError(msg::notAnInteger(number), FocusTarget::None);
    return;
  }
  state.SelectedAddress = *address;

  const QString zero = QStringLiteral("0");
  switch (number.size()) {
    case 1:
      view.setAddressDigit(0, zero);
      view.setAddressDigit(1, zero);
      view.setAddressDigit(2, number.mid(0, 1));
      break;
    case 2:
      view.setAddressDigit(0, zero);
      view.setAddressDigit(1, number.mid(0, 1));
      view.setAddressDigit(2, number.mid(1, 1));
      break;
    case 3:
      view.setAddressDigit(0, number.mid(0, 1));
      view.setAddressDigit(1, number.mid(1, 1));
      view.setAddressDigit(2, number.mid(2, 1));
      break;
    default:
      break;
  }
  view.setStatus(msg::deviceSelected(caption));
}

}  // namespace rs485
