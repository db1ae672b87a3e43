#pragma once

class QWidget;

namespace rs485 {

// The forms give font sizes in pixels, as the dynamic property
// "fontPixelSize" (Designer can only store points); labels marked
// "autoSize" take the size of their text.

// Where fontconfig knows no metric stand-in for a family of the layout, the
// closest one that is installed. "MS Sans Serif" would otherwise become a
// much wider face, and captions sized for it would be cut off.
void useFontStandIns();

// A length of the design scaled by numerator/denominator, rounded half up.
int scaleLength(int length, int numerator, int denominator);

// Gives `root` and every widget below it that carries "fontPixelSize" its
// pixel size scaled by numerator/denominator, then sizes the auto-size labels.
void applyDesignFonts(QWidget* root, int numerator = 1, int denominator = 1);

// Scales position and size of every control below `root` by edges (so that
// neighbours that touch keep touching), descending into the panels and
// group boxes, not into the inner parts of compound controls.
void scaleControls(QWidget* root, int numerator, int denominator);

}  // namespace rs485
