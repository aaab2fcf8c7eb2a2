// The symbols on the buttons, as silhouettes in a 100 x 100 box.
#pragma once

#include <QPainterPath>
#include <QRectF>

namespace artgen {

enum class Glyph { Open, Mail, Web, Help, About, Play, Pause, Stop, MarkStart, MarkEnd, NextFrame, Film };

QPainterPath GlyphPath(Glyph g);
// The glyph scaled into a box.
QPainterPath GlyphIn(Glyph g, const QRectF& box);

}  // namespace artgen
