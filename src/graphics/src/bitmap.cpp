#include "graphics/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace clipsmith {

int BitsPerPixelOf(TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom: return 32;
  }
  return 32;
}

std::size_t BytesPerRow(int width, int bitsPerPixel) {
  return ((std::size_t(width) * std::size_t(bitsPerPixel) + 31) / 32) * 4;
}

namespace {

bool IsIndexed(TPixelFormat pf) {
  return pf == TPixelFormat::pf1bit || pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit;
}

// Largest picture we agree to hold; keeps width * height * 4 far below any overflow.
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 30;

}  // namespace

TBitmap::TBitmap(int width, int height, TPixelFormat pf, TRowOrder order) : FPixelFormat(pf), FRowOrder(order) {
  SetSize(width, height);
}

TBitmap TBitmap::ForOverwrite(int width, int height, TPixelFormat pf, TRowOrder order) {
  TBitmap b;
  b.FPixelFormat = pf;
  b.FRowOrder = order;
  b.FBits.resize(b.CheckedSize(width, height));
  return b;
}

std::size_t TBitmap::CheckedSize(int width, int height) {
  if (width < 0 || height < 0 || std::int64_t(width) * height > kMaxPixels)
    throw EInvalidGraphicOperation("Invalid image dimensions");
  FWidth = width;
  FHeight = height;
  return BytesPerRow(width, BitsPerPixel()) * std::size_t(height);
}

void TBitmap::SetSize(int width, int height) { FBits.assign(CheckedSize(width, height), 0); }

std::ptrdiff_t TBitmap::Stride() const {
  auto row = std::ptrdiff_t(BytesPerRow(FWidth, BitsPerPixel()));
  return FRowOrder == TRowOrder::TopDown ? row : -row;
}

std::uint8_t* TBitmap::ScanLine(int y) {
  return const_cast<std::uint8_t*>(static_cast<const TBitmap*>(this)->ScanLine(y));
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  std::size_t row = BytesPerRow(FWidth, BitsPerPixel());
  std::size_t stored = FRowOrder == TRowOrder::TopDown ? std::size_t(y) : std::size_t(FHeight - 1 - y);
  return FBits.data() + stored * row;
}

TPalette TBitmap::Palette() const {
  TPalette p;
  p.reserve(FColorTable.size());
  for (const auto& q : FColorTable) p.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  return p;
}

int TBitmap::GetIndex(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  const std::uint8_t* row = ScanLine(y);
  switch (FPixelFormat) {
    case TPixelFormat::pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case TPixelFormat::pf4bit: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case TPixelFormat::pf8bit: return row[x];
    default: return 0;
  }
}

void TBitmap::SetIndex(int x, int y, int index) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  std::uint8_t* row = ScanLine(y);
  switch (FPixelFormat) {
    case TPixelFormat::pf1bit: {
      std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
      row[x >> 3] = (index & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      break;
    }
    case TPixelFormat::pf4bit:
      if (x & 1)
        row[x >> 1] = std::uint8_t((row[x >> 1] & 0xF0) | (index & 0x0F));
      else
        row[x >> 1] = std::uint8_t((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
      break;
    case TPixelFormat::pf8bit: row[x] = std::uint8_t(index); break;
    default: break;
  }
}

TColor TBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return clBlack;
  const std::uint8_t* row = ScanLine(y);
  switch (FPixelFormat) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
      auto i = std::size_t(GetIndex(x, y));
      if (i >= FColorTable.size()) return clBlack;
      const auto& q = FColorTable[i];
      return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case TPixelFormat::pf15bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      return RGBColor(std::uint8_t((r << 3) | (r >> 2)), std::uint8_t((g << 3) | (g >> 2)),
                      std::uint8_t((b << 3) | (b >> 2)));
    }
    case TPixelFormat::pf16bit: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      return RGBColor(std::uint8_t((r << 3) | (r >> 2)), std::uint8_t((g << 2) | (g >> 4)),
                      std::uint8_t((b << 3) | (b >> 2)));
    }
    case TPixelFormat::pf24bit: {
      const std::uint8_t* p = row + 3 * x;
      return RGBColor(p[2], p[1], p[0]);
    }
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom: {
      const std::uint8_t* p = row + 4 * x;
      return RGBColor(p[2], p[1], p[0]);
    }
  }
  return clBlack;
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
  std::uint8_t* row = ScanLine(y);
  std::uint8_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (FPixelFormat) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
      int i = NearestPaletteIndex(Palette(), r, g, b);
      SetIndex(x, y, i < 0 ? 0 : i);
      break;
    }
    case TPixelFormat::pf15bit: {
      unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = std::uint8_t(v);
      row[2 * x + 1] = std::uint8_t(v >> 8);
      break;
    }
    case TPixelFormat::pf16bit: {
      unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      row[2 * x] = std::uint8_t(v);
      row[2 * x + 1] = std::uint8_t(v >> 8);
      break;
    }
    case TPixelFormat::pf24bit: {
      std::uint8_t* p = row + 3 * x;
      p[0] = b, p[1] = g, p[2] = r;
      break;
    }
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom: {
      std::uint8_t* p = row + 4 * x;
      p[0] = b, p[1] = g, p[2] = r, p[3] = 0;
      break;
    }
  }
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == FPixelFormat) return;
  const int oldBits = BitsPerPixel();
  const int newBits = BitsPerPixelOf(pf);
  // Same storage, another name (pfDevice, pf32bit and pfCustom are all blue-green-red-unused).
  if (oldBits == 32 && newBits == 32) {
    FPixelFormat = pf;
    return;
  }
  TBitmap out(FWidth, FHeight, pf, FRowOrder);
  out.Transparent = Transparent;
  out.TransparentColor = TransparentColor;
  if (IsIndexed(pf)) {
    std::size_t entries = std::size_t(1) << newBits;
    if (IsIndexed(FPixelFormat) && FColorTable.size() <= entries) {
      out.FColorTable = FColorTable;
    } else {
      const TPalette& src = pf == TPixelFormat::pf1bit ? TPalette{{0, 0, 0, 0}, {255, 255, 255, 0}}
                            : pf == TPixelFormat::pf4bit ? TPalette(SystemPalette20().begin(), SystemPalette20().begin() + 16)
                                                         : HalftonePalette();
      for (const auto& e : src) out.FColorTable.push_back({e.peBlue, e.peGreen, e.peRed, 0});
    }
  }
  if (oldBits == 32 && newBits == 24) {
    for (int y = 0; y < FHeight; ++y) {
      const std::uint8_t* s = ScanLine(y);
      std::uint8_t* d = out.ScanLine(y);
      for (int x = 0; x < FWidth; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
    }
  } else if (oldBits == 24 && newBits == 32) {
    for (int y = 0; y < FHeight; ++y) {
      const std::uint8_t* s = ScanLine(y);
      std::uint8_t* d = out.ScanLine(y);
      for (int x = 0; x < FWidth; ++x, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
    }
  } else if (IsIndexed(pf) && IsIndexed(FPixelFormat) && out.FColorTable == FColorTable) {
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) out.SetIndex(x, y, GetIndex(x, y));
  } else {
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) out.SetPixel(x, y, GetPixel(x, y));
  }
  *this = std::move(out);
}

std::vector<std::uint8_t> TBitmap::TransparencyMask() const {
  std::vector<std::uint8_t> mask;
  if (!Transparent || Empty()) return mask;
  // Without a fixed colour, the bottom-left pixel says which colour is see-through.
  TColor key = TransparentColor == clNone ? GetPixel(0, FHeight - 1) : (TransparentColor & 0xFFFFFF);
  mask.resize(std::size_t(FWidth) * std::size_t(FHeight));
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x) mask[std::size_t(y) * FWidth + x] = GetPixel(x, y) == key ? 1 : 0;
  return mask;
}

namespace {

TPalette MakeSystem20() {
  static const std::uint8_t c[20][3] = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  TPalette p;
  for (const auto& e : c) p.push_back({e[0], e[1], e[2], 0});
  return p;
}

TPalette MakeHalftone() {
  TPalette p = MakeSystem20();
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p.push_back({std::uint8_t(51 * r), std::uint8_t(51 * g), std::uint8_t(51 * b), 0});
  for (int i = 1; i <= 20; ++i) {
    // round(i * 255 / 21), halves away from zero
    auto g = std::uint8_t((i * 255 * 2 + 21) / 42);
    p.push_back({g, g, g, 0});
  }
  return p;
}

}  // namespace

const TPalette& SystemPalette20() {
  static const TPalette p = MakeSystem20();
  return p;
}

const TPalette& HalftonePalette() {
  static const TPalette p = MakeHalftone();
  return p;
}

int NearestPaletteIndex(const TPalette& palette, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  int best = -1;
  int bestDist = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    int dr = int(palette[i].peRed) - r, dg = int(palette[i].peGreen) - g, db = int(palette[i].peBlue) - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = int(i);
    }
  }
  return best;
}

}  // namespace clipsmith
