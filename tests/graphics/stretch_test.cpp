#include <gtest/gtest.h>

#include <random>

#include "graphics/bitmap.h"

using namespace clipsmith;

namespace {

TBitmap Numbered(int w, int h, TPixelFormat pf, TRowOrder order = TRowOrder::TopDown) {
  TBitmap b(w, h, pf, order);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, RGBColor(x + 1, y + 1, (x * 7 + y * 3) & 255));
  return b;
}

}  // namespace

TEST(StretchCopy, NearestSampleAtPixelCentres) {
  // 4 columns onto 3: centres 0.5, 1.5, 2.5 of the destination map to floor((2x+1)·4/6) = 0, 2, 3.
  TBitmap src = Numbered(4, 1, TPixelFormat::pf32bit);
  TBitmap dst(3, 1, TPixelFormat::pfDevice);
  StretchCopy(dst, 0, 0, 3, 1, src, 0, 0, 4, 1);
  EXPECT_EQ(GetRValue(dst.GetPixel(0, 0)), 1);
  EXPECT_EQ(GetRValue(dst.GetPixel(1, 0)), 3);
  EXPECT_EQ(GetRValue(dst.GetPixel(2, 0)), 4);
  // Doubling repeats every pixel twice.
  TBitmap big(8, 1, TPixelFormat::pfDevice);
  StretchCopy(big, 0, 0, 8, 1, src, 0, 0, 4, 1);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(GetRValue(big.GetPixel(x, 0)), x / 2 + 1);
}

TEST(StretchCopy, OutsideTheSourceReadsBlack) {
  TBitmap src = Numbered(4, 4, TPixelFormat::pf32bit, TRowOrder::BottomUp);
  TBitmap dst(4, 4, TPixelFormat::pfDevice);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) dst.SetPixel(x, y, clWhite);
  StretchCopy(dst, 0, 0, 4, 4, src, 2, -1, 4, 4);
  EXPECT_EQ(dst.GetPixel(0, 0), clBlack);  // row -1
  EXPECT_EQ(dst.GetPixel(0, 1), src.GetPixel(2, 0));
  EXPECT_EQ(dst.GetPixel(1, 3), src.GetPixel(3, 2));
  EXPECT_EQ(dst.GetPixel(2, 2), clBlack);  // column 4
}

TEST(StretchCopy, FastPathMatchesThePixelByPixelCopy) {
  std::mt19937 rng(7);
  const TPixelFormat formats[] = {TPixelFormat::pfDevice, TPixelFormat::pf24bit, TPixelFormat::pf32bit,
                                  TPixelFormat::pf8bit};
  for (int round = 0; round < 600; ++round) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    TPixelFormat sf = formats[pick(0, 3)], df = formats[pick(0, 2)];
    TBitmap src = Numbered(pick(1, 23), pick(1, 17), sf, pick(0, 1) ? TRowOrder::BottomUp : TRowOrder::TopDown);
    TBitmap a(pick(1, 19), pick(1, 19), df), b = a;
    int dx = pick(-5, 5), dy = pick(-5, 5), dw = pick(1, 30), dh = pick(1, 30);
    int sx = pick(-6, 10), sy = pick(-6, 10), sw = pick(1, 30), sh = pick(1, 30);
    // Every other round keeps the width (rows copied as runs), crops and frames included.
    if (round % 2 == 0) sw = dw;
    StretchCopy(a, dx, dy, dw, dh, src, sx, sy, sw, sh);
    StretchCopySlow(b, dx, dy, dw, dh, src, sx, sy, sw, sh);
    ASSERT_EQ(a.Bits().size(), b.Bits().size());
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x)
        ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << "round " << round << " at " << x << "," << y;
  }
}
