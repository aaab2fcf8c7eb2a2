// How a decoded picture is turned to be shown as its file says: the display matrix that phones
// and cameras write (a rotation by a quarter turn, a mirror, or both).
#pragma once

#include <cstddef>
#include <cstdint>

namespace clipsmith::media {

// Where the coded pixel (x, y) of a W x H picture goes on screen: along the screen's x axis by
// XFromX * x + XFromY * y, along its y axis by YFromX * x + YFromY * y, each factor -1, 0 or 1
// (a -1 counts from the far side), so that the shown picture starts at (0, 0).
struct TOrientation {
  int XFromX = 1, XFromY = 0, YFromX = 0, YFromY = 1;

  bool Identity() const { return XFromX == 1 && XFromY == 0 && YFromX == 0 && YFromY == 1; }
  // A quarter turn (or a mirror across a diagonal): width and height trade places.
  bool SwapsSides() const { return XFromX == 0; }
};

// The orientation of FFmpeg's 3x3 display matrix (16.16 fixed point, row vectors: x' = a x + c y,
// y' = b x + d y); the identity for a missing matrix or one that is not a quarter-turn multiple.
TOrientation OrientationOfDisplayMatrix(const std::int32_t* matrix);

// Copies a top-down picture of width x height pixels of pixelBytes each (rows srcStride bytes
// apart) turned by the orientation into dst, whose rows (of the shown picture, top-down) are
// dstStride bytes apart; dst's width and height are the source's, traded for a quarter turn.
void CopyOriented(const std::uint8_t* src, std::ptrdiff_t srcStride, int width, int height, int pixelBytes,
                  TOrientation o, std::uint8_t* dst, std::ptrdiff_t dstStride);

}  // namespace clipsmith::media
