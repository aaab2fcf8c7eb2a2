// A bitmap becomes a frame: the reduction path of every captured frame, the indexed row copies,
// the 24-bit import colour by colour, the index check, transparency, progress, failures, and
// files that giflib reads back as the frames hold them.
#include <gtest/gtest.h>

#include "error_of.h"

#include <random>
#include <string>
#include <vector>

#include "giflib_decode.h"
#include "gif/color_reduction.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"

using namespace clipsmith;

namespace {

std::string ErrorOf(const std::function<void()>& f) { return clipsmith::testing::ErrorOf<std::exception>(f); }

// A true-colour picture in the display's native format with a smooth gradient and some noise.
TBitmap Picture(int w, int h, TRowOrder order = TRowOrder::TopDown, unsigned seed = 1) {
  TBitmap b(w, h, TPixelFormat::pfDevice, order);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(x * 255 / std::max(1, w - 1)), std::uint8_t(y * 255 / std::max(1, h - 1)),
                                std::uint8_t((x * y + int(rng() % 16)) & 255)));
  return b;
}

std::vector<std::uint8_t> Pixels(TGIFFrame& f) { return {f.Data(), f.Data() + f.DataSize()}; }

std::vector<TGIFColor> MapOf(TGIFFrame& f) {
  auto d = f.ColorMap().Data();
  return {d.begin(), d.end()};
}

struct Recorder {
  std::vector<std::string> Warnings;
  std::vector<std::tuple<TProgressStage, int, std::string>> Progress;
  void Attach(TGIFImage& image) {
    image.OnWarning = [this](TPersistent*, TGIFSeverity, const std::string& m) { Warnings.push_back(m); };
    image.OnProgress = [this](TPersistent*, TProgressStage s, int p, bool, const TRect&, const std::string& m) {
      Progress.emplace_back(s, p, m);
    };
  }
};

std::vector<std::uint8_t> Save(TGIFImage& image) {
  TMemoryStream m;
  image.SaveToStream(m);
  return m.Bytes();
}

}  // namespace

TEST(FrameImport, CapturedFrameBecomesAnIndexedFrameWithA256EntryMap) {
  TGIFImage image;
  Recorder rec;
  rec.Attach(image);
  TBitmap b = Picture(320, 240);
  TGIFFrame* f = image.Add(b);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(image.Images().Count(), 1);
  EXPECT_EQ(f->BoundsRect(), (TRect{0, 0, 320, 240}));
  EXPECT_EQ(image.Width(), 320);
  EXPECT_EQ(image.Height(), 240);
  EXPECT_TRUE(rec.Warnings.empty());
  EXPECT_TRUE(image.Modified);
  ASSERT_EQ(f->DataSize(), 320 * 240);
  ASSERT_EQ(f->ColorMap().Count(), 256);
  EXPECT_FALSE(f->Transparent());

  // The octree's colours first, black after them, and no pixel uses the black fill.
  TBitmap again = Picture(320, 240);
  TDIBReader reader(again, TPixelFormat::pf24bit);
  const TPalette palette = BuildOctreePalette(reader, 256, 6, false);
  ASSERT_LE(palette.size(), 256u);
  for (std::size_t i = 0; i < 256; ++i) {
    const TGIFColor want = i < palette.size() ? TGIFColor{palette[i].peRed, palette[i].peGreen, palette[i].peBlue}
                                              : TGIFColor{0, 0, 0};
    EXPECT_EQ(f->ColorMap().Data()[i], want) << i;
  }
  for (std::uint8_t p : Pixels(*f)) ASSERT_LT(p, palette.size());

  // A second frame of the same size leaves the screen alone.
  TBitmap b2 = Picture(320, 240, TRowOrder::TopDown, 2);
  image.Add(b2);
  EXPECT_EQ(image.Width(), 320);
  EXPECT_TRUE(rec.Warnings.empty());

  // Progress: starting, every 32 rows, ending.
  std::vector<std::tuple<TProgressStage, int, std::string>> want = {{TProgressStage::psStarting, 0, "Converting"}};
  for (int y = 0; y < 240; y += 32) want.emplace_back(TProgressStage::psRunning, (y * 100 + 120) / 240, "Converting");
  want.emplace_back(TProgressStage::psEnding, 100, "Converting");
  rec.Progress.resize(want.size());
  EXPECT_EQ(rec.Progress, want);
}

TEST(FrameImport, BottomUpRowsGiveTheSameFrame) {
  // The grabber hands over bottom-up rows; the picture is what counts, not the storage order.
  TBitmap top = Picture(37, 23);
  TBitmap bottom(37, 23, TPixelFormat::pfDevice, TRowOrder::BottomUp);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) bottom.SetPixel(x, y, top.GetPixel(x, y));
  TGIFImage a, b;
  TGIFFrame* fa = a.Add(top);
  TGIFFrame* fb = b.Add(bottom);
  EXPECT_EQ(Pixels(*fa), Pixels(*fb));
  EXPECT_EQ(MapOf(*fa), MapOf(*fb));
}

TEST(FrameImport, IndexedBitmapsAreCopiedWithTheirOwnColours) {
  struct Case {
    TPixelFormat Format;
    int Width;
  };
  for (const Case& c : {Case{TPixelFormat::pf8bit, 5}, Case{TPixelFormat::pf4bit, 7}, Case{TPixelFormat::pf1bit, 11},
                        Case{TPixelFormat::pf8bit, 1}, Case{TPixelFormat::pf1bit, 9}}) {
    for (TRowOrder order : {TRowOrder::TopDown, TRowOrder::BottomUp}) {
      const int colors = c.Format == TPixelFormat::pf1bit ? 2 : c.Format == TPixelFormat::pf4bit ? 16 : 200;
      TBitmap b(c.Width, 3, c.Format, order);
      for (int i = 0; i < colors; ++i)
        b.ColorTable().push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 3), 0});  // blue, green, red
      std::vector<std::uint8_t> want;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < c.Width; ++x) {
          const int index = (x * 7 + y * 3) % colors;
          b.SetIndex(x, y, index);
          want.push_back(std::uint8_t(index));
        }
      TGIFImage image;
      Recorder rec;
      rec.Attach(image);
      TGIFFrame* f = image.Add(b);
      EXPECT_EQ(Pixels(*f), want) << BitsPerPixelOf(c.Format) << " bits, width " << c.Width;
      ASSERT_EQ(f->ColorMap().Count(), colors);
      for (int i = 0; i < colors; ++i)
        EXPECT_EQ(f->ColorMap().Data()[std::size_t(i)], (TGIFColor{std::uint8_t(i * 3), std::uint8_t(255 - i), std::uint8_t(i)}));
      EXPECT_TRUE(rec.Warnings.empty());
      EXPECT_EQ(b.PixelFormat(), c.Format);  // not reduced
    }
  }
}

TEST(FrameImport, IndicesPastTheColourTableBecomeZeroWithAWarning) {
  struct Case {
    TPixelFormat Format;
    int Colors;
    std::vector<int> Indices;
    std::vector<int> Expected;
  };
  const Case cases[] = {
      {TPixelFormat::pf8bit, 3, {0, 1, 2, 3, 200, 2}, {0, 1, 2, 0, 0, 2}},
      {TPixelFormat::pf4bit, 5, {4, 5, 15, 1, 0, 4}, {4, 0, 0, 1, 0, 4}},
      {TPixelFormat::pf1bit, 1, {0, 1, 1, 0, 1, 0}, {0, 0, 0, 0, 0, 0}},
      {TPixelFormat::pf8bit, 0, {0, 7, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    TBitmap b(6, 1, c.Format);
    for (int i = 0; i < c.Colors; ++i) b.ColorTable().push_back({9, 9, std::uint8_t(i), 0});
    for (int x = 0; x < 6; ++x) b.SetIndex(x, 0, c.Indices[std::size_t(x)]);
    TGIFImage image;
    Recorder rec;
    rec.Attach(image);
    TGIFFrame* f = image.Add(b);
    std::vector<int> got(f->Data(), f->Data() + f->DataSize());
    EXPECT_EQ(got, c.Expected) << c.Colors;
    EXPECT_EQ(rec.Warnings, std::vector<std::string>{"Bitmap image is not valid"}) << c.Colors;
  }
  // All indices in range: no warning.
  TBitmap ok(2, 1, TPixelFormat::pf8bit);
  ok.ColorTable() = {{0, 0, 0, 0}, {1, 1, 1, 0}};
  ok.SetIndex(1, 0, 1);
  TGIFImage image;
  Recorder rec;
  rec.Attach(image);
  image.Add(ok);
  EXPECT_TRUE(rec.Warnings.empty());
}

TEST(FrameImport, NoReductionCollectsColoursInOrderOfFirstAppearance) {
  // Runs, repeats after more than eight other colours (past the cache), and the true colours.
  std::vector<TColor> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(RGBColor(std::uint8_t(i), std::uint8_t(i * 7), std::uint8_t(255 - i)));
  std::mt19937 rng(9);
  std::vector<int> order;
  for (int i = 0; i < 256; ++i) order.push_back(i);
  for (int i = 0; i < 700; ++i) order.push_back(int(rng() % 256));
  for (int i = 0; i < 40; ++i) order.push_back(order[std::size_t(i % 9)]);
  const int w = 31, h = int((order.size() + w - 1) / w);
  TBitmap b(w, h, TPixelFormat::pf24bit);
  std::vector<int> seen;
  std::vector<std::uint8_t> want;
  for (int i = 0; i < w * h; ++i) {
    const int c = order[std::size_t(i) % order.size()];
    b.SetPixel(i % w, i / w, colours[std::size_t(c)]);
    auto it = std::find(seen.begin(), seen.end(), c);
    if (it == seen.end()) it = seen.insert(seen.end(), c);
    want.push_back(std::uint8_t(it - seen.begin()));
  }
  TGIFImage image;
  image.SetColorReduction(TColorReduction::rmNone);
  TGIFFrame* f = image.Add(b);
  EXPECT_EQ(Pixels(*f), want);
  ASSERT_EQ(f->ColorMap().Count(), 256);
  for (std::size_t i = 0; i < seen.size(); ++i)
    EXPECT_EQ(f->ColorMap().Data()[i], TColor2TGIFColor(colours[std::size_t(seen[i])]));

  // A few colours give a map of just those.
  TBitmap few(3, 2, TPixelFormat::pf24bit);
  const TColor px[6] = {0x102030, 0x405060, 0x102030, 0xFFFFFF, 0x405060, 0x000001};
  for (int i = 0; i < 6; ++i) few.SetPixel(i % 3, i / 3, px[i]);
  TGIFFrame* g = image.Add(few);
  EXPECT_EQ(Pixels(*g), (std::vector<std::uint8_t>{0, 1, 0, 2, 1, 3}));
  EXPECT_EQ(MapOf(*g), (std::vector<TGIFColor>{TColor2TGIFColor(0x102030), TColor2TGIFColor(0x405060),
                                                TColor2TGIFColor(0xFFFFFF), TColor2TGIFColor(0x000001)}));
}

TEST(FrameImport, FailuresDestroyTheFrameAndLeaveTheImageAsItWas) {
  struct Case {
    const char* Name;
    TColorReduction Reduction;
    TDitherMode Dither;
    TBitmap Source;
    std::string Error;
  };
  TBitmap many(257, 1, TPixelFormat::pf24bit);
  for (int x = 0; x < 257; ++x) many.SetPixel(x, 0, RGBColor(std::uint8_t(x), std::uint8_t(x >> 8), 7));
  std::vector<Case> cases;
  cases.push_back({"257 colours without reduction", TColorReduction::rmNone, TDitherMode::dmNearest, many,
                   "Color table overflow"});
  cases.push_back({"palette method without a palette", TColorReduction::rmPalette, TDitherMode::dmFloydSteinberg,
                   Picture(4, 4), "Missing, invalid or empty palette"});
  cases.push_back({"no engine for the dither mode", TColorReduction::rmQuantize, TDitherMode(42), Picture(4, 4),
                   "Bitmap image is not valid"});
  for (Case& c : cases) {
    TGIFImage image;
    TBitmap first = Picture(2, 2);
    image.Add(first);
    image.Modified = false;
    Recorder rec;
    rec.Attach(image);
    image.SetColorReduction(c.Reduction);
    image.SetDitherMode(c.Dither);
    EXPECT_EQ(ErrorOf([&] { image.Add(c.Source); }), c.Error) << c.Name;
    EXPECT_EQ(image.Images().Count(), 1) << c.Name;
    EXPECT_FALSE(image.Modified) << c.Name;
    if (c.Reduction == TColorReduction::rmNone) {
      // The failure came during the row import: the ending notification still went out, at 0 %.
      ASSERT_FALSE(rec.Progress.empty());
      EXPECT_EQ(rec.Progress.back(), std::make_tuple(TProgressStage::psEnding, 0, std::string("Converting")));
    }
  }
}

TEST(FrameImport, PaletteMethodUsesTheSourcesOwnPalette) {
  TBitmap b = Picture(8, 4);
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.ColorTable() = {{0, 0, 255, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}};  // red, blue, green
  TGIFImage image;
  image.SetColorReduction(TColorReduction::rmPalette);
  image.SetDitherMode(TDitherMode::dmNearest);
  TGIFFrame* f = image.Add(b);
  ASSERT_EQ(f->ColorMap().Count(), 256);
  EXPECT_EQ(f->ColorMap().Data()[0], (TGIFColor{255, 0, 0}));
  EXPECT_EQ(f->ColorMap().Data()[1], (TGIFColor{0, 0, 255}));
  EXPECT_EQ(f->ColorMap().Data()[2], (TGIFColor{0, 255, 0}));
  EXPECT_EQ(f->ColorMap().Data()[3], (TGIFColor{0, 0, 0}));
  const TPalette p = b.Palette();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const TColor c = b.GetPixel(x, y);
      EXPECT_EQ(f->PixelAt(x, y), NearestPaletteIndex(p, GetRValue(c), GetGValue(c), GetBValue(c)));
    }
}

TEST(FrameImport, TransparentBitmaps) {
  // Indexed: the transparent colour's entry becomes the transparent index, when there is one.
  {
    TBitmap b(4, 2, TPixelFormat::pf8bit);
    b.ColorTable() = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}};
    b.SetIndex(2, 1, 2);
    b.Transparent = true;
    b.TransparentColor = RGBColor(0, 255, 0);
    TGIFImage image;
    TGIFFrame* f = image.Add(b);
    ASSERT_TRUE(f->Transparent());
    EXPECT_EQ(f->GraphicControlExtension()->TransparentColorIndex(), 2);
    b.TransparentColor = RGBColor(1, 2, 3);
    EXPECT_FALSE(image.Add(b)->Transparent());
    // Without a colour of its own, the bottom-left pixel's colour is the transparent one.
    b.TransparentColor = clNone;
    b.SetIndex(0, 1, 1);
    TGIFFrame* g = image.Add(b);
    ASSERT_TRUE(g->Transparent());
    EXPECT_EQ(g->GraphicControlExtension()->TransparentColorIndex(), 1);
  }
  // Reduced: transparent only if the colour survives exactly in the reduced map.
  {
    TBitmap b(6, 6, TPixelFormat::pfDevice);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) b.SetPixel(x, y, x < 3 ? RGBColor(200, 10, 10) : RGBColor(10, 10, 200));
    b.Transparent = true;
    b.TransparentColor = RGBColor(10, 10, 200);
    TGIFImage image;
    TGIFFrame* f = image.Add(b);
    ASSERT_TRUE(f->Transparent());
    EXPECT_EQ(f->ActiveColorMap().GetColor(f->GraphicControlExtension()->TransparentColorIndex()), RGBColor(10, 10, 200));
    // Black is also the fill after the octree's colours: the entry the black pixels use is the
    // transparent one, not a fill entry no pixel shows.
    TBitmap dark = b;
    for (int y = 0; y < 6; ++y) dark.SetPixel(0, y, clBlack);
    dark.TransparentColor = clBlack;
    TGIFFrame* d = image.Add(dark);
    ASSERT_TRUE(d->Transparent());
    const int t = d->GraphicControlExtension()->TransparentColorIndex();
    EXPECT_LT(t, 3);
    for (int y = 0; y < 6; ++y) EXPECT_EQ(d->PixelAt(0, y), t);
    // (9, 9, 201) shares a leaf with (10, 10, 200) and pulls the average off it.
    b.SetPixel(5, 5, RGBColor(9, 9, 201));
    b.SetPixel(4, 5, RGBColor(9, 9, 201));
    EXPECT_FALSE(image.Add(b)->Transparent());
  }
  // No reduction: the mask's pixels take a new entry, which holds the transparent colour.
  {
    TBitmap b(4, 1, TPixelFormat::pf24bit);
    const TColor px[4] = {RGBColor(1, 2, 3), RGBColor(50, 60, 70), RGBColor(1, 2, 3), RGBColor(50, 60, 70)};
    for (int x = 0; x < 4; ++x) b.SetPixel(x, 0, px[x]);
    b.Transparent = true;
    b.TransparentColor = RGBColor(50, 60, 70);
    TGIFImage image;
    image.SetColorReduction(TColorReduction::rmNone);
    TGIFFrame* f = image.Add(b);
    ASSERT_TRUE(f->Transparent());
    const int t = f->GraphicControlExtension()->TransparentColorIndex();
    EXPECT_EQ(f->ActiveColorMap().GetColor(t), RGBColor(50, 60, 70));
    EXPECT_EQ(f->PixelAt(1, 0), t);
    EXPECT_EQ(f->PixelAt(3, 0), t);
    EXPECT_NE(f->PixelAt(0, 0), t);
    EXPECT_EQ(f->ActiveColorMap().GetColor(f->PixelAt(0, 0)), RGBColor(1, 2, 3));
    // A transparent colour that no pixel has marks nothing and adds no entry.
    b.TransparentColor = RGBColor(9, 9, 9);
    TGIFFrame* g = image.Add(b);
    EXPECT_FALSE(g->Transparent());
    EXPECT_EQ(g->ColorMap().Count(), 2);
  }
}

TEST(FrameImport, EveryReductionAndEngineGivesAFileGiflibReadsBack) {
  const TColorReduction reductions[] = {
      TColorReduction::rmWindows20, TColorReduction::rmWindows256, TColorReduction::rmWindowsGray,
      TColorReduction::rmMonochrome, TColorReduction::rmGrayScale, TColorReduction::rmNetscape,
      TColorReduction::rmQuantize,   TColorReduction::rmQuantizeWindows};
  const TDitherMode modes[] = {TDitherMode::dmNearest, TDitherMode::dmFloydSteinberg, TDitherMode::dmStucki,
                               TDitherMode::dmSierra,  TDitherMode::dmJaJuNI,         TDitherMode::dmSteveArche,
                               TDitherMode::dmBurkes};
  // One pixel wide (the engines turn at every row) and a small ordinary picture.
  for (auto [w, h] : {std::pair{1, 9}, std::pair{13, 7}}) {
    TGIFImage image;
    int frames = 0;
    for (TColorReduction r : reductions)
      for (TDitherMode m : modes) {
        image.SetColorReduction(r);
        image.SetDitherMode(m);
        TBitmap b = Picture(w, h, TRowOrder::TopDown, unsigned(frames));
        TGIFFrame* f = image.Add(b);
        ++frames;
        ASSERT_EQ(f->DataSize(), w * h);
        ASSERT_EQ(f->ColorMap().Count(), 256);
        // Each frame must match a reduction run here directly.
        TBitmap again = Picture(w, h, TRowOrder::TopDown, unsigned(frames - 1));
        TBitmap reduced = QuantizeBitmap(again, r, m, 8, nullptr);
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(std::vector<std::uint8_t>(f->RowData(y), f->RowData(y) + w),
                    std::vector<std::uint8_t>(reduced.ScanLine(y), reduced.ScanLine(y) + w))
              << int(r) << "/" << int(m);
      }
    const auto decoded = clipsmith::testing::DecodeWithGiflib(Save(image));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    ASSERT_EQ(int(decoded.Frames.size()), frames);
    for (int i = 0; i < frames; ++i) {
      TGIFFrame* f = image.Images()[i];
      EXPECT_EQ(decoded.Frames[std::size_t(i)].Pixels, Pixels(*f));
      std::vector<std::uint8_t> map;
      for (const TGIFColor& c : f->ColorMap().Data()) map.insert(map.end(), {c.Red, c.Green, c.Blue});
      EXPECT_EQ(decoded.Frames[std::size_t(i)].LocalColors, map);
    }
  }
}

TEST(FrameImport, EmptyBitmapGivesAnEmptyFrame) {
  TGIFImage image;
  TBitmap empty;
  TGIFFrame* f = image.Add(empty);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->Empty());
  EXPECT_EQ(f->ColorMap().Count(), 0);
  EXPECT_EQ(image.Width(), 0);
}

TEST(FrameImport, AssigningABitmapReplacesTheFrame) {
  TGIFImage image;
  TBitmap big = Picture(10, 10);
  TGIFFrame* f = image.Add(big);
  TGIFExtension::Create<TGIFCommentExtension>(f);
  TBitmap small(3, 2, TPixelFormat::pf8bit);
  small.ColorTable() = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  small.SetIndex(2, 1, 1);
  f->Assign(small);
  EXPECT_EQ(f->Width(), 3);
  EXPECT_EQ(f->Height(), 2);
  EXPECT_EQ(f->Extensions().Count(), 0);
  EXPECT_EQ(Pixels(*f), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(MapOf(*f), (std::vector<TGIFColor>{{3, 2, 1}, {6, 5, 4}}));
}
