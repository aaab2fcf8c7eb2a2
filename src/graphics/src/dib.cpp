#include "graphics/dib.h"

#include "graphics/little_endian.h"

namespace clipsmith {

using le::Get16;
using le::Get32;
using le::Put16;
using le::Put32;

void WriteBitmapInfoHeader(const BITMAPINFOHEADER& h, std::uint8_t* out) {
  Put32(out + 0, h.biSize);
  Put32(out + 4, std::uint32_t(h.biWidth));
  Put32(out + 8, std::uint32_t(h.biHeight));
  Put16(out + 12, h.biPlanes);
  Put16(out + 14, h.biBitCount);
  Put32(out + 16, h.biCompression);
  Put32(out + 20, h.biSizeImage);
  Put32(out + 24, std::uint32_t(h.biXPelsPerMeter));
  Put32(out + 28, std::uint32_t(h.biYPelsPerMeter));
  Put32(out + 32, h.biClrUsed);
  Put32(out + 36, h.biClrImportant);
}

BITMAPINFOHEADER ReadBitmapInfoHeader(const std::uint8_t* in) {
  BITMAPINFOHEADER h;
  h.biSize = Get32(in + 0);
  h.biWidth = std::int32_t(Get32(in + 4));
  h.biHeight = std::int32_t(Get32(in + 8));
  h.biPlanes = Get16(in + 12);
  h.biBitCount = Get16(in + 14);
  h.biCompression = Get32(in + 16);
  h.biSizeImage = Get32(in + 20);
  h.biXPelsPerMeter = std::int32_t(Get32(in + 24));
  h.biYPelsPerMeter = std::int32_t(Get32(in + 28));
  h.biClrUsed = Get32(in + 32);
  h.biClrImportant = Get32(in + 36);
  return h;
}

std::uint32_t DIBStride(std::int32_t width, std::uint16_t bitCount) {
  std::uint64_t bits = bitCount == 15 ? 16 : bitCount;
  std::uint64_t w = width < 0 ? std::uint64_t(-std::int64_t(width)) : std::uint64_t(width);
  return std::uint32_t(((w * bits + 31) / 32) * 4);
}

std::uint64_t DIBImageSize(const BITMAPINFOHEADER& h) {
  if (h.biSizeImage != 0) return h.biSizeImage;
  std::uint64_t rows = h.biHeight < 0 ? std::uint64_t(-std::int64_t(h.biHeight)) : std::uint64_t(h.biHeight);
  return std::uint64_t(DIBStride(h.biWidth, h.biBitCount)) * rows * h.biPlanes;
}

}  // namespace clipsmith
