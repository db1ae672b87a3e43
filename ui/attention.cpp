#include "ui/attention.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "ui/design_scale.h"
#include "ui_Find.h"

namespace rs485 {

TAttention::TAttention(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TAttention>()) {
  useFontStandIns();
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(size());
  applyDesignFonts(this);
  // Enter presses the button that has the focus and nothing else, so the
  // buttons do not take over the dialog's default (see keyPressEvent).
  ui_->Yes->setAutoDefault(false);
  ui_->No->setAutoDefault(false);
  connect(ui_->Yes, &QPushButton::clicked, this, &TAttention::YesClick);
  connect(ui_->No, &QPushButton::clicked, this, &TAttention::NoClick);
}

TAttention::~TAttention() = default;

void TAttention::ask(const QString& confirmText) {
  ConfirmText = confirmText;
  exec();
}

void TAttention::FormShow() {
  ui_->Message->setText(ConfirmText);
  ui_->Message->adjustSize();
  ui_->All_yes->setChecked(false);
  ui_->No->setFocus(Qt::OtherFocusReason);
}

void TAttention::YesClick() {
  AskMode = ui_->All_yes->isChecked() ? ScanAnswer::GoOnWithoutAsking : ScanAnswer::AskAgain;
  accept();
}

void TAttention::NoClick() {
  AskMode = ScanAnswer::StopScan;
  reject();
}

void TAttention::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    FormShow();
  }
  QDialog::showEvent(event);
}

void TAttention::keyPressEvent(QKeyEvent* event) {
  // Esc presses "Нет" (it is the cancel button); the close box only hides
  // the dialog, through reject().
  if (event->matches(QKeySequence::Cancel)) {
    ui_->No->click();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace rs485
