// QuantizeBitmap and its parts: the fixed palettes, the reduced bitmap's layout and colour table,
// the row access classes with their failures, and the method and engine factories.
#include <gtest/gtest.h>

#include "error_of.h"

#include <string>
#include <typeinfo>

#include "gif/color_reduction.h"

using namespace clipsmith;

namespace {

std::string ErrorOf(const std::function<void()>& f) { return clipsmith::testing::ErrorOf<std::exception>(f); }

TBitmap Gradient(int w, int h, TPixelFormat pf = TPixelFormat::pfDevice) {
  TBitmap b(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(x * 17), std::uint8_t(y * 29), std::uint8_t((x + y) * 11)));
  return b;
}

TPalette TableAsPalette(const TBitmap& b) { return b.Palette(); }

}  // namespace

TEST(FixedPalette, EveryMethod) {
  EXPECT_EQ(FixedPalette(TColorReduction::rmWindows20, nullptr), SystemPalette20());
  EXPECT_EQ(FixedPalette(TColorReduction::rmWindows256, nullptr), HalftonePalette());
  EXPECT_EQ(FixedPalette(TColorReduction::rmWindowsGray, nullptr),
            (TPalette{{0, 0, 0, 0}, {128, 128, 128, 0}, {192, 192, 192, 0}, {255, 255, 255, 0}}));
  EXPECT_EQ(FixedPalette(TColorReduction::rmMonochrome, nullptr), (TPalette{{0, 0, 0, 0}, {255, 255, 255, 0}}));
  const TPalette grey = FixedPalette(TColorReduction::rmGrayScale, nullptr);
  ASSERT_EQ(grey.size(), 256u);
  EXPECT_EQ(grey[77], (TPaletteEntry{77, 77, 77, 0}));
  const TPalette cube = FixedPalette(TColorReduction::rmNetscape, nullptr);
  ASSERT_EQ(cube.size(), 216u);
  EXPECT_EQ(cube[1], (TPaletteEntry{0, 0, 51, 0}));                  // blue innermost
  EXPECT_EQ(cube[36], (TPaletteEntry{51, 0, 0, 0}));                 // red outermost
  EXPECT_EQ(cube[2 * 36 + 3 * 6 + 4], (TPaletteEntry{102, 153, 204, 0}));
  const TPalette own = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  EXPECT_EQ(FixedPalette(TColorReduction::rmPalette, &own), own);
  // The octree methods and rmNone have no fixed palette.
  for (auto m : {TColorReduction::rmNone, TColorReduction::rmQuantize, TColorReduction::rmQuantizeWindows})
    EXPECT_TRUE(FixedPalette(m, nullptr).empty());
  // The halftone palette: system colours, the cube, then 20 greys.
  const TPalette& h = HalftonePalette();
  ASSERT_EQ(h.size(), 256u);
  EXPECT_EQ(TPalette(h.begin() + 20, h.begin() + 236), cube);
  EXPECT_EQ(h[236], (TPaletteEntry{12, 12, 12, 0}));
  EXPECT_EQ(h[255], (TPaletteEntry{243, 243, 243, 0}));
}

TEST(FixedPalette, PaletteMethodNeedsAPalette) {
  const TPalette empty;
  EXPECT_EQ(ErrorOf([] { FixedPalette(TColorReduction::rmPalette, nullptr); }), "Missing, invalid or empty palette");
  EXPECT_EQ(ErrorOf([&] { FixedPalette(TColorReduction::rmPalette, &empty); }), "Missing, invalid or empty palette");
  TBitmap b = Gradient(3, 3);
  EXPECT_EQ(ErrorOf([&] { QuantizeBitmap(b, TColorReduction::rmPalette, TDitherMode::dmNearest, 8, nullptr); }),
            "Missing, invalid or empty palette");
  // An index is one byte: a longer palette is cut to 256 entries.
  const TPalette long_(300, TPaletteEntry{9, 9, 9, 0});
  EXPECT_EQ(FixedPalette(TColorReduction::rmPalette, &long_).size(), 256u);
}

TEST(QuantizeBitmap, EveryMethodReducesOntoItsPalette) {
  struct Case {
    TColorReduction Method;
    std::size_t Entries;  // entries taken from the palette (the rest of the 256 are black)
  };
  const Case cases[] = {{TColorReduction::rmWindows20, 20},   {TColorReduction::rmWindows256, 256},
                        {TColorReduction::rmWindowsGray, 4},  {TColorReduction::rmMonochrome, 2},
                        {TColorReduction::rmGrayScale, 256},  {TColorReduction::rmNetscape, 216},
                        {TColorReduction::rmQuantize, 0},     {TColorReduction::rmQuantizeWindows, 0}};
  for (const Case& c : cases) {
    TBitmap source = Gradient(9, 7);
    TBitmap copy = source;
    TBitmap r = QuantizeBitmap(source, c.Method, TDitherMode::dmNearest, 8, nullptr);
    ASSERT_EQ(r.PixelFormat(), TPixelFormat::pf8bit) << int(c.Method);
    ASSERT_EQ(r.Width(), 9);
    ASSERT_EQ(r.Height(), 7);
    ASSERT_EQ(r.ColorTable().size(), 256u);
    // The source was read as 24 bits per pixel, converted in place.
    EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf24bit);
    TPalette palette = FixedPalette(c.Method, nullptr);
    if (palette.empty()) {
      TDIBReader reader(copy, TPixelFormat::pf24bit);
      palette = BuildOctreePalette(reader, 256, 6, c.Method == TColorReduction::rmQuantizeWindows);
    }
    if (c.Entries) {
      EXPECT_EQ(palette.size(), c.Entries);
    }
    const TPalette table = TableAsPalette(r);
    for (std::size_t i = 0; i < 256; ++i)
      EXPECT_EQ(table[i], i < palette.size() ? palette[i] : TPaletteEntry{}) << int(c.Method) << " entry " << i;
    // Without dithering every pixel takes its lookup's answer for its own colour.
    auto lookup = MakeColorLookup(palette, c.Method);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) {
        const TColor px = source.GetPixel(x, y);
        int R, G, B;
        EXPECT_EQ(r.ScanLine(y)[x], lookup->Lookup(GetRValue(px), GetGValue(px), GetBValue(px), R, G, B));
      }
  }
}

TEST(QuantizeBitmap, ReductionBitsBoundTheOctree) {
  for (int bits : {3, 5, 8}) {
    TBitmap b = Gradient(40, 40);
    TBitmap r = QuantizeBitmap(b, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, bits, nullptr);
    int used = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) used = std::max(used, int(r.ScanLine(y)[x]) + 1);
    EXPECT_LE(used, 1 << bits) << bits;
    EXPECT_GT(used, 1) << bits;
  }
  TBitmap b = Gradient(4, 4);
  EXPECT_EQ(ErrorOf([&] { QuantizeBitmap(b, TColorReduction::rmQuantize, TDitherMode::dmNearest, 9, nullptr); }),
            "Invalid Bits Per Pixel value");
  // With the system colours the octree gives at most 236 colours after the 20.
  TBitmap many(64, 64, TPixelFormat::pf24bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) many.SetPixel(x, y, RGBColor(std::uint8_t(x * 4), std::uint8_t(y * 4), std::uint8_t(x ^ y)));
  TBitmap r = QuantizeBitmap(many, TColorReduction::rmQuantizeWindows, TDitherMode::dmNearest, 8, nullptr);
  const TPalette table = TableAsPalette(r);
  EXPECT_EQ(TPalette(table.begin(), table.begin() + 20), SystemPalette20());
}

TEST(QuantizeBitmap, NoReductionIsA24BitCopy) {
  TBitmap source = Gradient(5, 3);
  TBitmap r = QuantizeBitmap(source, TColorReduction::rmNone, TDitherMode::dmFloydSteinberg, 8, nullptr);
  EXPECT_EQ(r.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pfDevice);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(r.GetPixel(x, y), source.GetPixel(x, y));
}

TEST(QuantizeBitmap, NothingToReduceWith) {
  // No engine for the mode: the result is empty.
  TBitmap b = Gradient(4, 4);
  EXPECT_TRUE(QuantizeBitmap(b, TColorReduction::rmQuantize, TDitherMode(99), 8, nullptr).Empty());
  // An empty picture has no octree colours, so no lookup colours.
  TBitmap empty(0, 0, TPixelFormat::pf24bit);
  EXPECT_TRUE(QuantizeBitmap(empty, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, 8, nullptr).Empty());
}

TEST(DIBWriter, LayoutColourTableAndFailures) {
  const TPalette palette = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
  TBitmap target;
  {
    TDIBWriter w(target, TPixelFormat::pf8bit, 5, 3, &palette);
    EXPECT_EQ(w.ColorsUsed(), 256);
    EXPECT_EQ(w.ColorsImportant(), 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) w.RowBits(y)[x] = std::uint8_t(y * 5 + x);
    EXPECT_EQ(ErrorOf([&] { w.RowBits(3); }), "Scan line index out of range");
    EXPECT_EQ(ErrorOf([&] { w.RowBits(-1); }), "Scan line index out of range");
  }
  // Released, the writer has handed its image over: 8 bits, bottom-up rows padded to 4 bytes.
  ASSERT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Height(), 3);
  EXPECT_EQ(target.RowOrder(), TRowOrder::BottomUp);
  EXPECT_EQ(target.Stride(), -8);
  ASSERT_EQ(target.Bits().size(), 24u);
  EXPECT_EQ(target.Bits()[0], 10);  // the first stored row is the bottom row
  EXPECT_EQ(target.Bits()[16], 0);  // top row, stored last
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(target.GetIndex(x, y), y * 5 + x);
  ASSERT_EQ(target.ColorTable().size(), 256u);
  EXPECT_EQ(target.ColorTable()[1], (TRGBQuad{60, 50, 40, 0}));
  EXPECT_EQ(target.ColorTable()[3], TRGBQuad{});
  EXPECT_EQ(target.ColorTable()[255], TRGBQuad{});

  // Without a palette the table is all black; a 24-bit writer has none.
  TBitmap t2, t3;
  {
    TDIBWriter w(t2, TPixelFormat::pf8bit, 2, 2, nullptr);
    EXPECT_EQ(w.ColorsImportant(), 0);
  }
  EXPECT_EQ(t2.ColorTable(), std::vector<TRGBQuad>(256));
  {
    TDIBWriter w(t3, TPixelFormat::pf24bit, 2, 2, &palette);
    w.RowBits(1)[5] = 7;
  }
  EXPECT_EQ(t3.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_TRUE(t3.ColorTable().empty());
  EXPECT_EQ(GetRValue(t3.GetPixel(1, 1)), 7);

  TBitmap t4;
  struct Bad {
    TPixelFormat Format;
    int W, H;
    std::string Error;
  };
  for (const Bad& b : {Bad{TPixelFormat::pf4bit, 2, 2, "Unsupported PixelFormat"},
                       Bad{TPixelFormat::pf32bit, 2, 2, "Unsupported PixelFormat"},
                       Bad{TPixelFormat::pfDevice, 2, 2, "Unsupported PixelFormat"},
                       Bad{TPixelFormat::pf8bit, 0, 2, "Invalid image dimensions"},
                       Bad{TPixelFormat::pf8bit, 2, 0, "Invalid image dimensions"},
                       Bad{TPixelFormat::pf24bit, -3, 2, "Invalid image dimensions"}})
    EXPECT_EQ(ErrorOf([&] { TDIBWriter w(t4, b.Format, b.W, b.H, &palette); }), b.Error);
  TBitmap t5;
  TDIBWriter w(t5, TPixelFormat::pf8bit, 2, 2, &palette);
  w.UpdateBitmap();
  EXPECT_EQ(ErrorOf([&] { w.RowBits(0); }), "Image has no DIB");
}

TEST(DIBReader, ConvertsInPlaceAndReadsRowsFromTheTop) {
  TBitmap b(3, 2, TPixelFormat::pfDevice, TRowOrder::BottomUp);
  b.SetPixel(2, 0, RGBColor(1, 2, 3));
  TDIBReader r(b, TPixelFormat::pf24bit);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(r.RowBits(0)[6], 3);  // blue, green, red
  EXPECT_EQ(r.RowBits(0)[7], 2);
  EXPECT_EQ(r.RowBits(0)[8], 1);
  EXPECT_EQ(r.Width(), 3);
  EXPECT_EQ(r.Height(), 2);
}

TEST(Factories, LookupAndEngineClasses) {
  const TPalette p = {{0, 0, 0, 0}};
  EXPECT_EQ(MakeColorLookup(p, TColorReduction::rmMonochrome)->Kind(), TLookupKind::Monochrome);
  EXPECT_EQ(MakeColorLookup(p, TColorReduction::rmGrayScale)->Kind(), TLookupKind::GrayScale);
  EXPECT_EQ(MakeColorLookup(p, TColorReduction::rmNetscape)->Kind(), TLookupKind::Netscape);
  for (auto m : {TColorReduction::rmWindows20, TColorReduction::rmWindows256, TColorReduction::rmWindowsGray,
                 TColorReduction::rmQuantize, TColorReduction::rmQuantizeWindows, TColorReduction::rmPalette}) {
    auto l = MakeColorLookup(p, m);
    ASSERT_EQ(l->Kind(), TLookupKind::Slow);
    EXPECT_EQ(static_cast<TSlowColorLookup&>(*l).Search(), TNearestSearch::Fast);
    EXPECT_EQ(l->FColors, 1);
  }
  SetDefaultNearestSearch(TNearestSearch::BruteForce);
  EXPECT_EQ(static_cast<TSlowColorLookup&>(*MakeColorLookup(p, TColorReduction::rmQuantize)).Search(),
            TNearestSearch::BruteForce);
  SetDefaultNearestSearch(TNearestSearch::Fast);

  TSlowColorLookup l(p);
  EXPECT_NE(dynamic_cast<TFloydSteinbergDitherer*>(MakeDitherer(TDitherMode::dmFloydSteinberg, 3, l).get()), nullptr);
  EXPECT_NE(dynamic_cast<TStuckiDitherer*>(MakeDitherer(TDitherMode::dmStucki, 3, l).get()), nullptr);
  EXPECT_NE(dynamic_cast<TSierraDitherer*>(MakeDitherer(TDitherMode::dmSierra, 3, l).get()), nullptr);
  EXPECT_NE(dynamic_cast<TJaJuNiDitherer*>(MakeDitherer(TDitherMode::dmJaJuNI, 3, l).get()), nullptr);
  EXPECT_NE(dynamic_cast<TSteveArcheDitherer*>(MakeDitherer(TDitherMode::dmSteveArche, 3, l).get()), nullptr);
  EXPECT_NE(dynamic_cast<TBurkesDitherer*>(MakeDitherer(TDitherMode::dmBurkes, 3, l).get()), nullptr);
  auto plain = MakeDitherer(TDitherMode::dmNearest, 3, l);
  const TDitherEngine& engine = *plain;
  EXPECT_EQ(typeid(engine), typeid(TDitherEngine));
}

TEST(QuantizeBitmap, BruteForceLookupGivesTheSameBitmap) {
  for (TDitherMode m : {TDitherMode::dmFloydSteinberg, TDitherMode::dmStucki, TDitherMode::dmNearest}) {
    TBitmap a = Gradient(33, 21), b = Gradient(33, 21);
    TBitmap fast = QuantizeBitmap(a, TColorReduction::rmQuantize, m, 8, nullptr);
    SetDefaultNearestSearch(TNearestSearch::BruteForce);
    TBitmap brute = QuantizeBitmap(b, TColorReduction::rmQuantize, m, 8, nullptr);
    SetDefaultNearestSearch(TNearestSearch::Fast);
    EXPECT_EQ(std::vector<std::uint8_t>(fast.Bits().begin(), fast.Bits().end()),
              std::vector<std::uint8_t>(brute.Bits().begin(), brute.Bits().end()));
    EXPECT_EQ(fast.ColorTable(), brute.ColorTable());
  }
}
