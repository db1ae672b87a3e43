#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "devices/window_view.h"
#include "tests/support/answer.h"
#include "tests/support/call_log.h"

namespace rs485::test {

// The confirmation dialog: each question is logged and answered as the
// test scripted it, `whileOpen` running as if during the modal loop.
class FakeDialog : public ConfirmDialog {
 public:
  explicit FakeDialog(CallLog& log) : log_(log) {}

  ScanAnswer mode = ScanAnswer::AskAgain;
  std::vector<QString> questions;
  std::deque<Answer> answers;  // taken one per question; "Да" when none is left
  std::function<void()> whileOpen;

  ScanAnswer askMode() const override { return mode; }
  void setAskMode(ScanAnswer m) override {
    mode = m;
    log_.push_back("askmode " + std::to_string(static_cast<int>(m)));
  }
  void ask(const QString& confirmText) override {
    questions.push_back(confirmText);
    log_.push_back("ask " + confirmText.toStdString());
    if (whileOpen) whileOpen();
    Answer answer = Answer::Yes;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    switch (answer) {
      case Answer::Yes:
        mode = ScanAnswer::AskAgain;
        log_.push_back("answer yes");
        break;
      case Answer::YesDontAsk:
        mode = ScanAnswer::GoOnWithoutAsking;
        log_.push_back("answer yes, don't ask");
        break;
      case Answer::No:
      case Answer::Escape:
      case Answer::Enter:
        mode = ScanAnswer::StopScan;
        log_.push_back("answer no");
        break;
      case Answer::CloseBox:
        log_.push_back("answer close box");
        break;
    }
  }

 private:
  CallLog& log_;
};

}  // namespace rs485::test
