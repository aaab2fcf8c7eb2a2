#include "frame_orientation.h"

#include <cstdlib>
#include <cstring>

namespace clipsmith::media {

namespace {

// -1, 0 or 1 for a 16.16 matrix entry; a value between is no quarter turn.
bool UnitOf(std::int32_t v, int& unit) {
  constexpr std::int32_t kOne = 1 << 16, kSlack = 1 << 10;
  if (std::abs(v) <= kSlack) unit = 0;
  else if (std::abs(v - kOne) <= kSlack) unit = 1;
  else if (std::abs(v + kOne) <= kSlack) unit = -1;
  else return false;
  return true;
}

}  // namespace

TOrientation OrientationOfDisplayMatrix(const std::int32_t* matrix) {
  if (!matrix) return {};
  int a, b, c, d;
  if (!UnitOf(matrix[0], a) || !UnitOf(matrix[1], b) || !UnitOf(matrix[3], c) || !UnitOf(matrix[4], d)) return {};
  // Exactly one source axis per screen axis, or it is no turn we can show.
  if (!((a != 0 && d != 0 && b == 0 && c == 0) || (a == 0 && d == 0 && b != 0 && c != 0))) return {};
  return TOrientation{a, c, b, d};
}

void CopyOriented(const std::uint8_t* src, std::ptrdiff_t srcStride, int width, int height, int pixelBytes,
                  TOrientation o, std::uint8_t* dst, std::ptrdiff_t dstStride) {
  // Position of the coded pixel (x, y) on screen, one axis: a factor of -1 counts from the far
  // side of that source axis.
  auto axis = [&](int fromX, int fromY, int x, int y) {
    int p = 0;
    if (fromX) p += fromX > 0 ? x : width - 1 - x;
    if (fromY) p += fromY > 0 ? y : height - 1 - y;
    return p;
  };
  const std::size_t bytes = std::size_t(pixelBytes);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = src + std::ptrdiff_t(y) * srcStride;
    for (int x = 0; x < width; ++x) {
      int sx = axis(o.XFromX, o.XFromY, x, y), sy = axis(o.YFromX, o.YFromY, x, y);
      std::memcpy(dst + std::ptrdiff_t(sy) * dstStride + std::ptrdiff_t(sx) * pixelBytes, row + std::size_t(x) * bytes,
                  bytes);
    }
  }
}

}  // namespace clipsmith::media
