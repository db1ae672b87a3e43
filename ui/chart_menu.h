#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QTableWidget;

namespace rs485 {

// Adds to the device list a context menu with one action, "График", that
// starts rs485-chart, detached, on the recording file of the device in the
// row under the pointer. `recordingPath` gives the file of an address.
void installChartMenu(QTableWidget* list, std::function<QString(int address)> recordingPath);

// Where rs485-chart is: beside the running program, then in the build
// tree's chart/ folder, then on PATH; empty when nowhere.
QString chartProgram();

// The address a row caption of the device list names ("Адрес: 5"), or -1.
int addressOfCaption(const QString& caption);

}  // namespace rs485
