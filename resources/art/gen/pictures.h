// Every picture of the program, drawn from nothing but code.
#pragma once

#include <QImage>
#include <vector>

#include "glyphs.h"

namespace artgen {

QImage ToolBarTile();    // 29 x 46
QImage BandTile();       // 29 x 8
QImage StatusBarTile();  // 29 x 22
// A strip of four bands (disabled, normal, hover, pressed), each a button's size.
QImage ToolStrip(Glyph g);    // 46 x 184
QImage MakeGIFStrip();        // 110 x 168
QImage PlayerStrip(Glyph g);  // 28 x 100
QImage AboutPicture();        // 400 x 250
QImage WarningTriangle();     // 32 x 32
// The normal look of a player button on the white of a dialog.
QImage MarkButtonPicture(Glyph g);  // 28 x 25
// The program's icon at a square size.
QImage AppIcon(int size);
// The four frames of the chain picture: a chain link that catches the light once, 24 x 25 with
// full transparency around it.
std::vector<QImage> ChainFrames();

}  // namespace artgen
