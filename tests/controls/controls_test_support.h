// Small generated pictures and pixel reads for the control tests.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <vector>

namespace clipsmith::testing {

// A strip of bands of the given height, band k filled with colours[k].
inline QImage BandStrip(int width, int bandHeight, const std::vector<QColor>& colours) {
  QImage strip(width, bandHeight * int(colours.size()), QImage::Format_ARGB32);
  QPainter p(&strip);
  for (std::size_t k = 0; k < colours.size(); ++k) p.fillRect(0, int(k) * bandHeight, width, bandHeight, colours[k]);
  return strip;
}

inline QImage Solid(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(c);
  return img;
}

// What the widget shows, composed as on screen (parent's painting under it included when the
// widget is grabbed through its parent).
inline QImage Shot(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }
inline QRgb Rgb(QColor c) { return c.rgb() & 0xFFFFFFu; }

}  // namespace clipsmith::testing
