// Bitmap file images: the 14-byte file header the video window writes in front of the
// renderer's packed bitmap, and a reader for the images it writes.
#pragma once

#include <cstdint>

#include "graphics/bitmap.h"
#include "graphics/dib.h"

namespace clipsmith {

class TStream;

struct TBMPFileHeader {
  std::uint32_t FileSize = 0;
  std::uint32_t PixelOffset = 0;
};
constexpr std::size_t kBMPFileHeaderSize = 14;

// Palette entries in front of the pixels: biClrUsed when set, else 2^bits up to 8 bits, else 0.
std::uint32_t DIBPaletteEntries(const BITMAPINFOHEADER& h);
// File size 14 + header + palette + image, pixels at 14 + header + palette.
TBMPFileHeader BMPFileHeaderFor(const BITMAPINFOHEADER& h);
// "BM", the file size, two reserved zeros and the pixel offset, little-endian.
void WriteBMPFileHeader(TStream& stream, const TBMPFileHeader& header);

// Reads a bitmap file image of 8 (with its colour table), 24 or 32 bits per pixel, uncompressed,
// either row order, from the stream's position. False, leaving bitmap untouched, for anything
// else or for a damaged image.
bool LoadBitmapFromBMP(TStream& stream, TBitmap& bitmap);

}  // namespace clipsmith
