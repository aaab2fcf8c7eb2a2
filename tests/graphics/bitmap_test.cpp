#include <gtest/gtest.h>

#include "graphics/bitmap.h"

using namespace clipsmith;

TEST(Bitmap, BottomUpRowsAreAddressedFromTheTop) {
  TBitmap top(3, 2, TPixelFormat::pf32bit, TRowOrder::TopDown);
  TBitmap bottom(3, 2, TPixelFormat::pf32bit, TRowOrder::BottomUp);
  EXPECT_EQ(top.Stride(), 12);
  EXPECT_EQ(bottom.Stride(), -12);
  // The first stored row of a bottom-up bitmap is the picture's last row.
  EXPECT_EQ(bottom.ScanLine(1), bottom.Bits().data());
  EXPECT_EQ(bottom.ScanLine(0), bottom.Bits().data() + 12);
  bottom.SetPixel(2, 0, RGBColor(1, 2, 3));
  EXPECT_EQ(bottom.Bits()[12 + 8], 3);  // blue first
  EXPECT_EQ(bottom.GetPixel(2, 0), RGBColor(1, 2, 3));
  EXPECT_THROW(top.ScanLine(2), EInvalidGraphicOperation);
  EXPECT_THROW(top.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, RowsArePaddedToFourBytes) {
  struct Case { int width, bits; std::size_t bytes; };
  for (auto c : {Case{1, 1, 4}, Case{33, 1, 8}, Case{3, 8, 4}, Case{5, 8, 8}, Case{1, 24, 4}, Case{3, 24, 12},
                 Case{5, 24, 16}, Case{7, 4, 4}, Case{9, 4, 8}, Case{3, 16, 8}})
    EXPECT_EQ(BytesPerRow(c.width, c.bits), c.bytes) << c.width << "x" << c.bits;
}

TEST(Bitmap, FormatChangesKeepTheColours) {
  TBitmap b(5, 3, TPixelFormat::pfDevice);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) b.SetPixel(x, y, RGBColor(x * 50, y * 100, 255 - x * 40));
  TBitmap c = b;
  c.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(c.BitsPerPixel(), 24);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(c.GetPixel(x, y), b.GetPixel(x, y));
  c.SetPixelFormat(TPixelFormat::pf32bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(c.GetPixel(x, y), b.GetPixel(x, y));
  // 16-bit keeps the top bits of each channel.
  c.SetPixelFormat(TPixelFormat::pf16bit);
  EXPECT_EQ(GetRValue(c.GetPixel(4, 2)) & 0xF8, 200 & 0xF8);
  EXPECT_EQ(GetGValue(c.GetPixel(4, 2)) & 0xFC, 200 & 0xFC);
}

TEST(Bitmap, IndexedFormatsGoThroughTheColourTable) {
  TBitmap b(10, 2, TPixelFormat::pf4bit);
  b.ColorTable() = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  b.SetIndex(9, 1, 2);
  b.SetIndex(8, 1, 1);
  EXPECT_EQ(b.GetIndex(9, 1), 2);
  EXPECT_EQ(b.GetIndex(8, 1), 1);
  EXPECT_EQ(b.ScanLine(1)[4], 0x12);  // high nibble first
  EXPECT_EQ(b.GetPixel(9, 1), RGBColor(0, 0, 255));
  EXPECT_EQ(b.GetPixel(8, 1), RGBColor(255, 0, 0));
  b.SetPixel(0, 0, RGBColor(250, 10, 10));  // nearest entry
  EXPECT_EQ(b.GetIndex(0, 0), 1);

  TBitmap m(9, 1, TPixelFormat::pf1bit);
  m.SetIndex(0, 0, 1);
  m.SetIndex(8, 0, 1);
  EXPECT_EQ(m.ScanLine(0)[0], 0x80);  // most significant bit first
  EXPECT_EQ(m.ScanLine(0)[1], 0x80);
}

TEST(Bitmap, TransparencyMaskMarksTheTransparentColour) {
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.SetPixel(1, 0, RGBColor(9, 9, 9));
  EXPECT_TRUE(b.TransparencyMask().empty());
  b.Transparent = true;
  b.TransparentColor = RGBColor(9, 9, 9);
  EXPECT_EQ(b.TransparencyMask(), (std::vector<std::uint8_t>{0, 1, 0, 0}));
}

TEST(Palettes, SystemAndHalftone) {
  const auto& s = SystemPalette20();
  ASSERT_EQ(s.size(), 20u);
  EXPECT_EQ(s[8], (TPaletteEntry{192, 220, 192, 0}));
  EXPECT_EQ(s[19], (TPaletteEntry{255, 255, 255, 0}));
  const auto& h = HalftonePalette();
  ASSERT_EQ(h.size(), 256u);
  EXPECT_EQ(h[20], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(h[20 + 1 * 36 + 2 * 6 + 3], (TPaletteEntry{51, 102, 153, 0}));
  // greys round(i·255/21): 12, 24, 36, 49 (48.57), ... 243
  EXPECT_EQ(h[236].peRed, 12);
  EXPECT_EQ(h[239].peRed, 49);
  EXPECT_EQ(h[255].peRed, 243);
}

TEST(Palettes, NearestIndexPrefersTheLowestOnTies) {
  TPalette p = {{10, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {20, 0, 0, 0}};
  EXPECT_EQ(NearestPaletteIndex(p, 0, 0, 0), 1);
  EXPECT_EQ(NearestPaletteIndex(p, 5, 0, 0), 0);  // 25 from entries 0 and 1
  EXPECT_EQ(NearestPaletteIndex(p, 16, 0, 0), 3);
  EXPECT_EQ(NearestPaletteIndex({}, 0, 0, 0), -1);
}
