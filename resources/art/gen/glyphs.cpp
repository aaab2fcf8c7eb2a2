#include "glyphs.h"

#include <QPainterPathStroker>
#include <QTransform>

#include "gloss.h"

namespace artgen {

namespace {

QPainterPath Stroke(const QPainterPath& line, qreal width) {
  QPainterPathStroker s;
  s.setWidth(width);
  s.setCapStyle(Qt::RoundCap);
  s.setJoinStyle(Qt::RoundJoin);
  return s.createStroke(line);
}

QPainterPath Polygon(std::initializer_list<QPointF> pts) {
  QPainterPath p;
  p.addPolygon(QPolygonF(QList<QPointF>(pts)));
  p.closeSubpath();
  return p;
}

QPainterPath RoundRect(qreal x, qreal y, qreal w, qreal h, qreal r) {
  QPainterPath p;
  p.addRoundedRect(QRectF(x, y, w, h), r, r);
  return p;
}

// A character centred in the box, cut out of a disc.
QPainterPath DiscWithLetter(const QString& letter) {
  QPainterPath disc;
  disc.addEllipse(QRectF(6, 6, 88, 88));
  QPainterPath text;
  text.addText(0, 0, ArtFont(100, true), letter);
  const QRectF b = text.boundingRect();
  const qreal scale = 60.0 / b.height();
  QTransform t;
  t.translate(50, 50);
  t.scale(scale, scale);
  t.translate(-b.center().x(), -b.center().y());
  return disc.subtracted(t.map(text));
}

QPainterPath Folder() {
  QPainterPath back = RoundRect(8, 22, 36, 20, 5).united(RoundRect(8, 30, 82, 54, 6));
  QPainterPath flap = Polygon({{22, 46}, {98, 46}, {84, 86}, {6, 86}});
  QPainterPath gap = Stroke(Polygon({{22, 46}, {98, 46}, {84, 86}, {6, 86}}), 7);
  return back.subtracted(gap).united(flap);
}

QPainterPath Envelope() {
  QPainterPath body = RoundRect(6, 20, 88, 62, 7);
  QPainterPath fold;
  fold.moveTo(10, 26);
  fold.lineTo(50, 56);
  fold.lineTo(90, 26);
  QPainterPath sides;
  sides.moveTo(10, 78);
  sides.lineTo(38, 52);
  sides.moveTo(90, 78);
  sides.lineTo(62, 52);
  return body.subtracted(Stroke(fold, 7)).subtracted(Stroke(sides, 5));
}

QPainterPath Globe() {
  QPainterPath disc;
  disc.addEllipse(QRectF(6, 6, 88, 88));
  QPainterPath lines;
  lines.addEllipse(QRectF(31, 10, 38, 80));
  lines.moveTo(50, 8);
  lines.lineTo(50, 92);
  lines.moveTo(8, 50);
  lines.lineTo(92, 50);
  lines.moveTo(16, 28);
  lines.lineTo(84, 28);
  lines.moveTo(16, 72);
  lines.lineTo(84, 72);
  return disc.subtracted(Stroke(lines, 5));
}

}  // namespace

QPainterPath GlyphPath(Glyph g) {
  switch (g) {
    case Glyph::Open: return Folder();
    case Glyph::Mail: return Envelope();
    case Glyph::Web: return Globe();
    case Glyph::Help: return DiscWithLetter(QStringLiteral("?"));
    case Glyph::About: return DiscWithLetter(QStringLiteral("i"));
    case Glyph::Play: return Stroke(Polygon({{26, 14}, {86, 50}, {26, 86}}), 8).united(Polygon({{26, 14}, {86, 50}, {26, 86}}));
    case Glyph::Pause: return RoundRect(20, 14, 22, 72, 5).united(RoundRect(58, 14, 22, 72, 5));
    case Glyph::Stop: return RoundRect(16, 16, 68, 68, 9);
    case Glyph::MarkStart: {
      // "[" with the marker pointing into the range
      QPainterPath bracket = RoundRect(10, 10, 16, 80, 4).united(RoundRect(10, 10, 34, 14, 4)).united(RoundRect(10, 76, 34, 14, 4));
      return bracket.united(Polygon({{48, 26}, {92, 50}, {48, 74}}));
    }
    case Glyph::MarkEnd: {
      QPainterPath bracket = RoundRect(74, 10, 16, 80, 4).united(RoundRect(56, 10, 34, 14, 4)).united(RoundRect(56, 76, 34, 14, 4));
      return bracket.united(Polygon({{52, 26}, {8, 50}, {52, 74}}));
    }
    case Glyph::NextFrame:
      return Polygon({{12, 14}, {66, 50}, {12, 86}}).united(RoundRect(70, 14, 18, 72, 4));
    case Glyph::Film: {
      QPainterPath strip = RoundRect(4, 16, 92, 68, 8);
      QPainterPath holes;
      for (int i = 0; i < 6; ++i) {
        holes.addRoundedRect(QRectF(10 + i * 14.5, 21, 8, 9), 2, 2);
        holes.addRoundedRect(QRectF(10 + i * 14.5, 70, 8, 9), 2, 2);
      }
      QPainterPath frames = RoundRect(10, 35, 36, 30, 3).united(RoundRect(54, 35, 36, 30, 3));
      return strip.subtracted(holes).subtracted(frames);
    }
  }
  return {};
}

QPainterPath GlyphIn(Glyph g, const QRectF& box) {
  QTransform t;
  t.translate(box.left(), box.top());
  t.scale(box.width() / 100.0, box.height() / 100.0);
  return t.map(GlyphPath(g));
}

}  // namespace artgen
