// The window's font on Qt: the font itself, the base units its dialog units
// become pixels with, and captions fitted to their controls.
#pragma once

#include <QFont>

#include "ui/layout.h"

class QWidget;

namespace srom {

// kWindowFont at kWindowFontPoints, or the system's fixed-pitch font where
// that face is missing.
QFont WindowFont();

// The base units of `font` as the dialog manager would measure them.
BaseUnits MeasureBaseUnits(const QFont& font);

// Gives `control` its own font at `points`, whatever else the font is.
void SetPointSize(QWidget* control, int points);

// Gives `control` its caption in the largest size up to `points` at which
// the whole caption fits it (kSmallestFittedPoints at the least). What even
// the smallest size cuts off is its tool tip.
void FitCaption(QWidget* control, int points);

}  // namespace srom
