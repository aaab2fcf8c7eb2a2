#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "graphics/bitmap.h"

namespace clipsmith {

namespace {

// floor(a / b) for b > 0, also for negative a.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}

// Source coordinate of destination coordinate i along an axis of n destination and m source
// pixels starting at s: s + floor((2i+1)·m / (2n)).
std::int64_t SourceOf(int i, int n, int s, int m) {
  return s + FloorDiv((2 * std::int64_t(i) + 1) * m, 2 * std::int64_t(n));
}

int BytesPerPixelIfDirect(const TBitmap& b) {
  int bits = b.BitsPerPixel();
  return (bits == 24 || bits == 32) ? bits / 8 : 0;
}

// StretchCopy's rows when the width is kept: destination columns x0 .. x1 - 1 of the rectangle
// at xDst read source columns xSrc + x0 .. xSrc + x1 - 1, those outside the source black.
void CopyRowsUnscaled(TBitmap& dst, int xDst, int yDst, int hDst, const TBitmap& src, int xSrc, int ySrc, int hSrc,
                      int x0, int x1, int sbpp, int dbpp) {
  // The part of x0 .. x1 whose source column lies in the source.
  const int in0 = int(std::clamp<std::int64_t>(-std::int64_t(xSrc), x0, x1));
  const int in1 = int(std::clamp<std::int64_t>(std::int64_t(src.Width()) - xSrc, in0, x1));
  for (int y = 0; y < hDst; ++y) {
    const std::int64_t dy = std::int64_t(yDst) + y;
    if (dy < 0 || dy >= dst.Height()) continue;
    const std::int64_t sy = SourceOf(y, hDst, ySrc, hSrc);
    std::uint8_t* row = dst.ScanLine(int(dy)) + std::ptrdiff_t(xDst) * dbpp;
    if (sy < 0 || sy >= src.Height() || in0 >= in1) {
      std::memset(row + std::ptrdiff_t(x0) * dbpp, 0, std::size_t(x1 - x0) * std::size_t(dbpp));
      continue;
    }
    std::memset(row + std::ptrdiff_t(x0) * dbpp, 0, std::size_t(in0 - x0) * std::size_t(dbpp));
    std::memset(row + std::ptrdiff_t(in1) * dbpp, 0, std::size_t(x1 - in1) * std::size_t(dbpp));
    const std::uint8_t* s = src.ScanLine(int(sy)) + (std::int64_t(xSrc) + in0) * sbpp;
    std::uint8_t* d = row + std::ptrdiff_t(in0) * dbpp;
    const int n = in1 - in0;
    if (sbpp == dbpp && dbpp == 3) {
      std::memcpy(d, s, std::size_t(n) * 3);
    } else if (sbpp == 4 && dbpp == 4) {
      // The fourth byte of a 32-bit destination pixel is always written 0.
      for (int i = 0; i < n; ++i, s += 4, d += 4) {
        std::uint32_t v;
        std::memcpy(&v, s, 4);
        v &= 0x00FFFFFFu;
        std::memcpy(d, &v, 4);
      }
    } else if (sbpp == 4) {
      // Four pixels at a time: four 32-bit loads become three 32-bit stores (little-endian).
      int i = 0;
      if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= n; i += 4, s += 16, d += 12) {
          std::uint32_t p[4];
          std::memcpy(p, s, 16);
          const std::uint32_t w[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24), ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                                      ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
          std::memcpy(d, w, 12);
        }
      }
      for (; i < n; ++i, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
    } else {
      for (int i = 0; i < n; ++i, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 0;
    }
  }
}

}  // namespace

void StretchCopySlow(TBitmap& dst, int xDst, int yDst, int wDst, int hDst, const TBitmap& src, int xSrc,
                     int ySrc, int wSrc, int hSrc) {
  if (wDst <= 0 || hDst <= 0) return;
  for (int y = 0; y < hDst; ++y) {
    std::int64_t sy = SourceOf(y, hDst, ySrc, hSrc);
    for (int x = 0; x < wDst; ++x) {
      std::int64_t sx = SourceOf(x, wDst, xSrc, wSrc);
      TColor c = clBlack;
      if (sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height()) c = src.GetPixel(int(sx), int(sy));
      std::int64_t dx = std::int64_t(xDst) + x, dy = std::int64_t(yDst) + y;
      if (dx >= 0 && dy >= 0 && dx < dst.Width() && dy < dst.Height()) dst.SetPixel(int(dx), int(dy), c);
    }
  }
}

void StretchCopy(TBitmap& dst, int xDst, int yDst, int wDst, int hDst, const TBitmap& src, int xSrc, int ySrc,
                 int wSrc, int hSrc) {
  if (wDst <= 0 || hDst <= 0) return;
  const int sbpp = BytesPerPixelIfDirect(src);
  const int dbpp = BytesPerPixelIfDirect(dst);
  if (sbpp == 0 || dbpp == 0) {
    StretchCopySlow(dst, xDst, yDst, wDst, hDst, src, xSrc, ySrc, wSrc, hSrc);
    return;
  }
  // Only the destination columns inside dst are visited; each keeps its source column, or -1
  // for a column outside the source that reads black.
  const int x0 = std::max(0, -xDst);
  const int x1 = int(std::min<std::int64_t>(wDst, std::int64_t(dst.Width()) - xDst));
  if (x0 >= x1) return;
  if (wDst == wSrc) {
    // Column x reads source column xSrc + x: rows are copied as runs, black before and after.
    CopyRowsUnscaled(dst, xDst, yDst, hDst, src, xSrc, ySrc, hSrc, x0, x1, sbpp, dbpp);
    return;
  }
  std::vector<int> column(std::size_t(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    std::int64_t sx = SourceOf(x, wDst, xSrc, wSrc);
    column[std::size_t(x - x0)] = (sx >= 0 && sx < src.Width()) ? int(sx) : -1;
  }
  for (int y = 0; y < hDst; ++y) {
    std::int64_t dy = std::int64_t(yDst) + y;
    if (dy < 0 || dy >= dst.Height()) continue;
    std::int64_t sy = SourceOf(y, hDst, ySrc, hSrc);
    std::uint8_t* d = dst.ScanLine(int(dy)) + std::ptrdiff_t(xDst + x0) * dbpp;
    if (sy < 0 || sy >= src.Height()) {
      std::memset(d, 0, std::size_t(x1 - x0) * dbpp);
      continue;
    }
    const std::uint8_t* s = src.ScanLine(int(sy));
    for (int sx : column) {
      if (sx < 0) {
        std::memset(d, 0, std::size_t(dbpp));
      } else {
        const std::uint8_t* p = s + std::ptrdiff_t(sx) * sbpp;
        d[0] = p[0], d[1] = p[1], d[2] = p[2];
        if (dbpp == 4) d[3] = 0;
      }
      d += dbpp;
    }
  }
}

}  // namespace clipsmith
