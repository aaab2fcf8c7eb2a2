// The skin's style: Fusion with glass check boxes drawn in code, so the skin needs no image
// plugins and looks the same on every desktop.
#pragma once

#include <QProxyStyle>

namespace clipsmith {

class TAquaStyle : public QProxyStyle {
 public:
  TAquaStyle();
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr, const QWidget* widget = nullptr) const override;
};

}  // namespace clipsmith
