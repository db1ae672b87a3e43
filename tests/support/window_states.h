#pragma once

// The main window's states as a table of its controls: what the operator
// finds each control to be (effectively enabled or not, its caption or
// text, for the address editors whether typing is refused), and the check
// that tells every control that differs.

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "devices/messages.h"
#include "monitor/digit_cells.h"
#include "ui/head_form.h"

namespace rs485::test {

// One control; no text means none worth checking.
struct Expected {
  const char* name;
  bool enabled;
  std::optional<QString> text = {};
  std::optional<bool> readOnly = {};
};

inline QString shownText(const QWidget* widget) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  return {};
}

// The rows changed by name.
inline std::vector<Expected> with(std::vector<Expected> rows, const Expected& change) {
  for (Expected& row : rows) {
    if (QLatin1String(row.name) == QLatin1String(change.name)) row = change;
  }
  return rows;
}

// The editors, the interval and the digit cells show what the operator and
// the devices put there; these names keep their states but lose their texts.
inline bool showsData(const QString& name) {
  static const QStringList editors = {QStringLiteral("Timeouts"), QStringLiteral("n1_addr"),
                                      QStringLiteral("n2_addr"),  QStringLiteral("n3_addr"),
                                      QStringLiteral("new1"),     QStringLiteral("new2"),
                                      QStringLiteral("new3")};
  return editors.contains(name) || digitCellNamed(name.toStdString()).has_value();
}

inline std::vector<Expected> closedState() {
  const QString zero = QStringLiteral("0");
  std::vector<Expected> rows = {
      {"InstallPort", true, QStringLiteral("Установка порта")},
      {"Ports", true, QStringLiteral("COM1")},
      {"OpenClose", true, msg::openCaption()},
      {"Timeouts", false, QStringLiteral("500")},
      {"UpDown", false},
      {"Find", false, msg::findCaption()},
      {"ListAdress", false},
      {"n1_addr", false, zero},
      {"n2_addr", false, zero},
      {"n3_addr", false, zero},
      {"new1", false, zero},
      {"new2", false, zero},
      {"new3", false, zero},
      {"InstallAdress", false, QStringLiteral("Новый адрес")},
      {"PanelAction", false},
      {"readingAll", false, msg::readingAllCaption()},
      {"wFile", false, msg::recordCaption()},
      {"GroupBox4", false, QString()},
      {"gb_temp", false, QStringLiteral("Температура")},
      {"gb_time", false, QStringLiteral("Время")},
      {"gb_cycle", false, QStringLiteral("Количество циклов (диапазон от 1 до 255)")},
  };
  for (const char* cell : {"tempN1", "tempN4", "hoursH", "minutesL", "sectionH", "numStepL", "n1_temp",
                           "n4_temp", "hhTime", "llTime", "hCycle", "lCycle"}) {
    rows.push_back({cell, false, zero});
  }
  return rows;
}

// Port open differs from Port closed in these controls; `list`: the flag
// ListAdress keeps once a scan has found devices.
inline std::vector<Expected> openState(bool list = false) {
  static const QStringList switchedOn = {
      QStringLiteral("Timeouts"),      QStringLiteral("UpDown"),      QStringLiteral("Find"),
      QStringLiteral("n1_addr"),       QStringLiteral("n2_addr"),     QStringLiteral("n3_addr"),
      QStringLiteral("new1"),          QStringLiteral("new2"),        QStringLiteral("new3"),
      QStringLiteral("InstallAdress"), QStringLiteral("PanelAction"), QStringLiteral("readingAll"),
      QStringLiteral("wFile")};
  std::vector<Expected> rows = closedState();
  for (Expected& row : rows) {
    const QString name = QString::fromLatin1(row.name);
    if (switchedOn.contains(name)) row.enabled = true;
    if (name.endsWith(QLatin1String("_addr"))) row.readOnly = false;
  }
  rows = with(rows, {"Ports", false, QStringLiteral("COM1")});
  rows = with(rows, {"OpenClose", true, msg::closeCaption()});
  return with(rows, {"ListAdress", list});
}

// The controls the operator reaches, as a scan or a poll leaves them after
// the port opened: the editors' and cells' texts are the test's to check.
inline std::vector<Expected> portOpenState(bool list) {
  std::vector<Expected> rows;
  for (Expected row : openState(list)) {
    const QString name = QString::fromLatin1(row.name);
    if (name == QLatin1String("InstallPort") || name == QLatin1String("PanelAction") ||
        digitCellNamed(row.name))
      continue;
    if (showsData(name)) row.text.reset();
    rows.push_back(row);
  }
  return rows;
}

inline std::vector<Expected> scanningState(bool list) {
  std::vector<Expected> rows = portOpenState(list);
  for (Expected& row : rows) {
    const QString name = QString::fromLatin1(row.name);
    if (name == QLatin1String("OpenClose") || name == QLatin1String("Timeouts") ||
        name == QLatin1String("UpDown"))
      row.enabled = false;
    if (name == QLatin1String("Find")) row.text = msg::stopCaption();
  }
  return rows;
}

// `find`: the caption Find shows while polling.
inline std::vector<Expected> pollingState(bool list, const QString& find) {
  std::vector<Expected> rows = portOpenState(list);
  for (Expected& row : rows) {
    const QString name = QString::fromLatin1(row.name);
    if (name == QLatin1String("OpenClose") || name == QLatin1String("Timeouts") ||
        name == QLatin1String("UpDown") || name.startsWith(QLatin1String("new")) ||
        name == QLatin1String("InstallAdress")) {
      row.enabled = false;
    }
    if (name == QLatin1String("Find")) {
      row.enabled = false;
      row.text = find;
    }
    if (name.endsWith(QLatin1String("_addr"))) row.readOnly = true;
    if (name == QLatin1String("readingAll")) row.text = msg::stopCaption();
  }
  return rows;
}

// Every control that differs from the rows, one line each; empty when all agree.
inline QString stateFaults(const THeadForm& window, const std::vector<Expected>& rows) {
  QStringList faults;
  for (const Expected& row : rows) {
    const auto* widget = window.findChild<QWidget*>(QString::fromLatin1(row.name));
    if (widget == nullptr) {
      faults << QStringLiteral("%1 missing").arg(QLatin1String(row.name));
      continue;
    }
    if (widget->isEnabled() != row.enabled) {
      faults << QStringLiteral("%1 %2").arg(QLatin1String(row.name),
                                            row.enabled ? QStringLiteral("off") : QStringLiteral("on"));
    }
    if (row.text && shownText(widget) != *row.text) {
      faults << QStringLiteral("%1 shows \"%2\", expected \"%3\"")
                    .arg(QLatin1String(row.name), shownText(widget), *row.text);
    }
    if (row.readOnly) {
      const auto* edit = qobject_cast<const QLineEdit*>(widget);
      if (edit == nullptr || edit->isReadOnly() != *row.readOnly) {
        faults << QStringLiteral("%1 read-only %2").arg(QLatin1String(row.name)).arg(!*row.readOnly);
      }
    }
  }
  return faults.join(QLatin1String("; "));
}

// The state of every control of the table, to compare before and after.
inline QStringList snapshot(const THeadForm& window) {
  QStringList seen;
  for (const Expected& row : closedState()) {
    const auto* widget = window.findChild<QWidget*>(QString::fromLatin1(row.name));
    seen << QStringLiteral("%1 %2 %3")
                .arg(QLatin1String(row.name))
                .arg(widget->isEnabled())
                .arg(shownText(widget));
  }
  seen << window.statusText();
  return seen;
}

}  // namespace rs485::test

// Fails the Qt test with every control that differs from the rows.
#define RS485_VERIFY_STATE(window, rows)                                 \
  do {                                                                   \
    const QString stateFaults_ = rs485::test::stateFaults(window, rows); \
    QVERIFY2(stateFaults_.isEmpty(), qPrintable(stateFaults_));          \
  } while (false)
