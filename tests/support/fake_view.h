#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices/messages.h"
#include "devices/selection.h"
#include "monitor/monitor_view.h"
#include "tests/support/call_log.h"
#include "tests/support/printers.h"

namespace rs485::test {

// The window as plain fields, for the logic of devices/ and monitor/ alike.
// `log` holds every call that changes the window, in order, as readable
// lines; the fake dialog and port controls write theirs into it too. Cell
// writes are left out: the cells themselves are checked, and a display
// that changes nothing shows as an empty log.
class FakeView : public MonitorView {
 public:
  FakeView() {
    for (const auto& entry : kDigitCells) cells[entry.cell] = "0";
  }
  FakeView(const FakeView&) = delete;
  FakeView& operator=(const FakeView&) = delete;

  CallLog log;

  QString status;
  std::vector<std::pair<QString, FocusTarget>> errors;
  int readTimerInterval = 1000;
  bool readTimer = false;
  QString find = msg::findCaption();
  int timeouts = 500;
  bool timeoutsEnabled = true;
  bool openCloseEnabled = true;
  QStringList list;
  bool listEnabled = false;
  int selectedRow = -1;
  QString digits[3] = {"0", "0", "0"};
  QString newDigits[3] = {"0", "0", "0"};

  QString readingAll = msg::readingAllCaption();
  QString wFile = msg::recordCaption();
  bool wFileChecked = false;
  std::map<DigitCell, QString> cells;
  bool setpointGroupsEnabled = false;
  bool panelEnabled = true;  // what enDisPanel last set
  bool dotTimer = false;
  bool dot = true;

  // What the editors hold, as a click on InstallAdress or readingAll takes it.
  DigitTexts digitTexts() const { return {digits[0], digits[1], digits[2]}; }
  DigitTexts newDigitTexts() const { return {newDigits[0], newDigits[1], newDigits[2]}; }
  // The caption of the row selected, as a click on the list gives it.
  std::optional<QString> selectedCaption() const {
    return selectedRow < 0 ? std::nullopt : std::optional(list.value(selectedRow));
  }

  void setDigits(const char* hundreds, const char* tens, const char* units) {
    setThree(digits, hundreds, tens, units);
  }
  void setNewDigits(const char* hundreds, const char* tens, const char* units) {
    setThree(newDigits, hundreds, tens, units);
  }
  // The displayed digits of a row of cells, joined: cellsText({DigitCell::tempN1, ...}).
  QString cellsText(const std::vector<DigitCell>& row) const {
    QString joined;
    for (const DigitCell cell : row) joined += cells.at(cell);
    return joined;
  }
  bool allCellsZero() const {
    for (const auto& [name, value] : cells)
      if (value != "0") return false;
    return true;
  }

  // WindowView
  void setStatus(const QString& t) override {
    status = t;
    note("status " + t);
  }
  void showError(const QString& t, FocusTarget focus) override {
    errors.emplace_back(t, focus);
    note("error " + t);
  }
  void setReadTimerInterval(int ms) override {
    readTimerInterval = ms;
    note("interval " + QString::number(ms));
  }
  void setReadTimerActive(bool active) override { set(readTimer, active, "timer"); }
  void setFindCaption(const QString& caption) override {
    find = caption;
    note("find " + caption);
  }
  void setTimeoutsEnabled(bool enabled) override { set(timeoutsEnabled, enabled, "timeouts"); }
  void setOpenCloseEnabled(bool enabled) override { set(openCloseEnabled, enabled, "openclose"); }
  void clearDeviceList() override {
    list.clear();
    selectedRow = -1;
    note("list clear");
  }
  void appendDeviceListItem(const QString& caption) override {
    list.append(caption);
    note("list add " + caption);
  }
  void setDeviceListEnabled(bool enabled) override { set(listEnabled, enabled, "list"); }
  void setAddressDigit(int index, const QString& t) override {
    digits[index] = t;
    note(QStringLiteral("digit %1 ").arg(index) + t);
  }

  // MonitorView
  void setReadingAllCaption(const QString& caption) override {
    readingAll = caption;
    note("readingAll " + caption);
  }
  void setWFileCaption(const QString& caption) override {
    wFile = caption;
    note("wFile " + caption);
  }
  void setWFileChecked(bool checked) override {
    wFileChecked = checked;
    note(checked ? "wFile ticked" : "wFile unticked");
  }
  void initialAll() override {
    for (const auto& entry : kDigitCells) cells[entry.cell] = "0";
    setpointGroupsEnabled = false;
    note("initialAll");
  }
  void enDisPanel(bool enable) override {
    panelEnabled = enable;
    note(enable ? "enDisPanel true" : "enDisPanel false");
  }
  void setSetpointGroupsEnabled(bool enabled) override { set(setpointGroupsEnabled, enabled, "groups"); }
  void setCellText(DigitCell cell, const QString& t) override {
    const auto it = cells.find(cell);
    if (it == cells.end()) {
      ADD_FAILURE() << "no digit cell " << static_cast<int>(cell);
      return;
    }
    EXPECT_EQ(t.size(), 1) << digitCellName(cell) << " takes one character";
    it->second = t;
  }
  void setDotTimerActive(bool active) override { set(dotTimer, active, "dotTimer"); }
  void setDotVisible(bool visible) override {
    dot = visible;
    note(visible ? "dot shown" : "dot hidden");
  }

 private:
  static void setThree(QString (&three)[3], const char* hundreds, const char* tens, const char* units) {
    three[0] = QString::fromUtf8(hundreds);
    three[1] = QString::fromUtf8(tens);
    three[2] = QString::fromUtf8(units);
  }
  // A switch: "NAME on" or "NAME off".
  void set(bool& field, bool on, const char* name) {
    field = on;
    note(QString::fromUtf8(name) + (on ? " on" : " off"));
  }
  void note(const QString& line) { log.push_back(line.toStdString()); }
};

}  // namespace rs485::test
