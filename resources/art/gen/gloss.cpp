#include "gloss.h"

#include <QLinearGradient>

namespace artgen {

QColor ButtonBase(State s) {
  switch (s) {
    case State::Disabled: return QColor(128, 130, 150);
    case State::Normal: return QColor(96, 108, 196);
    case State::Hover: return QColor(112, 130, 228);
    case State::Pressed: return QColor(62, 68, 140);
  }
  return kWorkArea;
}

void GlassRect(QPainter& p, const QRectF& r, qreal radius, QColor base, bool sunken) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath body;
  body.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);

  QLinearGradient g(r.topLeft(), r.bottomLeft());
  if (!sunken) {
    g.setColorAt(0.0, base.lighter(140));
    g.setColorAt(0.48, base.lighter(115));
    g.setColorAt(0.52, base.darker(104));
    g.setColorAt(1.0, base.lighter(135));
  } else {
    g.setColorAt(0.0, base.darker(125));
    g.setColorAt(0.5, base);
    g.setColorAt(1.0, base.lighter(140));
  }
  p.fillPath(body, g);

  // The highlight on the upper half.
  if (!sunken) {
    QPainterPath shine;
    const QRectF top(r.left() + 2, r.top() + 1.5, r.width() - 4, r.height() * 0.46);
    shine.addRoundedRect(top, std::max<qreal>(radius - 1.5, 1), std::max<qreal>(radius - 1.5, 1));
    QLinearGradient s(top.topLeft(), top.bottomLeft());
    s.setColorAt(0, QColor(255, 255, 255, 150));
    s.setColorAt(1, QColor(255, 255, 255, 25));
    p.fillPath(shine, s);
  }

  // Rim and inner light line.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(base.darker(230), 1));
  p.drawPath(body);
  QPainterPath inner;
  inner.addRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), std::max<qreal>(radius - 1, 0.5),
                       std::max<qreal>(radius - 1, 0.5));
  p.setPen(QPen(QColor(255, 255, 255, sunken ? 30 : 70), 1));
  p.drawPath(inner);
  p.restore();
}

void InkGlyph(QPainter& p, const QPainterPath& glyph, State s) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  if (s == State::Disabled) {
    p.fillPath(glyph, QColor(172, 176, 206));
    p.restore();
    return;
  }
  p.fillPath(glyph.translated(0, 1.2), QColor(16, 18, 60, 150));
  const QRectF b = glyph.boundingRect();
  QLinearGradient g(b.topLeft(), b.bottomLeft());
  g.setColorAt(0, QColor(255, 255, 255));
  g.setColorAt(1, s == State::Pressed ? QColor(200, 210, 240) : QColor(214, 226, 255));
  p.fillPath(glyph, g);
  // A thin dark edge keeps the symbol readable on the lighter hover glass.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(24, 28, 80, 140), 0.7));
  p.drawPath(glyph);
  p.restore();
}

QFont ArtFont(int pixelSize, bool bold) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QColor ToolBarRow(int y) {
  // Dark glossy navy: a lighter top half that breaks at the middle, a faint glow at the bottom.
  const QColor top(128, 138, 206), mid(84, 90, 160), low(46, 50, 104), bottom(70, 76, 140);
  auto mix = [](QColor a, QColor b, double t) {
    return QColor(int(a.red() + (b.red() - a.red()) * t + 0.5), int(a.green() + (b.green() - a.green()) * t + 0.5),
                  int(a.blue() + (b.blue() - a.blue()) * t + 0.5));
  };
  if (y <= 0) return QColor(170, 180, 236);
  if (y < 23) return mix(top, mid, (y - 1) / 21.0);
  if (y < 44) return mix(low, bottom, (y - 23) / 20.0);
  return QColor(30, 32, 70);
}

}  // namespace artgen
