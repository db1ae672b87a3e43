// The figures behind the tooltip of a device's row, counted from the
// outcomes that the engine's ledger tells.
#include "monitor/device_health.h"

#include <gtest/gtest.h>

namespace rs485 {
namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 0, 0));

// What the engine tells of one device's requests, fed to the figures as
// the window feeds them; each answer is stamped with its time.
struct Counted {
  DeviceHealth health;

  void requestSent(int address) { health.sent(address); }
  void replied(int address, BusReply::Kind kind, const QDateTime& at = {}) {
    health.count({.request = BusRequest::readCurrent(address), .kind = kind}, at);
  }
  void answerAccepted(int address, const QDateTime& at) { replied(address, BusReply::Kind::Answered, at); }
  // A drop is counted when it happens; the request's reply follows it.
  void answerDropped(int address) {
    health.dropped(address);
    replied(address, BusReply::Kind::Dropped);
  }
  void answerNotAsked(int address) { health.unasked(address); }
  DeviceHealth::Figures figures(int address) const { return health.figures(address); }
  QString toolTip(int address) const { return health.toolTip(address); }
};

TEST(DeviceHealth, ADeviceWithOneAnswerInTenFailingItsCrc) {
  Counted health;
  for (int i = 0; i < 20; ++i) {
    health.requestSent(3);
    if (i % 10 == 4) {
      health.answerDropped(3);
    } else {
      health.answerAccepted(3, kStart.addSecs(i));
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
                           "Запросов без ответа: 0\nОтветов не в свой черёд (поздних, без запроса): 0\n"
                           "Последний ответ: 08.12.2026 10:00:19"));
}

TEST(DeviceHealth, ADeviceThatWentSilentWhileAnotherAnswers) {
  Counted health;
  for (int i = 0; i < 6; ++i) {
    health.requestSent(17);
    if (i < 2) {
      health.answerAccepted(17, kStart.addSecs(i));
    } else {
      // Written and never answered, or never written at all: no answer either way.
      health.replied(17, i % 2 == 0 ? BusReply::Kind::Silent : BusReply::Kind::NotSent);
    }
    health.requestSent(42);
    health.answerAccepted(42, kStart.addSecs(i));
  }
  health.requestSent(17);  // in flight: no reply yet
  const auto silent = health.figures(17);
  EXPECT_EQ(silent.sent, 7);
  EXPECT_EQ(silent.accepted, 2);
  EXPECT_EQ(silent.unanswered, 4);
  EXPECT_EQ(silent.lastAnswer, kStart.addSecs(1));
  EXPECT_EQ(health.figures(42).unanswered, 0);
  EXPECT_EQ(health.figures(42).accepted, 6);
  EXPECT_TRUE(health.toolTip(17).endsWith(
      QStringLiteral("Запросов без ответа: 4\nОтветов не в свой черёд (поздних, без запроса): 0\n"
                     "Последний ответ: 08.12.2026 10:00:01")));

  // Never answered, and the port opened again: everything from zero.
  health.requestSent(5);
  EXPECT_TRUE(health.toolTip(5).endsWith(QStringLiteral("\nЕщё не отвечал")));
  health.health.reset();
  EXPECT_EQ(health.figures(17).sent, 0);
  EXPECT_TRUE(health.toolTip(17).startsWith(QStringLiteral("Запросов отправлено: 0\n")));
}

// Device 3 answers a tick late, in 17's time: its answers count for 3, not
// as 17's.
TEST(DeviceHealth, LateAnswersCountForTheirSender) {
  Counted health;
  for (int i = 0; i < 4; ++i) {
    health.requestSent(3);
    health.replied(3, BusReply::Kind::Silent);
    health.requestSent(17);
    health.answerNotAsked(3);
    health.answerAccepted(17, kStart.addSecs(i));
  }
  const auto late = health.figures(3);
  EXPECT_EQ(late.sent, 4);
  EXPECT_EQ(late.accepted, 0);
  EXPECT_EQ(late.unanswered, 4);
  EXPECT_EQ(late.notAsked, 4);
  EXPECT_FALSE(late.lastAnswer.isValid());
  const auto asked = health.figures(17);
  EXPECT_EQ(asked.accepted, 4);
  EXPECT_EQ(asked.notAsked, 0);
  EXPECT_EQ(asked.lastAnswer, kStart.addSecs(3));
  EXPECT_TRUE(health.toolTip(3).endsWith(
      QStringLiteral("Ответов не в свой черёд (поздних, без запроса): 4\nЕщё не отвечал")));
}

}  // namespace
}  // namespace rs485
