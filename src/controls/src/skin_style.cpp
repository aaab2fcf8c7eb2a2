#include "controls/skin_style.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

namespace clipsmith {

TAquaStyle::TAquaStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

int TAquaStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) return 13;
  return QProxyStyle::pixelMetric(metric, option, widget);
}

void TAquaStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
  if (element != PE_IndicatorCheckBox) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const bool enabled = option->state & State_Enabled;
  const bool on = option->state & State_On;
  const bool partial = option->state & State_NoChange;
  const bool hover = enabled && (option->state & State_MouseOver);
  const bool sunken = enabled && (option->state & State_Sunken);
  const QRectF r = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  QPainterPath box;
  box.addRoundedRect(r, 2.5, 2.5);
  QLinearGradient face(r.topLeft(), r.bottomLeft());
  if (!enabled) {
    face.setColorAt(0, QColor(196, 198, 214));
    face.setColorAt(1, QColor(176, 179, 200));
  } else if (sunken) {
    face.setColorAt(0, QColor(176, 186, 230));
    face.setColorAt(1, QColor(214, 222, 250));
  } else {
    face.setColorAt(0, QColor(255, 255, 255));
    face.setColorAt(0.5, QColor(236, 240, 252));
    face.setColorAt(0.51, QColor(214, 222, 246));
    face.setColorAt(1, QColor(240, 244, 255));
  }
  painter->fillPath(box, face);
  painter->setPen(QPen(hover ? QColor(143, 180, 255) : enabled ? QColor(31, 34, 80) : QColor(85, 88, 127), 1));
  painter->drawPath(box);

  const QColor mark = enabled ? QColor(31, 47, 138) : QColor(110, 113, 140);
  if (on) {
    QPainterPath tick;
    tick.moveTo(r.left() + r.width() * 0.2, r.top() + r.height() * 0.52);
    tick.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.75);
    tick.lineTo(r.left() + r.width() * 0.8, r.top() + r.height() * 0.24);
    painter->setPen(QPen(mark, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(tick);
  } else if (partial) {
    painter->fillRect(r.adjusted(3, r.height() / 2 - 1, -3, -(r.height() / 2 - 1)), mark);
  }
  painter->restore();
}

}  // namespace clipsmith
