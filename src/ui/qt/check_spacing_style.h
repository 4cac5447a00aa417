// The window's style for its check boxes and radio buttons: the platform's
// own, with a check mark 4 pixels and a radio mark 3 pixels from its caption,
// as close as the layout's widths assume. (A style sheet on the window could
// say the same, but it puts every widget of the window through the style
// sheet machinery, a good part of the window's start-up.)
#pragma once

#include <QProxyStyle>

namespace srom {

class CheckSpacingStyle : public QProxyStyle {
 public:
  // Owned by `owner`; give it to the buttons with QWidget::setStyle.
  explicit CheckSpacingStyle(QObject* owner);

  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

}  // namespace srom
