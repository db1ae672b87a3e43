#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace rs485 {

// An up-down spinner attached to an edit box: two arrow buttons that step a
// position within [minimum, maximum] and write it, as a plain decimal number,
// into the edit. It stops at the limits instead of wrapping round, takes no
// keyboard focus and binds no key, so the arrow keys never step it.
class UpDownSpinner : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
  Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
  Q_PROPERTY(int increment READ increment WRITE setIncrement)
  Q_PROPERTY(int position READ position WRITE setPosition NOTIFY positionChanged)

 public:
  explicit UpDownSpinner(QWidget* parent = nullptr);

  int minimum() const { return minimum_; }
  void setMinimum(int value) { minimum_ = value; }
  int maximum() const { return maximum_; }
  void setMaximum(int value) { maximum_ = value; }
  int increment() const { return increment_; }
  void setIncrement(int value) { increment_ = value; }

  int position() const { return position_; }
  // Clamped to the limits; the attached edit follows.
  void setPosition(int value);

  // The edit that shows the position; it receives the position at once.
  void setAssociate(QLineEdit* edit);

  void stepUp() { setPosition(position_ + increment_); }
  void stepDown() { setPosition(position_ - increment_); }

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 signals:
  void positionChanged(int position);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showPosition();

  QToolButton* up_;
  QToolButton* down_;
  QLineEdit* associate_ = nullptr;
  int minimum_ = 0;
  int maximum_ = 100;
  int increment_ = 1;
  int position_ = 0;
};

}  // namespace rs485
