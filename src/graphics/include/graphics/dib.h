// The device-independent bitmap header (BITMAPINFOHEADER) and the sizes it implies: what a
// bitmap file carries after its file header, and what the media graph's video formats carry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clipsmith {

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;

// The 40-byte device-independent bitmap header. A positive biHeight means bottom-up rows.
struct BITMAPINFOHEADER {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = BI_RGB;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};
constexpr std::size_t kBitmapInfoHeaderSize = 40;

// Little-endian (de)serialisation of the bitmap header; Read needs 40 bytes.
void WriteBitmapInfoHeader(const BITMAPINFOHEADER& h, std::uint8_t* out);
BITMAPINFOHEADER ReadBitmapInfoHeader(const std::uint8_t* in);
// Bytes per row of a device-independent bitmap: ((w * bits + 31) / 32) * 4, 15 bits counted as 16.
std::uint32_t DIBStride(std::int32_t width, std::uint16_t bitCount);
// biSizeImage, or stride * |height| * planes when it is 0.
std::uint64_t DIBImageSize(const BITMAPINFOHEADER& h);

}  // namespace clipsmith
