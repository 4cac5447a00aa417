#include "ui/qt/check_spacing_style.h"

#include <QApplication>

namespace srom {

namespace {
// Pixels between the mark and the caption.
constexpr int kCheckBoxSpacing = 4;
constexpr int kRadioButtonSpacing = 3;
}  // namespace

CheckSpacingStyle::CheckSpacingStyle(QObject* owner)
    : QProxyStyle(QApplication::style()->name()) {
  setParent(owner);
}

int CheckSpacingStyle::pixelMetric(PixelMetric metric,
                                   const QStyleOption* option,
                                   const QWidget* widget) const {
  if (metric == PM_CheckBoxLabelSpacing) return kCheckBoxSpacing;
  if (metric == PM_RadioButtonLabelSpacing) return kRadioButtonSpacing;
  return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace srom
