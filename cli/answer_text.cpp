#include "cli/answer_text.h"

#include "monitor/data_text.h"

namespace rs485::cli {

QString answerText(const PanelTexts& panel, int address, const ReadingsResponse& answer) {
  const auto c = [&](DigitCell cell) { return panel[cell]; };
  const QString status = QStringLiteral("status %1").arg(answer.statusByte);
  if (answer.cycles == 0) {
    return QStringLiteral("%1: цикл - %2%3%4  %5")
        .arg(address)
        .arg(c(DigitCell::hCycle), c(DigitCell::mCycle), c(DigitCell::lCycle), status);
  }
  const QString temperature = c(DigitCell::tempN1) + c(DigitCell::tempN2) + c(DigitCell::tempN3) +
                              QStringLiteral(",") + c(DigitCell::tempN4);
  const QString time = c(DigitCell::hoursH) + c(DigitCell::hoursL) + QStringLiteral(" ч. ") +
                       c(DigitCell::minutesH) + c(DigitCell::minutesL) + QStringLiteral(" м.");
  const QString step = QStringLiteral("шаг ") + c(DigitCell::sectionH) + c(DigitCell::sectionL) +
                       QStringLiteral(" (") + c(DigitCell::numStepH) + c(DigitCell::numStepL) +
                       QStringLiteral(")");
  const QString cycles =
      QStringLiteral("цикл - ") + c(DigitCell::hCycle) + c(DigitCell::mCycle) + c(DigitCell::lCycle);
  const QString setTemperature = c(DigitCell::n1_temp) + c(DigitCell::n2_temp) + c(DigitCell::n3_temp) +
                                 QStringLiteral(",") + c(DigitCell::n4_temp);
  const QString setTime = c(DigitCell::hhTime) + c(DigitCell::hlTime) + QStringLiteral(" ч. ") +
                          c(DigitCell::lhTime) + c(DigitCell::llTime) + QStringLiteral(" м.");
  return QStringLiteral("%1: %2 °C  %3  %4  %5  уставки %6 °C %7  %8")
      .arg(QString::number(address), temperature, time, step, cycles, setTemperature, setTime, status);
}

QByteArray answerJson(const QDateTime& time, int address, const ReadingsResponse& answer) {
  const QByteArray head =
      "{\"time\":\"" + isoTimeWithOffset(time).toLatin1() + "\",\"address\":" + QByteArray::number(address);
  const QByteArray status = ",\"status\":" + QByteArray::number(answer.statusByte);
  if (answer.cycles == 0) return head + status + ",\"end\":true}";
  return head + ",\"temperature\":" + decimalTenths(answer.temperature) +
         ",\"time_minutes\":" + QByteArray::number(answer.timeMinutes) +
         ",\"step\":" + QByteArray::number(answer.step) + ",\"cycles\":" + QByteArray::number(answer.cycles) +
         ",\"num_step\":" + QByteArray::number(answer.numStep) +
         ",\"set_temperature\":" + decimalTenths(answer.setTemperature) +
         ",\"set_time_minutes\":" + QByteArray::number(answer.setTimeMinutes) + status + ",\"end\":false}";
}

QByteArray foundJson(int address) { return "{\"address\":" + QByteArray::number(address) + "}"; }

QByteArray unreadableJson(int address) {
  return "{\"address\":" + QByteArray::number(address) + ",\"unreadable\":true}";
}

}  // namespace rs485::cli
