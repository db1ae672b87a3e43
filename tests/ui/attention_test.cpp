#include "ui/attention.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "devices/messages.h"
#include "tests/support/dialog_script.h"
#include "ui_Find.h"

using namespace rs485;
using rs485::test::Answer;
using rs485::test::giveAnswer;

namespace {

// Shows the dialog modally through ask(), as the scan does, and answers it
// from inside its event loop. A dialog still open after a second is closed
// so that a fault fails the test instead of hanging it.
bool ask(TAttention& dialog, const std::function<void()>& answer, const QString& question) {
  bool answered = false;
  QTimer::singleShot(0, &dialog, [&] {
    answer();
    answered = true;
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] { dialog.done(0); });
  guard.start(1000);
  dialog.ask(question);
  const bool closedByAnswer = guard.isActive();
  return answered && closedByAnswer && !dialog.isVisible();
}

}  // namespace

Q_DECLARE_METATYPE(rs485::test::Answer)

class AttentionTest : public QObject {
  Q_OBJECT

 private slots:
  void theDialogAsLaidOut() {
    TAttention dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Attention"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Внимание"));
    QCOMPARE(dialog.size(), QSize(329, 94));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    const Ui::TAttention& form = dialog.form();
    QCOMPARE(form.Yes->text(), QStringLiteral("Да"));
    QCOMPARE(form.No->text(), QStringLiteral("Нет"));
    QCOMPARE(form.All_yes->text(), QStringLiteral("Не спрашивать"));
    QCOMPARE(form.Yes->geometry(), QRect(110, 64, 75, 25));
    QCOMPARE(form.No->geometry(), QRect(195, 64, 75, 25));
    QCOMPARE(form.All_yes->geometry(), QRect(8, 70, 97, 15));
    QCOMPARE(form.Message->pos(), QPoint(32, 24));
    QCOMPARE(dialog.font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(dialog.font().pixelSize(), 11);
    QCOMPARE(form.Message->focusPolicy(), Qt::NoFocus);
    QCOMPARE(dialog.askMode(), ScanAnswer::AskAgain);
    QVERIFY(!dialog.isVisible());
  }

  void answers_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("after");
    QTest::newRow("Enter presses Нет") << 1 << false << Answer::Enter << 2;
    QTest::newRow("Esc presses Нет") << 1 << false << Answer::Escape << 2;
    QTest::newRow("Да") << 2 << false << Answer::Yes << 1;
    QTest::newRow("Да, do not ask") << 1 << true << Answer::Yes << 3;
    QTest::newRow("Нет") << 1 << false << Answer::No << 2;
    QTest::newRow("Нет, do not ask") << 1 << true << Answer::No << 2;
    QTest::newRow("close box keeps 1") << 1 << false << Answer::CloseBox << 1;
    QTest::newRow("close box keeps 3") << 3 << true << Answer::CloseBox << 3;
  }
  void answers() {
    QFETCH(int, before);
    QFETCH(bool, ticked);
    QFETCH(Answer, answer);
    QFETCH(int, after);
    TAttention dialog;
    dialog.setAskMode(static_cast<ScanAnswer>(before));
    const bool closed = ask(
        dialog,
        [&] {
          if (ticked) QTest::mouseClick(dialog.form().All_yes, Qt::LeftButton, {}, QPoint(5, 7));
          giveAnswer(dialog, answer);
        },
        msg::foundDeviceQuestion(5));
    QVERIFY(closed);
    QCOMPARE(static_cast<int>(dialog.askMode()), after);  // the numbers the dialog's answers have
  }

  void everyShowingStartsClearWithTheFocusOnNo() {
    TAttention dialog;
    for (const int address : {5, 17}) {
      bool clear = false;
      QString shown;
      QWidget* focused = nullptr;
      const bool closed = ask(
          dialog,
          [&] {
            clear = !dialog.form().All_yes->isChecked();
            shown = dialog.form().Message->text();
            focused = dialog.focusWidget();
            dialog.form().All_yes->setChecked(true);
            giveAnswer(dialog, Answer::No);
          },
          msg::foundDeviceQuestion(address));
      QVERIFY(closed);
      QVERIFY(clear);
      QCOMPARE(shown, msg::foundDeviceQuestion(address));
      QCOMPARE(dialog.ConfirmText, msg::foundDeviceQuestion(address));
      QCOMPARE(focused, dialog.form().No);
      QCOMPARE(dialog.form().Message->width(), dialog.form().Message->sizeHint().width());
    }
  }

  void tabGoesYesNoCheckBox() {
    TAttention dialog;
    QList<QWidget*> visited;
    const bool closed = ask(
        dialog,
        [&] {
          dialog.form().Yes->setFocus();
          for (int i = 0; i < 3; ++i) {
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
            visited << dialog.focusWidget();
          }
          dialog.close();
        },
        msg::foundDeviceQuestion(5));
    QVERIFY(closed);
    const Ui::TAttention& form = dialog.form();
    QCOMPARE(visited, (QList<QWidget*>{form.No, form.All_yes, form.Yes}));
  }

  // Enter presses the button that has the focus.
  void enterOnYesAnswersYes() {
    TAttention dialog;
    dialog.setAskMode(ScanAnswer::StopScan);
    const bool closed = ask(
        dialog,
        [&] {
          dialog.form().Yes->setFocus();
          giveAnswer(dialog, Answer::Enter);
        },
        msg::foundDeviceQuestion(9));
    QVERIFY(closed);
    QCOMPARE(dialog.askMode(), ScanAnswer::AskAgain);
  }
};

QTEST_MAIN(AttentionTest)
#include "attention_test.moc"
