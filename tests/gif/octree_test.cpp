// The octree quantizer: leaf colours, tree order, merging while counting, the system colours,
// and the counting short cut against a descent from the root for every pixel.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gif/color_reduction.h"
#include "gif/octree_quantizer.h"

using namespace clipsmith;

namespace {

struct Rgb {
  int R, G, B;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

std::vector<Rgb> Colors(const TPalette& p, std::size_t from = 0) {
  std::vector<Rgb> out;
  for (std::size_t i = from; i < p.size(); ++i) out.push_back({p[i].peRed, p[i].peGreen, p[i].peBlue});
  return out;
}

std::vector<Rgb> Table(const TColorQuantizer& q) {
  TRGBQuadArray t{};
  const int n = q.GetColorTable(t);
  std::vector<Rgb> out;
  for (int i = 0; i < n; ++i) out.push_back({t[std::size_t(i)].rgbRed, t[std::size_t(i)].rgbGreen, t[std::size_t(i)].rgbBlue});
  return out;
}

// A 24-bit bitmap whose pixels, row after row from the top, are the given colours.
TBitmap BitmapOf(const std::vector<Rgb>& pixels, int width) {
  const int height = int((pixels.size() + std::size_t(width) - 1) / std::size_t(width));
  TBitmap b(width, height, TPixelFormat::pf24bit);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    b.SetPixel(int(i % std::size_t(width)), int(i / std::size_t(width)),
               RGBColor(std::uint8_t(pixels[i].R), std::uint8_t(pixels[i].G), std::uint8_t(pixels[i].B)));
  return b;
}

TPalette Octree(const std::vector<Rgb>& pixels, int colors, bool system = false, int width = 0) {
  TBitmap b = BitmapOf(pixels, width > 0 ? width : int(pixels.size()));
  TDIBReader reader(b, TPixelFormat::pf24bit);
  return BuildOctreePalette(reader, colors, 6, system);
}

}  // namespace

TEST(Octree, SmallImages) {
  struct Case {
    const char* Name;
    std::vector<Rgb> Pixels;
    std::vector<Rgb> Palette;
  };
  const Case cases[] = {
      {"one colour", std::vector<Rgb>(12, Rgb{37, 200, 91}), {{37, 200, 91}}},
      // The two lowest bits do not split leaves; averages truncate.
      {"(0,0,0) and (3,3,3)", {{0, 0, 0}, {3, 3, 3}}, {{1, 1, 1}}},
      {"three in one leaf", {{4, 8, 12}, {5, 9, 13}, {7, 11, 12}}, {{5, 9, 12}}},
      // Tree order: interleaved bits red, green, blue from the top, not order of appearance.
      {"tree order",
       {{255, 255, 255}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 0}, {128, 0, 0}, {0, 0, 4}},
       {{0, 0, 0}, {0, 0, 4}, {0, 0, 255}, {0, 255, 0}, {128, 0, 0}, {255, 0, 0}, {255, 255, 255}}},
      {"deeper bits decide later", {{0, 32, 0}, {0, 0, 64}, {0, 16, 0}}, {{0, 16, 0}, {0, 32, 0}, {0, 0, 64}}},
  };
  for (const Case& c : cases) EXPECT_EQ(Colors(Octree(c.Pixels, 256)), c.Palette) << c.Name;
}

TEST(Octree, AtMost256ColoursGiveOneEntryEach) {
  // 256 distinct top-6-bit colours, shuffled: all come back, sorted in tree order.
  std::vector<Rgb> pixels;
  for (int i = 0; i < 256; ++i) pixels.push_back({(i & 7) * 32, ((i >> 3) & 7) * 32, (i >> 6) * 64});
  std::mt19937 rng(5);
  std::shuffle(pixels.begin(), pixels.end(), rng);
  const std::vector<Rgb> got = Colors(Octree(pixels, 256, false, 16));
  ASSERT_EQ(got.size(), 256u);
  auto treeKey = [](const Rgb& c) {
    int k = 0;
    for (int bit = 7; bit >= 2; --bit) k = k * 8 + ((c.R >> bit) & 1) * 4 + ((c.G >> bit) & 1) * 2 + ((c.B >> bit) & 1);
    return k;
  };
  for (std::size_t i = 1; i < got.size(); ++i) EXPECT_LT(treeKey(got[i - 1]), treeKey(got[i])) << i;
  std::vector<Rgb> sorted = pixels;
  std::sort(sorted.begin(), sorted.end(), [&](const Rgb& a, const Rgb& b) { return treeKey(a) < treeKey(b); });
  EXPECT_EQ(got, sorted);
}

TEST(Octree, The257thLeafMergesTheNewestDeepestNode) {
  // 256 colours fill 256 leaves at depth 6, spread so that each level-5 node holds two of them
  // (they differ in bit 2 of blue only). The 257th colour opens a new level-5 node; the newest
  // reducible node on level 5 is that one, whose single leaf merges into it (257 leaves still),
  // then the next newest: the node of the last pair, whose two leaves become one (256).
  std::vector<Rgb> pixels;
  for (int i = 0; i < 128; ++i) {
    const int r = (i & 7) * 32, g = ((i >> 3) & 7) * 32, b = (i >> 6) * 64;
    pixels.push_back({r, g, b});
    pixels.push_back({r, g, b + 4});
  }
  TColorQuantizer q(256, 6);
  for (const Rgb& c : pixels) q.CountColor(std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B));
  EXPECT_EQ(q.FLeafCount, 256);
  q.CountColor(0, 0, 128);  // a new level-5 branch
  EXPECT_EQ(q.FLeafCount, 256);
  const std::vector<Rgb> table = Table(q);
  ASSERT_EQ(table.size(), 256u);
  // The last pair (224, 224, 64) and (224, 224, 68) became one leaf with their average.
  EXPECT_EQ(std::count(table.begin(), table.end(), Rgb{224, 224, 66}), 1);
  EXPECT_EQ(std::count(table.begin(), table.end(), Rgb{224, 224, 64}), 0);
  EXPECT_EQ(std::count(table.begin(), table.end(), Rgb{0, 0, 128}), 1);
  EXPECT_EQ(std::count(table.begin(), table.end(), Rgb{0, 0, 4}), 1);  // the first pair is untouched

  // Merges that remove up to 7 leaves at once may leave fewer than 256 entries: the palette
  // holds exactly as many as there are leaves.
  std::vector<Rgb> many;
  for (int i = 0; i < 4096; ++i) many.push_back({(i & 15) * 16, ((i >> 4) & 15) * 16, (i >> 8) * 16});
  TColorQuantizer q2(256, 6);
  for (const Rgb& c : many) q2.CountColor(std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B));
  EXPECT_LE(q2.FLeafCount, 256);
  EXPECT_EQ(int(Table(q2).size()), q2.FLeafCount);
  EXPECT_EQ(int(Octree(many, 256, false, 64).size()), q2.FLeafCount);
}

TEST(Octree, PixelOrderMatters) {
  // Three colours requested. Forward, the fourth leaf merges the newest level-1 node that has
  // more than one child: the one holding (64,8,0), (32,16,32) and (8,16,64); (8,192,128) then
  // joins (8,192,255), whose level-1 node had become a leaf. Backward, the fourth leaf merges
  // only (8,16,64) with (32,16,32), and (64,8,0) arrives last into that leaf.
  const std::vector<Rgb> pixels = {{64, 8, 0}, {8, 192, 255}, {32, 16, 32}, {8, 16, 64}, {8, 192, 128}};
  const std::vector<Rgb> reversed(pixels.rbegin(), pixels.rend());
  EXPECT_EQ(Colors(Octree(pixels, 3)), (std::vector<Rgb>{{34, 13, 32}, {8, 192, 191}}));
  EXPECT_EQ(Colors(Octree(reversed, 3)), (std::vector<Rgb>{{34, 13, 32}, {8, 192, 128}, {8, 192, 255}}));
}

TEST(Octree, SystemColoursComeFirstAndLimitTheOctreeTo236) {
  std::vector<Rgb> pixels;
  for (int i = 0; i < 4096; ++i) pixels.push_back({(i & 15) * 16, ((i >> 4) & 15) * 16, (i >> 8) * 16});
  const TPalette p = Octree(pixels, 256, true, 64);
  ASSERT_GE(p.size(), 21u);
  EXPECT_LE(p.size(), 256u);
  EXPECT_EQ(TPalette(p.begin(), p.begin() + 20), SystemPalette20());
  TBitmap b = BitmapOf(pixels, 64);
  TDIBReader reader(b, TPixelFormat::pf24bit);
  EXPECT_EQ(Colors(p, 20), Colors(BuildOctreePalette(reader, 236, 6, false)));
  // A small request stays as it is.
  EXPECT_EQ(Octree({{1, 2, 3}}, 8, true).size(), 21u);
}

TEST(Octree, PaletteFromQuads) {
  const std::vector<TRGBQuad> quads = {{3, 2, 1, 0}, {30, 20, 10, 0}, {9, 9, 9, 0}};
  EXPECT_EQ(PaletteFromQuads(quads, 2, false), (TPalette{{1, 2, 3, 0}, {10, 20, 30, 0}}));
  const TPalette withSystem = PaletteFromQuads(quads, 3, true);
  ASSERT_EQ(withSystem.size(), 23u);
  EXPECT_EQ(withSystem[20], (TPaletteEntry{1, 2, 3, 0}));
  std::vector<TRGBQuad> full(256, TRGBQuad{1, 1, 1, 0});
  EXPECT_EQ(PaletteFromQuads(full, 256, true).size(), 256u);  // 20 + at most 236
  EXPECT_EQ(PaletteFromQuads(full, 256, false).size(), 256u);
}

TEST(Octree, ShortCutGivesTheSameTreeAsDescendingFromTheRoot) {
  std::mt19937 rng(11);
  // Runs of similar colours (as in video frames), noise, and few colours.
  std::vector<std::vector<Rgb>> images(3);
  for (int i = 0; i < 20000; ++i) {
    const int base = (i / 37) * 7;
    images[0].push_back({(base + int(rng() % 5)) & 255, (base * 3 + int(rng() % 9)) & 255, (i / 500 * 11) & 255});
    images[1].push_back({int(rng() & 255), int(rng() & 255), int(rng() & 255)});
    images[2].push_back({int(rng() % 3) * 100, 7, int(rng() % 2) * 4});
  }
  for (std::size_t k = 0; k < images.size(); ++k)
    for (int colors : {8, 64, 256}) {
      TColorQuantizer fast(colors, 6), slow(colors, 6);
      slow.UseLeafShortCut = false;
      for (const Rgb& c : images[k]) {
        fast.CountColor(std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B));
        slow.CountColor(std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B));
      }
      EXPECT_EQ(fast.FLeafCount, slow.FLeafCount);
      EXPECT_EQ(Table(fast), Table(slow)) << "image " << k << " colours " << colors;
      EXPECT_LE(fast.NodeCount(), (colors + 1) * 7);

      // The same pixels as rows of blue, green, red bytes, rows of every length from 1 up.
      std::vector<std::uint8_t> bgr;
      for (const Rgb& c : images[k]) bgr.insert(bgr.end(), {std::uint8_t(c.B), std::uint8_t(c.G), std::uint8_t(c.R)});
      TColorQuantizer rows(colors, 6);
      int done = 0, length = 1;
      const int total = int(images[k].size());
      while (done < total) {
        const int n = std::min(length, total - done);
        rows.CountPixels(bgr.data() + std::size_t(done) * 3, n);
        done += n;
        length = length % 700 + 1 + int(rng() % 3);
      }
      EXPECT_EQ(rows.FLeafCount, slow.FLeafCount);
      EXPECT_EQ(Table(rows), Table(slow)) << "rows, image " << k << " colours " << colors;
    }
}
