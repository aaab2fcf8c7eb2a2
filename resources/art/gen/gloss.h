// The glossy blue look shared by every picture: the colours, the glass surfaces, and how a glyph
// is inked on them.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace artgen {

// The work area's colour, which everything is built around.
inline const QColor kWorkArea(99, 101, 156);
// Line panels' outer line.
inline const QColor kFrameLine(0, 48, 99);

enum class State { Disabled = 0, Normal = 1, Hover = 2, Pressed = 3 };

// The base colour of a glass button in a state.
QColor ButtonBase(State s);

// A glass surface: a vertical gradient with the lighter upper half, a soft reflection at the
// bottom, a dark rim and a thin inner light line.
void GlassRect(QPainter& p, const QRectF& r, qreal radius, QColor base, bool sunken = false);

// Inks a glyph silhouette: light gradient fill with a dark drop shadow (or flat grey when disabled).
void InkGlyph(QPainter& p, const QPainterPath& glyph, State s);

// A font of the given pixel size; DejaVu Sans, which the build machine has.
QFont ArtFont(int pixelSize, bool bold);

// The tool bar's vertical gradient at row y of its 46 rows (the tile is the same in every column).
QColor ToolBarRow(int y);

}  // namespace artgen
