#include "graphics/bmp_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/stream.h"

namespace clipsmith {

std::uint32_t DIBPaletteEntries(const BITMAPINFOHEADER& h) {
  if (h.biClrUsed != 0) return h.biClrUsed;
  if (h.biBitCount <= 8) return 1u << h.biBitCount;
  return 0;
}

TBMPFileHeader BMPFileHeaderFor(const BITMAPINFOHEADER& h) {
  std::uint64_t palette = 4ull * DIBPaletteEntries(h);
  std::uint64_t offset = kBMPFileHeaderSize + std::uint64_t(h.biSize) + palette;
  std::uint64_t size = offset + DIBImageSize(h);
  TBMPFileHeader f;
  f.PixelOffset = std::uint32_t(std::min<std::uint64_t>(offset, 0xFFFFFFFFu));
  f.FileSize = std::uint32_t(std::min<std::uint64_t>(size, 0xFFFFFFFFu));
  return f;
}

void WriteBMPFileHeader(TStream& stream, const TBMPFileHeader& header) {
  std::uint8_t b[kBMPFileHeaderSize] = {'B', 'M'};
  for (int i = 0; i < 4; ++i) b[2 + i] = std::uint8_t(header.FileSize >> (8 * i));
  for (int i = 0; i < 4; ++i) b[10 + i] = std::uint8_t(header.PixelOffset >> (8 * i));
  stream.WriteBuffer(b, sizeof b);
}

bool LoadBitmapFromBMP(TStream& stream, TBitmap& bitmap) {
  try {
    std::int64_t start = stream.Position();
    std::int64_t total = stream.Size() - start;
    std::uint8_t fh[kBMPFileHeaderSize];
    if (total < std::int64_t(kBMPFileHeaderSize + kBitmapInfoHeaderSize)) return false;
    stream.ReadBuffer(fh, sizeof fh);
    if (fh[0] != 'B' || fh[1] != 'M') return false;
    std::uint32_t offset = std::uint32_t(fh[10]) | (std::uint32_t(fh[11]) << 8) | (std::uint32_t(fh[12]) << 16) |
                           (std::uint32_t(fh[13]) << 24);
    std::uint8_t ih[kBitmapInfoHeaderSize];
    stream.ReadBuffer(ih, sizeof ih);
    BITMAPINFOHEADER h = ReadBitmapInfoHeader(ih);
    if (h.biSize < kBitmapInfoHeaderSize || h.biCompression != BI_RGB || h.biPlanes != 1 || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biHeight == std::int32_t(0x80000000))
      return false;
    TPixelFormat pf;
    switch (h.biBitCount) {
      case 8: pf = TPixelFormat::pf8bit; break;
      case 24: pf = TPixelFormat::pf24bit; break;
      case 32: pf = TPixelFormat::pf32bit; break;
      default: return false;
    }
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    std::uint64_t stride = DIBStride(h.biWidth, h.biBitCount);
    std::uint64_t image = stride * std::uint64_t(height);
    std::uint32_t entries = h.biBitCount <= 8 ? DIBPaletteEntries(h) : 0;
    if (entries > 256) return false;
    std::uint64_t paletteAt = kBMPFileHeaderSize + std::uint64_t(h.biSize);
    if (paletteAt + 4ull * entries > offset || std::uint64_t(offset) + image > std::uint64_t(total)) return false;
    TBitmap result(h.biWidth, height, pf, h.biHeight > 0 ? TRowOrder::BottomUp : TRowOrder::TopDown);
    if (entries) {
      stream.SetPosition(start + std::int64_t(paletteAt));
      std::vector<std::uint8_t> pal(4ull * entries);
      stream.ReadBuffer(pal.data(), pal.size());
      auto& table = result.ColorTable();
      table.resize(entries);
      for (std::uint32_t i = 0; i < entries; ++i)
        table[i] = TRGBQuad{pal[4 * i], pal[4 * i + 1], pal[4 * i + 2], 0};
    }
    stream.SetPosition(start + offset);
    auto bits = result.Bits();
    if (bits.size() != image) return false;
    stream.ReadBuffer(bits.data(), bits.size());
    bitmap = std::move(result);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace clipsmith
