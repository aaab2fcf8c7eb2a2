// The program's pictures, compiled into the resources. Names are resource paths.
#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>
#include <vector>

#include "controls/picture.h"

namespace clipsmith::art {

inline constexpr const char* kToolBarTile = ":/art/toolbar-tile.png";      // 29 x 46, tiled
inline constexpr const char* kBandTile = ":/art/band-tile.png";            // 29 x 8, tiled
inline constexpr const char* kStatusBarTile = ":/art/statusbar-tile.png";  // 29 x 22, tiled
// Strips of four bands: disabled, normal, hover, pressed.
inline constexpr const char* kBtnOpen = ":/art/btn-open.png";  // 46 x 184
inline constexpr const char* kBtnEmail = ":/art/btn-email.png";
inline constexpr const char* kBtnWebsite = ":/art/btn-website.png";
inline constexpr const char* kBtnHelp = ":/art/btn-help.png";
inline constexpr const char* kBtnAbout = ":/art/btn-about.png";
inline constexpr const char* kBtnMakeGIF = ":/art/btn-makegif.png";  // 110 x 168
inline constexpr const char* kPlayerOpen = ":/art/player-open.png";  // 28 x 100
inline constexpr const char* kPlayerPlay = ":/art/player-play.png";
inline constexpr const char* kPlayerPause = ":/art/player-pause.png";
inline constexpr const char* kPlayerStop = ":/art/player-stop.png";
inline constexpr const char* kPlayerSMStart = ":/art/player-smstart.png";
inline constexpr const char* kPlayerSMStop = ":/art/player-smstop.png";
inline constexpr const char* kPlayerNextFrame = ":/art/player-nextframe.png";
inline constexpr const char* kAbout = ":/art/about.png";            // 400 x 250
inline constexpr const char* kWarning = ":/art/warning.png";        // 32 x 32
inline constexpr const char* kMarkStart = ":/art/mark-start.png";   // 28 x 25, on white
inline constexpr const char* kMarkEnd = ":/art/mark-end.png";       // 28 x 25, on white
inline constexpr const char* kChainGIF = ":/art/chain.gif";         // 24 x 25, four frames

// The picture at a resource path (a GIF through our own reader); empty when there is none.
TPicture Picture(const char* resource);
// The program's icon in every size it is drawn in (for the window and the about box).
QIcon AppIcon();
// The help page "csm-help.html": beside the installed program (its data folder), else in the
// build tree it was built in. Empty when neither has it.
QString HelpPagePath();

// The bytes of a resource (the chain picture's GIF, for TGIFImage::LoadFromStream).
std::vector<std::uint8_t> Bytes(const char* resource);

}  // namespace clipsmith::art
