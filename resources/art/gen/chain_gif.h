// The chain picture as GIF bytes: GIF89a, a 128-entry global table, and per frame a graphic
// control extension with index 0x56 transparent and a 128-entry local table (LZW minimum code
// size 7), written by our own codec.
#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

namespace artgen {

inline constexpr int kChainTransparentIndex = 0x56;
inline constexpr int kChainColors = 128;

// Frames of one size; pixels with alpha below a quarter become transparent, the rest are laid
// over the work-area colour (where the picture sits) and mapped to a shared 128-colour table.
std::vector<std::uint8_t> ChainGIF(const std::vector<QImage>& frames, int delayHundredths);

}  // namespace artgen
