#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "devices/window_view.h"

namespace Ui {
class TAttention;
}

namespace rs485 {

// The yes/no dialog `Attention` that the scan shows after each find. Its
// answer travels in AskMode, which lives here with the dialog (see
// ScanAnswer). The close box answers nothing and leaves AskMode as it was.
class TAttention : public QDialog, public ConfirmDialog {
  Q_OBJECT

 public:
  explicit TAttention(QWidget* parent = nullptr);
  ~TAttention() override;

  ScanAnswer askMode() const override { return AskMode; }
  void setAskMode(ScanAnswer mode) override { AskMode = mode; }
  // ConfirmText := confirmText, then shown modally; returns once it is hidden.
  void ask(const QString& confirmText) override;

  // The question of the next showing.
  QString ConfirmText;

  // On every showing: Message := ConfirmText, All_yes cleared, focus to No.
  void FormShow();
  void YesClick();
  void NoClick();

  const Ui::TAttention& form() const { return *ui_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<Ui::TAttention> ui_;
  ScanAnswer AskMode = ScanAnswer::AskAgain;
};

}  // namespace rs485
