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
