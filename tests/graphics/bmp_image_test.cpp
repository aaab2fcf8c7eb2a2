// Bitmap file images: the file header written in front of a packed bitmap, and the reader.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/bitmap.h"
#include "graphics/bmp_image.h"
#include "graphics/stream.h"

namespace clipsmith {
namespace {

TEST(BmpImage, FileHeaderCountsThePaletteOfIndexedImages) {
  BITMAPINFOHEADER h;
  h.biWidth = 10;
  h.biHeight = 4;
  h.biBitCount = 8;
  h.biSizeImage = 48;
  TBMPFileHeader f = BMPFileHeaderFor(h);
  EXPECT_EQ(f.PixelOffset, 14u + 40 + 256 * 4);
  // The whole packed bitmap, palette included, fits in the file.
  EXPECT_EQ(f.FileSize, 14u + 40 + 256 * 4 + 48);
  h.biClrUsed = 16;
  f = BMPFileHeaderFor(h);
  EXPECT_EQ(f.PixelOffset, 14u + 40 + 64);
  h.biBitCount = 32;
  h.biClrUsed = 0;
  h.biSizeImage = 0;  // computed from the rows
  f = BMPFileHeaderFor(h);
  EXPECT_EQ(f.PixelOffset, 54u);
  EXPECT_EQ(f.FileSize, 54u + 160);
}

// Files written by hand, field by field, so the reader is not checked against our own writer.
TEST(BmpImage, LoadReadsIndexedAndTrueColourImagesInEitherRowOrder) {
  // 3 x 2, 8 bits, bottom-up, two colours, after five bytes of something else.
  const std::vector<std::uint8_t> indexed = {
      1, 2, 3, 4, 5,                          // not the image: it starts at the stream's position
      'B', 'M', 70, 0, 0, 0,                  // file size 14 + 40 + 8 + 8
      0, 0, 0, 0,                             // reserved
      62, 0, 0, 0,                            // pixels at 62
      40, 0, 0, 0,                            // biSize
      3, 0, 0, 0,                             // biWidth
      2, 0, 0, 0,                             // biHeight, positive: bottom row first
      1, 0, 8, 0,                             // biPlanes, biBitCount
      0, 0, 0, 0,                             // BI_RGB
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // biSizeImage, resolution
      2, 0, 0, 0,                             // biClrUsed
      0, 0, 0, 0,                             // biClrImportant
      0x10, 0x20, 0x30, 0, 0xA0, 0xB0, 0xC0, 0,  // colours 0 and 1, blue first
      1, 0, 1, 0,                             // bottom row, one byte of padding
      0, 1, 1, 0,                             // top row
  };
  TMemoryStream s(indexed);
  s.SetPosition(5);
  TBitmap b;
  ASSERT_TRUE(LoadBitmapFromBMP(s, b));
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(b.ColorTable().size(), 2u);
  EXPECT_EQ(b.ColorTable()[1], (TRGBQuad{0xA0, 0xB0, 0xC0, 0}));
  const int top[] = {0, 1, 1}, bottom[] = {1, 0, 1};
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(b.GetIndex(x, 0), top[x]) << x;
    EXPECT_EQ(b.GetIndex(x, 1), bottom[x]) << x;
  }
  EXPECT_EQ(b.GetPixel(1, 0), RGBColor(0xC0, 0xB0, 0xA0));

  // 2 x 2, 24 bits, top-down, rows padded to 8 bytes.
  const std::vector<std::uint8_t> trueColour = {
      'B', 'M', 70, 0, 0, 0,                  // file size 14 + 40 + 16
      0, 0, 0, 0,                             // reserved
      54, 0, 0, 0,                            // pixels at 54
      40, 0, 0, 0,                            // biSize
      2, 0, 0, 0,                             // biWidth
      0xFE, 0xFF, 0xFF, 0xFF,                 // biHeight -2: top row first
      1, 0, 24, 0,                            // biPlanes, biBitCount
      0, 0, 0, 0,                             // BI_RGB
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // biSizeImage, resolution
      0, 0, 0, 0, 0, 0, 0, 0,                 // biClrUsed, biClrImportant
      1, 2, 3, 4, 5, 6, 0, 0,                 // top row: blue, green, red per pixel
      7, 8, 9, 10, 11, 12, 0, 0,              // bottom row
  };
  TMemoryStream t(trueColour);
  ASSERT_TRUE(LoadBitmapFromBMP(t, b));
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.RowOrder(), TRowOrder::TopDown);
  EXPECT_EQ(b.GetPixel(0, 0), RGBColor(3, 2, 1));
  EXPECT_EQ(b.GetPixel(1, 0), RGBColor(6, 5, 4));
  EXPECT_EQ(b.GetPixel(0, 1), RGBColor(9, 8, 7));
  EXPECT_EQ(b.GetPixel(1, 1), RGBColor(12, 11, 10));
}

TEST(BmpImage, LoadRefusesDamagedImagesAndLeavesTheBitmap) {
  TBitmap keep(2, 2);
  std::vector<std::uint8_t> cases[] = {
      {},
      {'B', 'M', 0, 0},
      std::vector<std::uint8_t>(60, 0),
  };
  for (auto& bytes : cases) {
    TMemoryStream s(bytes);
    EXPECT_FALSE(LoadBitmapFromBMP(s, keep));
    EXPECT_EQ(keep.Width(), 2);
  }
  // A header that promises more pixels than the file holds.
  TMemoryStream s;
  BITMAPINFOHEADER h;
  h.biWidth = 1000;
  h.biHeight = 1000;
  h.biBitCount = 32;
  WriteBMPFileHeader(s, BMPFileHeaderFor(h));
  std::uint8_t ih[40];
  WriteBitmapInfoHeader(h, ih);
  s.WriteBuffer(ih, 40);
  s.SetPosition(0);
  EXPECT_FALSE(LoadBitmapFromBMP(s, keep));
  EXPECT_EQ(keep.Width(), 2);
}

}  // namespace
}  // namespace clipsmith
