#include "devices/selection.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/messages.h"
#include "tests/devices/rig.h"
#include "tests/support/printers.h"

namespace rs485::test {
namespace {

using test::PrintTo;  // table rows show as their name

using Action = KeyVerdict::Action;

struct ClickCase {
  const char* name;  // the caption
  int selected;
  const char* digits[3];
};

class ListClick : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ListClick, FillsTheEditorsFromTheCaption) {
  const ClickCase& c = GetParam();
  Rig rig;
  rig.view.setDigits("1", "1", "1");
  rig.view.list = {"Адрес: 1", QString::fromUtf8(c.name)};
  rig.view.selectedRow = 1;

  rig.session.selectListed(rig.view.selectedCaption());

  EXPECT_EQ(rig.state.SelectedAddress, c.selected);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.view.digits[i], QString::fromUtf8(c.digits[i])) << i;
  EXPECT_EQ(rig.view.status, "Выбрано устройство с адресом: " + QString::fromUtf8(c.name));
  EXPECT_EQ(rig.view.list.size(), 2) << "the list is not touched";
  EXPECT_EQ(rig.view.selectedRow, 1);
}

INSTANTIATE_TEST_SUITE_P(Selection, ListClick,
                         ::testing::Values(ClickCase{"Адрес: 5", 5, {"0", "0", "5"}},
                                           ClickCase{"Адрес: 47", 47, {"0", "4", "7"}},
                                           ClickCase{"Адрес: 247", 247, {"2", "4", "7"}},
                                           ClickCase{"Адрес: 100", 100, {"1", "0", "0"}},
                                           // Longer numbers set the address but no editor.
                                           ClickCase{"Адрес: 1234", 1234, {"1", "1", "1"}},
                                           // Only the first token counts.
                                           ClickCase{"Адрес: 12 Адрес: 34", 12, {"0", "1", "2"}}),
                         [](const auto& info) { return "Selects" + std::to_string(info.param.selected); });

TEST(Selection, ClickOnTheEmptyPartShowsTheCount) {
  Rig rig;
  rig.state.FoundDevices = {{3, 0}, {17, 0}, {42, 0}};
  rig.state.SelectedAddress = 17;
  rig.view.list = {"Адрес: 3", "Адрес: 17", "Адрес: 42"};
  rig.view.setDigits("0", "1", "7");
  rig.view.selectedRow = -1;

  rig.session.selectListed(rig.view.selectedCaption());

  EXPECT_EQ(rig.log, (std::vector<std::string>{"status Найдено 3 устройств"}));
  EXPECT_EQ(rig.state.SelectedAddress, 17);
  EXPECT_EQ(rig.view.digits[1], "1");
}

TEST(Selection, ClickOnARowWithoutANumberIsAConversionError) {
  Rig rig;
  rig.state.SelectedAddress = 17;
  rig.view.list = {"Адрес: x1"};
  rig.view.selectedRow = 0;
  rig.session.selectListed(rig.view.selectedCaption());
  EXPECT_EQ(rig.log, (std::vector<std::string>{"error 'x1' is not a valid integer value"}));
  EXPECT_EQ(rig.state.SelectedAddress, 17);
}

struct KeyCase {
  DigitEditor editor;
  char16_t key;
  Action action;
  NextFocus focus;
};

class KeyFilter : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyFilter, Verdict) {
  const KeyCase& c = GetParam();
  const KeyVerdict v = filterDigitKey(c.editor, QChar(c.key));
  EXPECT_EQ(v.action, c.action) << static_cast<int>(c.editor) << " key " << static_cast<int>(c.key);
  EXPECT_EQ(v.focus, c.focus) << static_cast<int>(c.editor) << " key " << static_cast<int>(c.key);
}

constexpr auto kDiscard = Action::Discard;
constexpr auto kPass = Action::Pass;
constexpr auto kAccept = Action::Accept;
constexpr auto kStay = NextFocus::None;

std::vector<KeyCase> keyCases() {
  std::vector<KeyCase> cases;
  struct Editor {
    DigitEditor editor;
    char16_t highest;
    NextFocus next;
  };
  const Editor editors[] = {{DigitEditor::n1_addr, u'2', NextFocus::n2_addr},
                            {DigitEditor::n2_addr, u'9', NextFocus::n3_addr},
                            {DigitEditor::n3_addr, u'9', NextFocus::readingAll},
                            {DigitEditor::new1, u'2', NextFocus::new2},
                            {DigitEditor::new2, u'9', NextFocus::new3},
                            {DigitEditor::new3, u'9', NextFocus::InstallAdress}};
  for (const Editor& e : editors) {
    for (char16_t d = u'0'; d <= u'9'; ++d)
      cases.push_back({e.editor, d, d <= e.highest ? kAccept : kDiscard, d <= e.highest ? e.next : kStay});
    cases.push_back({e.editor, 8, kPass, kStay});
    cases.push_back({e.editor, 13, kPass, kStay});
    for (char16_t other : {u'a', u'Z', u'а', u'/', u':', u' ', u'-', u'+', char16_t{9}, char16_t{27}, u'٣'})
      cases.push_back({e.editor, other, kDiscard, kStay});
  }
  return cases;
}

const char* editorName(DigitEditor editor) {
  switch (editor) {
    case DigitEditor::n1_addr:
      return "n1_addr";
    case DigitEditor::n2_addr:
      return "n2_addr";
    case DigitEditor::n3_addr:
      return "n3_addr";
    case DigitEditor::new1:
      return "new1";
    case DigitEditor::new2:
      return "new2";
    case DigitEditor::new3:
      return "new3";
  }
  return "editor";
}

// "n2_addr_digit_7", "new1_key_0x0D": the editor and the key typed into it.
std::string keyCaseName(const ::testing::TestParamInfo<KeyCase>& info) {
  const char16_t key = info.param.key;
  char code[16];
  if (key >= u'0' && key <= u'9') {
    std::snprintf(code, sizeof code, "digit_%c", static_cast<char>(key));
  } else {
    std::snprintf(code, sizeof code, "key_0x%04X", static_cast<unsigned>(key));
  }
  return std::string(editorName(info.param.editor)) + "_" + code;
}

INSTANTIATE_TEST_SUITE_P(Selection, KeyFilter, ::testing::ValuesIn(keyCases()), keyCaseName);

TEST(Selection, ThreeDigitsInARowWalkTheFocusToReadingAll) {
  // The window applies each verdict: the digit goes into the editor it was
  // typed in, then the focus moves on.
  Rig rig;
  DigitEditor focus = DigitEditor::n1_addr;
  std::vector<NextFocus> moves;
  for (const char16_t key : {u'3', u'2', u'x', u'9', u'9'}) {
    const KeyVerdict v = filterDigitKey(focus, QChar(key));
    if (v.action != Action::Accept) continue;
    rig.view.digits[static_cast<int>(focus)] = QString(QChar(key));
    moves.push_back(v.focus);
    if (v.focus == NextFocus::n2_addr) focus = DigitEditor::n2_addr;
    if (v.focus == NextFocus::n3_addr) focus = DigitEditor::n3_addr;
  }
  EXPECT_EQ(moves, (std::vector<NextFocus>{NextFocus::n2_addr, NextFocus::n3_addr, NextFocus::readingAll}));
  EXPECT_EQ(composeAddress(rig.view, rig.view.digitTexts()), 299);
  EXPECT_TRUE(rig.view.errors.empty());

  // 299 passes the editors; the operation that uses it refuses it.
  rig.clickInstallAdress();
  ASSERT_EQ(rig.view.errors.size(), 1u);
  EXPECT_EQ(rig.view.errors[0].first, msg::enterDeviceAddress());
}

TEST(Selection, TheNamedHandlersAreTheFilterOfTheirEditor) {
  EXPECT_EQ(n1_addrKeyPress(u'3').action, Action::Discard);
  EXPECT_EQ(n2_addrKeyPress(u'3').focus, NextFocus::n3_addr);
  EXPECT_EQ(n3_addrKeyPress(u'3').focus, NextFocus::readingAll);
  EXPECT_EQ(new1KeyPress(u'3').action, Action::Discard);
  EXPECT_EQ(new2KeyPress(u'3').focus, NextFocus::new3);
  EXPECT_EQ(new3KeyPress(u'3').focus, NextFocus::InstallAdress);
}

// A text as a test name: letters and digits as they are, signs and spaces
// by name, any other byte in hex.
std::string spelledOut(std::string_view text) {
  if (text.empty()) return "empty";
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
      name += c;
    } else if (c == '+' || c == '-' || c == ' ') {
      name += c == '+' ? "plus" : c == '-' ? "minus" : "space";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "x%02X", static_cast<unsigned char>(c));
      name += hex;
    }
  }
  return name;
}

struct IntegerCase {
  const char* name;  // the text
  std::optional<int> value;
};

class Integer : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(Integer, StrictConversion) {
  EXPECT_EQ(toInteger(QString::fromUtf8(GetParam().name)), GetParam().value) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Selection, Integer,
                         ::testing::Values(IntegerCase{"0", 0}, IntegerCase{"7", 7}, IntegerCase{"+7", 7},
                                           IntegerCase{"-7", -7}, IntegerCase{"007", 7},
                                           IntegerCase{"2147483647", 2147483647},
                                           IntegerCase{"-2147483648", -2147483647 - 1},
                                           IntegerCase{"2147483648", std::nullopt},
                                           IntegerCase{"99999999999999999999", std::nullopt},
                                           IntegerCase{"", std::nullopt}, IntegerCase{"-", std::nullopt},
                                           IntegerCase{"+", std::nullopt}, IntegerCase{" 7", std::nullopt},
                                           IntegerCase{"7 ", std::nullopt}, IntegerCase{"a", std::nullopt},
                                           IntegerCase{"1a", std::nullopt}, IntegerCase{"--7", std::nullopt},
                                           IntegerCase{"٣", std::nullopt}, IntegerCase{"$1F", std::nullopt}),
                         [](const auto& info) { return "text" + spelledOut(info.param.name); });

struct ComposeCase {
  const char* digits[3];
  std::optional<int> value;
  const char* error;
};

class Compose : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(Compose, FromTheThreeEditors) {
  const ComposeCase& c = GetParam();
  for (const bool newAddress : {false, true}) {
    Rig rig;
    if (newAddress) {
      rig.view.setNewDigits(c.digits[0], c.digits[1], c.digits[2]);
      EXPECT_EQ(composeAddress(rig.view, rig.view.newDigitTexts()), c.value);
    } else {
      rig.view.setDigits(c.digits[0], c.digits[1], c.digits[2]);
      EXPECT_EQ(composeAddress(rig.view, rig.view.digitTexts()), c.value);
    }
    if (c.error) {
      ASSERT_EQ(rig.view.errors.size(), 1u);
      EXPECT_EQ(rig.view.errors[0].first, QString::fromUtf8(c.error));
      EXPECT_EQ(rig.view.errors[0].second, FocusTarget::None);
    } else {
      EXPECT_TRUE(rig.view.errors.empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Selection, Compose,
    ::testing::Values(ComposeCase{{"0", "0", "0"}, 0, nullptr}, ComposeCase{{"2", "4", "7"}, 247, nullptr},
                      ComposeCase{{"0", "1", "7"}, 17, nullptr}, ComposeCase{{"2", "9", "9"}, 299, nullptr},
                      ComposeCase{{"", "1", "7"}, std::nullopt, "'' is not a valid integer value"},
                      // The first editor without a number is the one reported.
                      ComposeCase{{"0", "", "x"}, std::nullopt, "'' is not a valid integer value"},
                      ComposeCase{{"0", "1", "x"}, std::nullopt, "'x' is not a valid integer value"},
                      // Pasted texts of more than one character still convert.
                      ComposeCase{{"0", "-", "7"}, std::nullopt, "'-' is not a valid integer value"},
                      ComposeCase{{"0", "12", "7"}, 127, nullptr},
                      ComposeCase{{"2147483647", "0", "0"}, 2147483647, nullptr}),
    // "2_4_7", "0_empty_x", "0_minus_7": the three editors' texts.
    [](const auto& info) {
      std::string name;
      for (const char* text : info.param.digits) {
        std::string part = *text == '\0' ? "empty" : text;
        if (part == "-") part = "minus";
        name += (name.empty() ? "" : "_") + part;
      }
      return name;
    });

}  // namespace
}  // namespace rs485::test
