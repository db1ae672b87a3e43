#include "ui/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace rs485 {

namespace {

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow, const char* name) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setArrowType(arrow);
  button->setFocusPolicy(Qt::NoFocus);
  // Held down, it keeps stepping, as such spinners do.
  button->setAutoRepeat(true);
  return button;
}

}  // namespace

UpDownSpinner::UpDownSpinner(QWidget* parent)
    : QWidget(parent),
      up_(makeArrow(this, Qt::UpArrow, "up")),
      down_(makeArrow(this, Qt::DownArrow, "down")) {
  setFocusPolicy(Qt::NoFocus);
  connect(up_, &QToolButton::clicked, this, &UpDownSpinner::stepUp);
  connect(down_, &QToolButton::clicked, this, &UpDownSpinner::stepDown);
}

void UpDownSpinner::setPosition(int value) {
  const int clamped = std::clamp(value, minimum_, std::max(minimum_, maximum_));
  if (clamped == position_) return;
  position_ = clamped;
  showPosition();
  emit positionChanged(position_);
}

void UpDownSpinner::setAssociate(QLineEdit* edit) {
  associate_ = edit;
  showPosition();
}

void UpDownSpinner::showPosition() {
  if (associate_ != nullptr) associate_->setText(QString::number(position_));
}

void UpDownSpinner::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int upper = height() / 2;
  up_->setGeometry(0, 0, width(), upper);
  down_->setGeometry(0, upper, width(), height() - upper);
}

}  // namespace rs485
