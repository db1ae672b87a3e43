// The decoding of a readings answer and the rules that spread its numbers
// over the one-character digit cells, on their own and as showReadings
// applies them to the window's cells.
//
// Input: records of 17 bytes: the 14 payload bytes of an answer (the fuzzer
// appends the CRC), a byte that says which of the found devices answers and
// whether it is the selected one, and two bytes that fill the cells given to
// the digit functions.
#include <QDateTime>
#include <QString>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "devices/found_devices.h"
#include "devices/messages.h"
#include "fuzz/fuzz_input.h"
#include "link/exchange.h"
#include "monitor/digits.h"
#include "monitor/monitor_view.h"
#include "monitor/poll.h"
#include "monitor/readings_display.h"
#include "monitor/recording.h"
#include "protocol/frames.h"
#include "protocol/readings.h"

namespace {

using namespace rs485;

using enum DigitCell;

// What a digit cell may hold: a digit, a minus, or a letter of "End".
bool validCell(const QString& text) {
  if (text.size() != 1) return false;
  const QChar c = text.at(0);
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('E') ||
         c == QLatin1Char('n') || c == QLatin1Char('d');
}

QString cellFrom(unsigned bits) {
  static const char* const kTexts[] = {"0", "1", "2", "3", "4", "5", "6", "7",
                                       "8", "9", "-", "E", "n", "d", "0", "7"};
  return QString::fromLatin1(kTexts[bits % 16]);
}

// The number that joined cells read as ("-005" reads -5); none when they
// are no number.
template <std::size_t N>
std::optional<long> readAs(const std::array<QString, N>& cells) {
  QString text;
  for (const QString& cell : cells) text += cell;
  bool ok = false;
  const long value = text.toLong(&ok);
  if (!ok) return std::nullopt;
  if (text.startsWith(QLatin1Char('-')) && value == 0) return std::nullopt;  // "-000" is no number
  return value;
}

template <std::size_t N>
void checkCells(const std::array<QString, N>& cells) {
  for (const QString& cell : cells) CHECK(validCell(cell));
}

int decimalLength(long value) { return static_cast<int>(QString::number(value).size()); }

// A value whose text fits shows in the cells; any other leaves them as they were.
void checkTemperature(int tenths, const TemperatureCells& before) {
  const TemperatureCells after = showTemperature(tenths, before);
  checkCells(after);
  const bool fits = tenths >= -999 && tenths <= 9999;
  if (fits) {
    CHECK(readAs(after) == std::optional<long>(tenths));
    CHECK((after[0] == QLatin1String("-")) == (tenths < 0));
  } else {
    CHECK(after == before);
  }
}

template <std::size_t N, typename F>
void checkDigits(int value, const std::array<QString, N>& before, F spread) {
  const std::array<QString, N> after = spread(value, before);
  checkCells(after);
  if (decimalLength(value) > static_cast<int>(N)) {
    CHECK(after == before);
  } else if (value >= 0) {
    CHECK(readAs(after) == std::optional<long>(value));
    for (const QString& cell : after) CHECK(cell != QLatin1String("-"));
  }
}

void checkRecordedTexts(int tenths, int step) {
  const QString t = recordedTemperatureText(tenths);
  CHECK(t.size() == 5);
  CHECK(t.at(3) == QLatin1Char(','));
  CHECK(t.at(0).isDigit() || t.at(0) == QLatin1Char('-'));
  CHECK(t.at(1).isDigit() && t.at(2).isDigit() && t.at(4).isDigit());
  CHECK((t.at(0) == QLatin1Char('-')) == (tenths < 0));
  if (tenths >= -999 && tenths <= 9999) {
    CHECK((t.left(3) + t.mid(4)).toLong() == tenths);
  } else {
    CHECK(t == (tenths < 0 ? QLatin1String("-00,0") : QLatin1String("000,0")));
  }

  const QString s = recordedStepText(step);
  bool ok = false;
  CHECK(s.toLong(&ok) == step && ok);
  CHECK(s.size() >= 2);
  if (step >= 0 && step <= 9) CHECK(s.at(0) == QLatin1Char('0'));
  if (step >= 10 || step < 0) CHECK(s == QString::number(step));
}

using fuzz::Input;

// The window's cells and the blinking colon as plain fields; any message
// to the operator is a fault here.
class View : public MonitorView {
 public:
  View() {
    for (const auto& entry : kDigitCells) cells[entry.cell] = QStringLiteral("0");
  }
  std::map<DigitCell, QString> cells;
  bool dotTimer = false;
  bool dot = true;

  void setStatus(const QString&) override { std::abort(); }
  void showError(const QString&, FocusTarget) override { std::abort(); }
  void setReadTimerInterval(int) override {}
  void setReadTimerActive(bool) override {}
  void setFindCaption(const QString&) override {}
  void setTimeoutsEnabled(bool) override {}
  void setOpenCloseEnabled(bool) override {}
  void clearDeviceList() override {}
  void appendDeviceListItem(const QString&) override {}
  void setDeviceListEnabled(bool) override {}
  void setAddressDigit(int, const QString&) override {}

  void setReadingAllCaption(const QString&) override {}
  void setWFileCaption(const QString&) override {}
  void setWFileChecked(bool) override {}
  void initialAll() override {}
  void enDisPanel(bool) override {}
  void setSetpointGroupsEnabled(bool) override {}
  void setCellText(DigitCell cell, const QString& text) override {
    const auto it = cells.find(cell);
    CHECK(it != cells.end());
    CHECK(validCell(text));
    it->second = text;
  }
  void setDotTimerActive(bool active) override { dotTimer = active; }
  void setDotVisible(bool visible) override { dot = visible; }
};

// No port is opened, so nothing is ever posted.
class NoUi : public UiExecutor {
 public:
  void post(std::function<void()> /*task*/) override { std::abort(); }
};

template <std::size_t N>
std::array<QString, N> group(const View& view, const std::array<DigitCell, N>& names) {
  std::array<QString, N> texts;
  for (std::size_t i = 0; i < N; ++i) texts[i] = view.cells.at(names[i]);
  return texts;
}

// A group of cells after showReadings: the value when it fits, else the
// texts from before.
template <std::size_t N>
void checkShown(const View& before, const View& after, const std::array<DigitCell, N>& names, long value,
                int fitsUpTo) {
  const auto shown = group(after, names);
  if (value > fitsUpTo || (N == 4 && value < -999)) {
    CHECK(shown == group(before, names));
  } else {
    CHECK(readAs(shown) == std::optional<long>(value));
  }
}

void checkDisplay(const std::uint8_t* input, std::uint8_t who) {
  NoUi ui;
  Exchange exchange(ui);
  View view;
  DeviceState state;
  const std::size_t devices = 1 + (who & 3);
  for (std::size_t i = 0; i < devices; ++i)
    state.FoundDevices.push_back({static_cast<std::uint8_t>(10 + i), 0});
  Recording recording(view, [] { return QDateTime(); });
  ShownPanel shown;
  Poll poll(view, exchange, state, recording, shown);
  poll.PollIndex = (who >> 2) & 3;  // may lie beyond the list
  const std::size_t answering = poll.PollIndex < devices ? poll.PollIndex : 0;
  const bool selected = (who & 0x10) != 0;
  state.SelectedAddress = selected ? state.FoundDevices[answering].address : 9;
  ReadingsDisplay display(view, exchange, state, poll, recording, shown);
  // The engine hands over only the answer of the device asked: its address byte names it.
  std::array<std::uint8_t, kReadingsResponseLength> bytes{};
  std::copy_n(input, bytes.size(), bytes.begin());
  bytes[0] = state.FoundDevices[answering].address;
  const std::uint8_t* frame = bytes.data();

  // The cells hold what an earlier answer left: "End" in the cycle cells.
  if ((who & 0x20) != 0) {
    view.cells[hCycle] = QStringLiteral("E");
    view.cells[mCycle] = QStringLiteral("n");
    view.cells[lCycle] = QStringLiteral("d");
  }
  view.dotTimer = (who & 0x40) != 0;
  view.dot = (who & 0x80) != 0;
  for (const auto& [cell, text] : view.cells) shown.cells[cell] = text;
  shown.dot = view.dot;
  const View before = view;

  const ReadingsResponse answer = decodeReadingsResponse(frame);
  display.showReadings(answer);

  for (const auto& [name, text] : view.cells) CHECK(validCell(text) && shown.cells[name] == text);
  CHECK(shown.dot == view.dot);  // what the session keeps is what the window shows
  CHECK(poll.PollIndex == (answering + 1) % devices);

  if (!selected) {
    CHECK(view.cells == before.cells);
    CHECK(view.dotTimer == before.dotTimer && view.dot == before.dot);
    return;
  }
  if (answer.statusByte == kBlinkStatus) {
    CHECK(view.dotTimer);
  } else {
    CHECK(!view.dotTimer && view.dot);
  }
  if (answer.cycles == 0) {
    View expected = before;
    expected.cells[hCycle] = QStringLiteral("E");
    expected.cells[mCycle] = QStringLiteral("n");
    expected.cells[lCycle] = QStringLiteral("d");
    CHECK(view.cells == expected.cells);
    return;
  }
  checkShown(before, view, std::array{tempN1, tempN2, tempN3, tempN4}, answer.temperature, 9999);
  checkShown(before, view, std::array{hoursH, hoursL}, answer.timeMinutes / 60, 99);
  checkShown(before, view, std::array{minutesH, minutesL}, answer.timeMinutes % 60, 99);
  checkShown(before, view, std::array{sectionH, sectionL}, answer.step, 99);
  checkShown(before, view, std::array{hCycle, mCycle, lCycle}, answer.cycles, 999);
  checkShown(before, view, std::array{numStepH, numStepL}, answer.numStep, 99);
  checkShown(before, view, std::array{n1_temp, n2_temp, n3_temp, n4_temp}, answer.setTemperature, 9999);
  checkShown(before, view, std::array{hhTime, hlTime}, answer.setTimeMinutes / 60, 99);
  checkShown(before, view, std::array{lhTime, llTime}, answer.setTimeMinutes % 60, 99);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  do {
    std::uint8_t frame[kReadingsResponseLength] = {};
    for (std::size_t i = 0; i < kReadingsResponseLength - 2; ++i) frame[i] = in.byte();
    appendCrc(frame, kReadingsResponseLength - 2);
    const std::uint8_t who = in.byte();
    const unsigned fill = static_cast<unsigned>(in.byte()) << 8 | in.byte();

    // Decoding and encoding are each other's inverse, CRC included.
    const ReadingsResponse answer = decodeReadingsResponse(frame);
    std::uint8_t again[kReadingsResponseLength] = {};
    encodeReadingsResponse(answer, again);
    CHECK(std::equal(frame, frame + kReadingsResponseLength, again));

    // The digit rules over the answer's fields and over any int (bytes 2..5
    // taken as one, big-endian).
    const TemperatureCells four = {cellFrom(fill), cellFrom(fill >> 4), cellFrom(fill >> 8),
                                   cellFrom(fill >> 12)};
    const TwoCells two = {four[0], four[1]};
    const ThreeCells three = {four[0], four[1], four[2]};
    const int wide = static_cast<int>(static_cast<std::uint32_t>(frame[2]) << 24 |
                                      static_cast<std::uint32_t>(frame[3]) << 16 |
                                      static_cast<std::uint32_t>(frame[4]) << 8 | frame[5]);
    for (int value :
         {wide, static_cast<int>(answer.temperature), static_cast<int>(answer.setTemperature),
          static_cast<int>(answer.timeMinutes), answer.timeMinutes / 60, answer.timeMinutes % 60,
          static_cast<int>(answer.step), static_cast<int>(answer.cycles), static_cast<int>(answer.numStep),
          answer.setTimeMinutes / 60, answer.setTimeMinutes % 60}) {
      checkTemperature(value, four);
      checkDigits(value, two, showTwoDigits);
      checkDigits(value, three, showThreeDigits);
      checkRecordedTexts(value, value);
    }

    checkDisplay(frame, who);
  } while (!in.empty());
  return 0;
}
