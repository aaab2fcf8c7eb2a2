#include "pictures.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>

#include "gloss.h"

namespace artgen {

namespace {

QImage Opaque(int w, int h, QColor fill) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(fill);
  return img;
}

QColor Mix(QColor a, QColor b, double t) {
  return QColor(int(std::lround(a.red() + (b.red() - a.red()) * t)), int(std::lround(a.green() + (b.green() - a.green()) * t)),
                int(std::lround(a.blue() + (b.blue() - a.blue()) * t)));
}

// Rows of a vertical colour list repeated across a tile.
QImage RowTile(int w, const std::vector<QColor>& rows) {
  QImage img(w, int(rows.size()), QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, rows[std::size_t(y)].rgb());
  return img;
}

QPainterPath TextPath(const QString& text, const QFont& font, QPointF baseline) {
  QPainterPath p;
  p.addText(baseline, font, text);
  return p;
}

}  // namespace

QImage ToolBarTile() {
  std::vector<QColor> rows;
  for (int y = 0; y < 46; ++y) rows.push_back(ToolBarRow(y));
  return RowTile(29, rows);
}

QImage BandTile() {
  // A bright glass rail between the tool bar and the work area.
  return RowTile(29, {QColor(20, 22, 54), QColor(176, 188, 244), QColor(150, 162, 232), QColor(128, 140, 218),
                      QColor(104, 112, 190), QColor(96, 102, 174), QColor(84, 88, 152), QColor(46, 48, 92)});
}

QImage StatusBarTile() {
  std::vector<QColor> rows;
  rows.push_back(QColor(36, 38, 84));
  for (int y = 1; y < 22; ++y) {
    if (y < 11)
      rows.push_back(Mix(QColor(140, 150, 214), QColor(100, 108, 178), (y - 1) / 9.0));
    else
      rows.push_back(Mix(QColor(72, 78, 142), QColor(90, 96, 164), (y - 11) / 10.0));
  }
  return RowTile(29, rows);
}

QImage ToolStrip(Glyph g) {
  QImage out(46, 184, QImage::Format_ARGB32);
  QPainter p(&out);
  for (int band = 0; band < 4; ++band) {
    const State s = State(band);
    const int top = band * 46;
    p.drawImage(0, top, ToolBarTile().copy(0, 0, 29, 46));
    p.drawImage(29, top, ToolBarTile().copy(0, 0, 17, 46));
    const QRectF face(3, top + 3, 40, 40);
    if (s == State::Hover) {
      p.setOpacity(0.9);
      GlassRect(p, face, 8, ButtonBase(State::Hover));
      p.setOpacity(1);
    } else if (s == State::Pressed) {
      GlassRect(p, face, 8, ButtonBase(State::Pressed), true);
    }
    const qreal shift = s == State::Pressed ? 1 : 0;
    InkGlyph(p, GlyphIn(g, QRectF(10 + shift, top + 10 + shift, 26, 26)), s);
  }
  return out;
}

QImage MakeGIFStrip() {
  QImage out = Opaque(110, 168, kWorkArea);
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  const QFont font = ArtFont(14, true);
  const QString label = QStringLiteral("Make GIF");
  // The film mark and the label, centred together on the button.
  const qreal glyphW = 22, gap = 6, textW = QFontMetricsF(font).horizontalAdvance(label);
  const qreal left = (110 - (glyphW + gap + textW)) / 2;
  for (int band = 0; band < 4; ++band) {
    const State s = State(band);
    const int top = band * 42;
    GlassRect(p, QRectF(1, top + 1, 108, 40), 10, ButtonBase(s), s == State::Pressed);
    const qreal shift = s == State::Pressed ? 1 : 0;
    QPainterPath ink = GlyphIn(Glyph::Film, QRectF(left + shift, top + 10 + shift, glyphW, 22));
    ink.addPath(TextPath(label, font, QPointF(left + glyphW + gap + shift, top + 26 + shift)));
    InkGlyph(p, ink, s);
  }
  return out;
}

namespace {

void PlayerButton(QPainter& p, int top, State s, Glyph g) {
  GlassRect(p, QRectF(1, top + 1, 26, 23), 5, ButtonBase(s), s == State::Pressed);
  const qreal shift = s == State::Pressed ? 1 : 0;
  InkGlyph(p, GlyphIn(g, QRectF(7 + shift, top + 5.5 + shift, 14, 14)), s);
}

}  // namespace

QImage PlayerStrip(Glyph g) {
  QImage out = Opaque(28, 100, kWorkArea);
  QPainter p(&out);
  for (int band = 0; band < 4; ++band) PlayerButton(p, band * 25, State(band), g);
  return out;
}

QImage MarkButtonPicture(Glyph g) {
  QImage out = Opaque(28, 25, Qt::white);
  QPainter p(&out);
  PlayerButton(p, 0, State::Normal, g);
  return out;
}

QImage WarningTriangle() {
  QImage out(32, 32, QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tri;
  tri.moveTo(16, 2.5);
  tri.lineTo(30, 28.5);
  tri.lineTo(2, 28.5);
  tri.closeSubpath();
  QPainterPathStroker round;
  round.setWidth(3);
  round.setJoinStyle(Qt::RoundJoin);
  const QPainterPath body = tri.united(round.createStroke(tri));
  QLinearGradient g(0, 1, 0, 30);
  g.setColorAt(0, QColor(255, 236, 140));
  g.setColorAt(0.5, QColor(250, 196, 40));
  g.setColorAt(1, QColor(226, 150, 10));
  p.fillPath(body, g);
  p.setPen(QPen(QColor(140, 84, 0), 1));
  p.drawPath(body);
  p.fillRect(QRectF(14.5, 10, 3, 11), QColor(40, 30, 10));
  p.setBrush(QColor(40, 30, 10));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(14.3, 22.5, 3.4, 3.4));
  return out;
}

namespace {

// The logo: a glass tile carrying a film frame and the play mark, at any size.
void DrawLogo(QPainter& p, const QRectF& r) {
  const qreal radius = r.width() * 0.2;
  GlassRect(p, r, radius, QColor(88, 100, 200));
  const qreal m = r.width() * 0.17;
  const QRectF inner = r.adjusted(m, m * 1.15, -m, -m * 1.15);
  QPainterPath film = GlyphIn(Glyph::Film, inner);
  if (r.width() < 30) {
    // Small icons: only the frame's outline and the play mark stay readable.
    QPainterPath frame;
    frame.addRoundedRect(inner, 1.5, 1.5);
    QPainterPath hole;
    hole.addRect(inner.adjusted(r.width() * 0.1, r.width() * 0.09, -r.width() * 0.1, -r.width() * 0.09));
    film = frame.subtracted(hole);
  }
  InkGlyph(p, film, State::Normal);
  const qreal c = inner.width() * 0.28;
  QPainterPath play;
  play.moveTo(inner.center().x() - c * 0.45, inner.center().y() - c * 0.6);
  play.lineTo(inner.center().x() + c * 0.65, inner.center().y());
  play.lineTo(inner.center().x() - c * 0.45, inner.center().y() + c * 0.6);
  play.closeSubpath();
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(play, QColor(255, 196, 60));
  p.restore();
}

}  // namespace

QImage AppIcon(int size) {
  QImage out(size, size, QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  QPainter p(&out);
  const qreal m = size >= 32 ? size / 16.0 : 0.5;
  DrawLogo(p, QRectF(m, m, size - 2 * m, size - 2 * m));
  return out;
}

QImage AboutPicture() {
  QImage out(400, 250, QImage::Format_ARGB32);
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  // A light right side for the texts, a glass blue column on the left for the logo.
  QLinearGradient light(0, 0, 0, 250);
  light.setColorAt(0, QColor(255, 255, 255));
  light.setColorAt(1, QColor(222, 228, 248));
  p.fillRect(out.rect(), light);

  QLinearGradient blue(0, 0, 0, 250);
  blue.setColorAt(0, QColor(132, 142, 214));
  blue.setColorAt(0.5, QColor(99, 101, 156));
  blue.setColorAt(1, QColor(60, 62, 112));
  p.fillRect(QRectF(0, 0, 150, 250), blue);
  QLinearGradient sheen(0, 0, 150, 0);
  sheen.setColorAt(0, QColor(255, 255, 255, 0));
  sheen.setColorAt(1, QColor(255, 255, 255, 40));
  p.fillRect(QRectF(0, 0, 150, 125), sheen);
  p.fillRect(QRectF(150, 0, 2, 250), kFrameLine);
  DrawLogo(p, QRectF(27, 62, 96, 96));

  // Title and texts.
  p.setPen(QColor(44, 48, 110));
  p.setFont(ArtFont(30, true));
  p.drawText(QRectF(172, 16, 220, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Clipsmith"));
  // (the version label is written by the window at 293, 62)
  p.setPen(QColor(60, 64, 120));
  p.setFont(ArtFont(12, false));
  p.drawText(QRectF(172, 96, 220, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             QStringLiteral("Turns a stretch of a video into an animated GIF, frame by frame."));
  p.setPen(QColor(96, 100, 150));
  p.setFont(ArtFont(11, false));
  p.drawText(QRectF(172, 196, 220, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Click anywhere to close."));
  p.fillRect(QRectF(172, 84, 212, 1), QColor(180, 188, 226));
  return out;
}

std::vector<QImage> ChainFrames() {
  std::vector<QImage> frames;
  // The shine's position along the chain (as a fraction of its height) in each frame; the first
  // and last frames show the chain at rest.
  const qreal shine[4] = {-1, 0.2, 0.6, -1};
  for (qreal at : shine) {
    QImage img(24, 25, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPathStroker ring;
    ring.setWidth(3.2);
    QPainterPath upperLink, lowerLink;
    upperLink.addRoundedRect(QRectF(6.5, 1.8, 11, 12.8), 5, 5);
    lowerLink.addRoundedRect(QRectF(6.5, 10.4, 11, 12.8), 5, 5);
    const QPainterPath upper = ring.createStroke(upperLink), lower = ring.createStroke(lowerLink);
    QLinearGradient metal(6, 0, 18, 0);
    metal.setColorAt(0, QColor(150, 164, 214));
    metal.setColorAt(0.45, QColor(246, 248, 255));
    metal.setColorAt(1, QColor(120, 132, 190));
    const QColor edge(24, 28, 70);
    p.setPen(QPen(edge, 0.9));
    p.setBrush(metal);
    // Interlocked: the lower link is drawn first, the upper over it, and the lower link's right
    // side over the upper again where they cross.
    p.drawPath(lower);
    p.drawPath(upper);
    p.save();
    p.setClipRect(QRectF(12, 9, 12, 7));
    p.drawPath(lower);
    p.restore();
    if (at >= 0) {
      QLinearGradient glint(0, 25 * at - 4, 0, 25 * at + 4);
      glint.setColorAt(0, QColor(255, 255, 255, 0));
      glint.setColorAt(0.5, QColor(255, 255, 255, 210));
      glint.setColorAt(1, QColor(255, 255, 255, 0));
      p.setPen(Qt::NoPen);
      p.fillPath(upper.united(lower), glint);
    }
    p.end();
    frames.push_back(img);
  }
  return frames;
}

}  // namespace artgen
