// The figures behind the tooltip of a device's row.
#include "monitor/device_health.h"

#include <gtest/gtest.h>

namespace rs485 {
namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 0, 0));

TEST(DeviceHealth, ADeviceWithOneAnswerInTenFailingItsCrc) {
  DeviceHealth health;
  for (int i = 0; i < 20; ++i) {
    health.requestSent(3);
    if (i % 10 == 4) {
      health.answerDropped();
      health.answerDropped();  // the rest of the same answer purged by the next tick
    } else {
      health.answerAccepted(kStart.addSecs(i));
    }
  }
  const auto f = health.figures(3);
  EXPECT_EQ(f.sent, 20);
  EXPECT_EQ(f.accepted, 18);
  EXPECT_EQ(f.dropped, 2);
  EXPECT_EQ(f.unanswered, 0);
  EXPECT_EQ(health.toolTip(3),
            QStringLiteral("Запросов отправлено: 20\nОтветов принято: 18\n"
                           "Ответов отброшено (ошибка CRC, неверная длина): 2\n"
                           "Запросов без ответа: 0\nПоследний ответ: 08.12.2026 10:00:19"));
}

TEST(DeviceHealth, ADeviceThatWentSilentWhileAnotherAnswers) {
  DeviceHealth health;
  for (int i = 0; i < 6; ++i) {
    health.requestSent(17);
    if (i < 2) health.answerAccepted(kStart.addSecs(i));
    health.requestSent(42);
    health.answerAccepted(kStart.addSecs(i));
  }
  health.requestSent(17);  // in flight: not counted as unanswered yet
  const auto silent = health.figures(17);
  EXPECT_EQ(silent.sent, 7);
  EXPECT_EQ(silent.accepted, 2);
  EXPECT_EQ(silent.unanswered, 4);
  EXPECT_EQ(silent.lastAnswer, kStart.addSecs(1));
  EXPECT_EQ(health.figures(42).unanswered, 0);
  EXPECT_EQ(health.figures(42).accepted, 6);
  EXPECT_TRUE(health.toolTip(17).endsWith(
      QStringLiteral("Запросов без ответа: 4\nПоследний ответ: 08.12.2026 10:00:01")));

  // Never answered, and the port opened again: everything from zero.
  health.requestSent(5);
  EXPECT_TRUE(health.toolTip(5).endsWith(QStringLiteral("\nЕщё не отвечал")));
  health.reset();
  EXPECT_EQ(health.figures(17).sent, 0);
  health.answerAccepted(kStart);  // no request since the open: nobody's answer
  EXPECT_EQ(health.figures(17).accepted, 0);
}

}  // namespace
}  // namespace rs485
