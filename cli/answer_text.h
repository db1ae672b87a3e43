#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "monitor/panel_texts.h"
#include "protocol/readings.h"

namespace rs485::cli {

// One answer as the window's cells show it, on one line: `panel` is the
// device's panel once the answer is in. Read from the panel rather than
// from the decoded readings, on purpose: the line is what an operator at the
// window would read, digits and rules alike.
//   7: 023,5 °C  02 ч. 10 м.  шаг 03 (07)  цикл - 005  уставки 060,0 °C 01 ч. 30 м.  status 128
// An answer with no cycles left shows only "цикл - End" and the status.
QString answerText(const PanelTexts& panel, int address, const ReadingsResponse& answer);

// One JSON object, without a line end:
// {"time":...,"address":7,"temperature":-0.5,"time_minutes":130,"step":3,"cycles":5,
//  "num_step":7,"set_temperature":60.0,"set_time_minutes":90,"status":128,"end":false}
// With no cycles left only time, address, status and "end":true.
QByteArray answerJson(const QDateTime& time, int address, const ReadingsResponse& answer);

// {"address":7}
QByteArray foundJson(int address);
// {"address":7,"unreadable":true}
QByteArray unreadableJson(int address);

}  // namespace rs485::cli
