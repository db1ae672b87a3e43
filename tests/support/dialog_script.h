#pragma once

// The confirmation dialog answered as an operator answers it: by a click,
// a key or its close box, from inside the dialog's own modal event loop.

#include <QEvent>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <initializer_list>
#include <optional>
#include <vector>

#include "tests/support/answer.h"
#include "ui/attention.h"
#include "ui/head_form.h"
#include "ui_Find.h"

namespace rs485::test {

// One answer given to the dialog on the screen.
inline void giveAnswer(TAttention& dialog, Answer answer) {
  const Ui::TAttention& form = dialog.form();
  switch (answer) {
    case Answer::YesDontAsk:
      QTest::mouseClick(form.All_yes, Qt::LeftButton, {}, QPoint(5, 7));
      QTest::mouseClick(form.Yes, Qt::LeftButton);
      break;
    case Answer::Yes:
      QTest::mouseClick(form.Yes, Qt::LeftButton);
      break;
    case Answer::No:
      QTest::mouseClick(form.No, Qt::LeftButton);
      break;
    case Answer::CloseBox:
      dialog.close();
      break;
    case Answer::Escape:
      QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
      break;
    case Answer::Enter:
      QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
      break;
  }
}

// What the dialog and the window showed while the question was open.
struct Question {
  QString text;
  bool checkBoxClear = false;
  bool focusOnNo = false;
  bool readTimerOff = false;
  QStringList listed;  // captions of ListAdress
  QString status;
};

// Answers the real TAttention from inside its own modal event loop, one
// scripted answer per showing; a showing with no answer left is answered
// "Нет" and counted as a fault, so that a wrong question cannot hang a test.
class DialogScript : public QObject {
 public:
  DialogScript(TAttention& dialog, THeadForm& window) : dialog_(dialog), window_(window) {
    dialog_.installEventFilter(this);
  }

  void script(std::initializer_list<Answer> answers) { answers_.insert(answers_.end(), answers); }
  // Once the scripted answers are used up, every showing gets this one.
  void answerAlways(Answer answer) { always_ = answer; }
  std::size_t answersLeft() const { return answers_.size(); }

  QList<int> askedAddresses() const {
    QList<int> addresses;
    for (const Question& q : asked) {
      const QString prefix = QStringLiteral("Найден прибор с адресом: ");
      addresses << q.text.mid(prefix.size()).section(QLatin1Char('.'), 0, 0).toInt();
    }
    return addresses;
  }

  std::vector<Question> asked;
  int unexpected = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Looked at and answered from the dialog's own event loop, once the
    // showing is complete.
    if (watched == &dialog_ && event->type() == QEvent::Show)
      QTimer::singleShot(0, &dialog_, [this] { answer(); });
    return false;
  }

 private:
  void answer() {
    const Ui::TAttention& form = dialog_.form();
    Question q;
    q.text = form.Message->text();
    q.checkBoxClear = !form.All_yes->isChecked();
    q.focusOnNo = dialog_.focusWidget() == form.No;
    q.readTimerOff = !window_.readTimer.isActive();
    const auto* list = window_.findChild<QTableWidget*>(QStringLiteral("ListAdress"));
    for (int row = 0; row < list->rowCount(); ++row) q.listed << list->item(row, 0)->text();
    q.status = window_.statusText();
    asked.push_back(q);
    Answer next = Answer::No;
    if (answers_.empty()) {
      if (always_) {
        next = *always_;
      } else {
        ++unexpected;
      }
    } else {
      next = answers_.front();
      answers_.pop_front();
    }
    giveAnswer(dialog_, next);
  }

  TAttention& dialog_;
  THeadForm& window_;
  std::deque<Answer> answers_;
  std::optional<Answer> always_;
};

}  // namespace rs485::test
