#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "devices/messages.h"
#include "monitor/monitor_view.h"

namespace rs485::test {

// The window as plain fields. `log` holds the calls that change the
// window's state, in order, as readable lines; cell writes are left out
// (the cells themselves are checked).
class FakeMonitorView : public MonitorView {
 public:
  FakeMonitorView() {
    for (const auto& entry : kDigitCells) cells[entry.cell] = "0";
  }

  std::vector<std::string> log;
  QString status;
  std::vector<std::pair<QString, FocusTarget>> errors;
  int readTimerInterval = 500;
  bool readTimer = false;
  QString find = msg::findCaption();
  QStringList list;
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

  void setDigits(const char* hundreds, const char* tens, const char* units) {
    digits[0] = hundreds;
    digits[1] = tens;
    digits[2] = units;
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
  void setReadTimerActive(bool active) override {
    readTimer = active;
    note(active ? "timer on" : "timer off");
  }
  bool readTimerActive() const override { return readTimer; }
  QString findCaption() const override { return find; }
  void setFindCaption(const QString& caption) override {
    find = caption;
    note("find " + caption);
  }
  int timeoutsValue() const override { return 500; }
  void setTimeoutsEnabled(bool enabled) override { note(enabled ? "timeouts on" : "timeouts off"); }
  void setOpenCloseEnabled(bool enabled) override { note(enabled ? "openclose on" : "openclose off"); }
  void clearDeviceList() override {
    list.clear();
    selectedRow = -1;
  }
  void appendDeviceListItem(const QString& caption) override { list.append(caption); }
  void setDeviceListEnabled(bool) override {}
  int selectedDeviceListRow() const override { return selectedRow; }
  QString deviceListItemCaption(int row) const override { return list.value(row); }
  QString addressDigit(int index) const override { return digits[index]; }
  void setAddressDigit(int index, const QString& t) override { digits[index] = t; }
  QString newAddressDigit(int index) const override { return newDigits[index]; }

  // MonitorView
  QString readingAllCaption() const override { return readingAll; }
  void setReadingAllCaption(const QString& caption) override {
    readingAll = caption;
    note("readingAll " + caption);
  }
  QString wFileCaption() const override { return wFile; }
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
  void setSetpointGroupsEnabled(bool enabled) override {
    setpointGroupsEnabled = enabled;
    note(enabled ? "groups on" : "groups off");
  }
  QString cellText(DigitCell cell) const override {
    const auto it = cells.find(cell);
    if (it == cells.end()) {
      ADD_FAILURE() << "no digit cell " << static_cast<int>(cell);
      return {};
    }
    return it->second;
  }
  void setCellText(DigitCell cell, const QString& t) override {
    const auto it = cells.find(cell);
    if (it == cells.end()) {
      ADD_FAILURE() << "no digit cell " << static_cast<int>(cell);
      return;
    }
    EXPECT_EQ(t.size(), 1) << digitCellName(cell) << " takes one character";
    it->second = t;
  }
  void setDotTimerActive(bool active) override {
    dotTimer = active;
    note(active ? "dotTimer on" : "dotTimer off");
  }
  bool dotVisible() const override { return dot; }
  void setDotVisible(bool visible) override {
    dot = visible;
    note(visible ? "dot shown" : "dot hidden");
  }

 private:
  void note(const QString& line) { log.push_back(line.toStdString()); }
};

}  // namespace rs485::test

namespace rs485 {
// Cells by name in failure messages.
inline void PrintTo(DigitCell cell, std::ostream* os) {
  const char* name = digitCellName(cell);
  *os << (name != nullptr ? name : "?");
}
}  // namespace rs485
