// GIF pictures for the controls: bytes read through our own codec, frames as Qt images.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <span>

#include "gif/gif_image.h"

namespace clipsmith {

// Reads a GIF held in memory (TGIFImage::LoadFromStream); throws what the reader throws.
std::unique_ptr<TGIFImage> LoadGIFFromBytes(std::span<const std::uint8_t> bytes);

// Frame `index` on its own, as 32-bit ARGB of the frame's size: the active colour map's colours,
// the transparent index of its graphic control extension (when set) fully transparent. Pixel
// values beyond the map read as its entry 0. A null image for a frame that does not exist.
QImage GIFFrameToImage(TGIFImage& image, int index);

}  // namespace clipsmith
