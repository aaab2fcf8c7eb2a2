// The skin ("Aqua"): one look for the standard controls whatever the desktop theme is, dark
// themes included. A fixed style and palette, and a style sheet for the glossy details.
#pragma once

#include <QFont>
#include <QPalette>
#include <QString>

class QApplication;

namespace clipsmith {

// The skin's name, as the window knows it.
inline constexpr const char* kSkinName = "Aqua";

// The palette every control is drawn with: light fields, dark text, blue selection.
QPalette SkinPalette();
// The style sheet text (from the library's resources).
QString SkinStyleSheet();
// The window's typeface: Tahoma where installed (also Wine's metric-compatible one from its font
// folder), else DejaVu Sans.
QString SkinFontFamily();
// That face at a pixel height (the character height the window's tables give).
QFont SkinFont(int pixelHeight, bool bold = false);
// The skin's style (TAquaStyle) with the skin palette and style sheet for the whole application.
void ApplySkin(QApplication& app);

}  // namespace clipsmith
