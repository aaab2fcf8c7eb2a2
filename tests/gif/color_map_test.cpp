#include <gtest/gtest.h>

#include "gif/gif_image.h"

using namespace clipsmith;

namespace {

struct Warnings {
  std::vector<std::string> seen;
  void Attach(TGIFImage& image) {
    image.OnWarning = [this](TPersistent*, TGIFSeverity, const std::string& m) { seen.push_back(m); };
  }
};

}  // namespace

TEST(ColorMap, BitsPerPixelFollowsTheCount) {
  struct Case { int count, bits; };
  for (auto c : {Case{0, 0}, Case{1, 1}, Case{2, 1}, Case{3, 2}, Case{4, 2}, Case{5, 3}, Case{8, 3}, Case{9, 4},
                 Case{128, 7}, Case{129, 8}, Case{256, 8}}) {
    EXPECT_EQ(BitsForColorCount(c.count), c.bits) << c.count;
    TGIFImage image;
    TGIFFrame* f = TGIFFrame::Create(&image);
    for (int i = 0; i < c.count; ++i) f->ColorMap().Add(RGBColor(i, 0, 0));
    EXPECT_EQ(f->ColorMap().BitsPerPixel(), c.bits);
  }
}

TEST(ColorMap, IndexOfSearchDirectionDependsOnSorting) {
  TGIFImage image;
  auto& map = TGIFFrame::Create(&image)->ColorMap();
  for (int i = 0; i < 10; ++i) map.Add(RGBColor(i, i, i));
  map.SetColor(2, RGBColor(7, 7, 7));
  EXPECT_EQ(map.IndexOf(RGBColor(7, 7, 7)), 7);  // unsorted: the highest index
  map.SetOptimized(true);
  EXPECT_EQ(map.IndexOf(RGBColor(7, 7, 7)), 2);  // sorted: the lowest
  EXPECT_EQ(map.IndexOf(RGBColor(99, 0, 0)), -1);
}

TEST(ColorMap, OverflowAtThe257thColour) {
  TGIFImage image;
  auto& map = TGIFFrame::Create(&image)->ColorMap();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(map.Add(RGBColor(i, 1, 2)), i);
  EXPECT_EQ(map.AddUnique(RGBColor(17, 1, 2)), 17);  // present: no overflow
  try {
    map.AddUnique(RGBColor(1, 1, 1));
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Color table overflow");
  }
  EXPECT_EQ(map.Count(), 256);
}

TEST(ColorMap, ReadingOutOfRangeWarnsThenFallsBackOrRaises) {
  TGIFImage image;
  Warnings w;
  w.Attach(image);
  auto& map = TGIFFrame::Create(&image)->ColorMap();
  map.Add(RGBColor(1, 2, 3));
  map.Add(RGBColor(4, 5, 6));
  map.Add(RGBColor(7, 8, 9));
  EXPECT_EQ(map.GetColor(5), RGBColor(1, 2, 3));
  EXPECT_EQ(w.seen, std::vector<std::string>{"Invalid color index"});
  map.Clear();
  EXPECT_THROW(
      {
        try {
          map.GetColor(0);
        } catch (const GIFException& e) {
          EXPECT_STREQ(e.what(), "Color table is empty");
          throw;
        }
      },
      GIFException);
  EXPECT_EQ(w.seen.size(), 2u);
  EXPECT_THROW(map.SetColor(0, 0), GIFException);
  EXPECT_THROW(map.Delete(0), GIFException);
}

TEST(ColorMap, ColourValueConversion) {
  // bytes from the low end 0x99, 0x66, 0x33, 0x00
  const TColor c = 0x00336699;
  TGIFColor e = TColor2TGIFColor(c);
  EXPECT_EQ(e.Red, 0x99);
  EXPECT_EQ(e.Green, 0x66);
  EXPECT_EQ(e.Blue, 0x33);
  EXPECT_EQ(TGIFColor2TColor(e), c);
}

TEST(ColorMap, ImportsAndDelete) {
  TGIFImage image;
  auto& map = TGIFFrame::Create(&image)->ColorMap();
  const TRGBQuad quads[] = {{1, 2, 3, 0}, {4, 5, 6, 0}};  // blue, green, red, reserved
  map.ImportColorTable(quads);
  ASSERT_EQ(map.Count(), 2);
  EXPECT_EQ(map.GetColor(0), RGBColor(3, 2, 1));
  map.ImportPalette({{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  map.SetOptimized(true);
  map.Delete(1);
  EXPECT_FALSE(map.Optimized());
  ASSERT_EQ(map.Count(), 2);
  EXPECT_EQ(map.GetColor(1), RGBColor(70, 80, 90));
  auto p = map.ExportPalette();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].peBlue, 90);
}
