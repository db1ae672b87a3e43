// The figures behind the tooltip of a device's row, counted from the
// outcomes that the engine's ledger tells.
#include "monitor/device_health.h"

#include <gtest/gtest.h>

namespace rs485 {
namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(10, 0, 0));

// The engine's ledger feeding the figures, as the engine's notes do; each
// answer is stamped with `now`.
struct Counted {
  DeviceHealth health;
  QDateTime now = kStart;
  ExchangeNotes notes = health.notes([this] { return now; });
  RequestLedger ledger{notes.outcome};

  void requestSent(int address) { ledger.sent(address); }
  void answerAccepted(const QDateTime& at) {
    now = at;
    ledger.answered(std::vector<std::uint8_t>(kReadingsResponseLength));
  }
  void answerDropped() { ledger.dropped(RequestOutcome::Why::BadCrc); }
  void answerNotAsked(int address) { ledger.otherDevice(address); }
  void settle() { ledger.settle(); }
  void reset() {
    health.reset();
    ledger.forget();
  }
  DeviceHealth::Figures figures(int address) const { return health.figures(address); }
  QString toolTip(int address) const { return health.toolTip(address); }
};

TEST(DeviceHealth, ADeviceWithOneAnswerInTenFailingItsCrc) {
  Counted health;
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
                           "Запросов без ответа: 0\nОтветов не в свой черёд (поздних, без запроса): 0\n"
                           "Последний ответ: 08.12.2026 10:00:19"));
}

TEST(DeviceHealth, ADeviceThatWentSilentWhileAnotherAnswers) {
  Counted health;
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
      QStringLiteral("Запросов без ответа: 4\nОтветов не в свой черёд (поздних, без запроса): 0\n"
                     "Последний ответ: 08.12.2026 10:00:01")));

  // Never answered, and the port opened again: everything from zero.
  health.requestSent(5);
  EXPECT_TRUE(health.toolTip(5).endsWith(QStringLiteral("\nЕщё не отвечал")));
  health.reset();
  EXPECT_EQ(health.figures(17).sent, 0);
  health.answerAccepted(kStart);  // no request since the open: nobody's answer
  EXPECT_EQ(health.figures(17).accepted, 0);
}

// Device 3 answers a tick late, in 17's time: its answers count for 3, not
// as 17's, and leave 17's request waiting for its own answer.
TEST(DeviceHealth, LateAnswersCountForTheirSenderThroughTheEngineNotes) {
  Counted health;
  for (int i = 0; i < 4; ++i) {
    health.requestSent(3);
    health.requestSent(17);
    health.answerNotAsked(3);
    health.answerAccepted(kStart.addSecs(i));
  }
  health.requestSent(3);
  health.settle();  // the end of a poll: the last request is silent too
  health.settle();  // and counted once
  const auto late = health.figures(3);
  EXPECT_EQ(late.sent, 5);
  EXPECT_EQ(late.accepted, 0);
  EXPECT_EQ(late.unanswered, 5);
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
