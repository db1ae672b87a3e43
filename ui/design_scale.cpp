#include "ui/design_scale.h"

#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QVariant>
#include <QWidget>

namespace rs485 {

namespace {

const char* const kFontPixelSize = "fontPixelSize";
const char* const kAutoSize = "autoSize";

const QString kSansSerif = QStringLiteral("MS Sans Serif");

QStringList sansSerifStandIns() {
  return {kSansSerif, QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
          QStringLiteral("Liberation Sans")};
}

void applyFont(QWidget* widget, int numerator, int denominator) {
  const QVariant size = widget->property(kFontPixelSize);
  if (!size.isValid()) return;
  QFont font = widget->font();
  font.setPixelSize(scaleLength(size.toInt(), numerator, denominator));
  // Some platform plugins ask fontconfig before they look at Qt's
  // substitutions; a family list holds on every platform.
  if (font.family() == kSansSerif) font.setFamilies(sansSerifStandIns());
  widget->setFont(font);
}

// Panels and group boxes hold controls of the form; other widgets with
// children (a list view, a spinner) lay out their inner parts themselves.
bool holdsControls(const QWidget* widget) {
  return qobject_cast<const QGroupBox*>(widget) != nullptr ||
         widget->metaObject() == &QFrame::staticMetaObject ||
         widget->metaObject() == &QWidget::staticMetaObject;
}

}  // namespace

void useFontStandIns() {
  QStringList standIns = sansSerifStandIns();
  standIns.removeFirst();
  QFont::insertSubstitutions(kSansSerif, standIns);
}

int scaleLength(int length, int numerator, int denominator) {
  return (length * numerator * 2 + denominator) / (denominator * 2);
}

void applyDesignFonts(QWidget* root, int numerator, int denominator) {
  applyFont(root, numerator, denominator);
  const auto widgets = root->findChildren<QWidget*>();
  for (QWidget* widget : widgets) applyFont(widget, numerator, denominator);
  for (QWidget* widget : widgets) {
    if (widget->property(kAutoSize).toBool()) widget->adjustSize();
  }
}

void scaleControls(QWidget* root, int numerator, int denominator) {
  const auto children = root->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) {
    const QRect r = child->geometry();
    const int left = scaleLength(r.x(), numerator, denominator);
    const int top = scaleLength(r.y(), numerator, denominator);
    const int right = scaleLength(r.x() + r.width(), numerator, denominator);
    const int bottom = scaleLength(r.y() + r.height(), numerator, denominator);
    child->setGeometry(left, top, right - left, bottom - top);
    if (holdsControls(child)) scaleControls(child, numerator, denominator);
  }
}

}  // namespace rs485
