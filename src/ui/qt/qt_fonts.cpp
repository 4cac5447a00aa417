#include "ui/qt/qt_fonts.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

#include "ui/qt/qt_text.h"

namespace srom {

QFont WindowFont() {
  QFont font(QtString(kWindowFont));
  font.setPointSize(kWindowFontPoints);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

BaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  return BaseUnitsOf(metrics.horizontalAdvance(QtString(kBaseUnitLetters)),
                     metrics.height());
}

void SetPointSize(QWidget* control, int points) {
  QFont font = control->font();
  font.setPointSize(points);
  control->setFont(font);
}

void FitCaption(QWidget* control, int points) {
  QFont font = control->font();
  const int fitted = FittedPoints(points, control->width(), [&](int size) {
    font.setPointSize(size);
    control->setFont(font);
    return control->sizeHint().width();
  });
  font.setPointSize(fitted);
  control->setFont(font);
  // What even the smallest size cuts off is there when the mouse rests on it.
  QString caption;
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    caption = button->text();
  }
  if (auto* label = qobject_cast<QLabel*>(control)) caption = label->text();
  control->setToolTip(
      control->sizeHint().width() > control->width() ? caption : QString());
}

}  // namespace srom
