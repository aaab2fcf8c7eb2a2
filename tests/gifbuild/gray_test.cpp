// The grey option of the builder: frames reduced to the 256 greys with Floyd-Steinberg, and the
// colour reduction untouched when the option is off.
#include <gtest/gtest.h>

#include <set>

#include "giflib_decode.h"
#include "gifbuild/gif_builder.h"
#include "graphics/stream.h"

using namespace clipsmith;

namespace {

TBitmap Colourful(int w, int h, int k) {
  TBitmap b(w, h, TPixelFormat::pfDevice);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(x * 9 + k * 13), std::uint8_t(y * 11 + x * k), std::uint8_t((x ^ y) * 7 + k)));
  return b;
}

// gray: nullopt leaves the builder as made; ahead: reduce on the worker threads.
std::vector<std::uint8_t> Build(std::optional<bool> gray, bool ahead, int frames = 3) {
  TSkGIF gif;
  gif.ReduceAhead = ahead;
  if (gray) gif.SetGrayScale(*gray);
  for (int k = 0; k < frames; ++k) gif.AddFrame(Colourful(31, 17, k));
  gif.Flush();
  TMemoryStream m;
  gif.FGIFImg->SaveToStream(m);
  return m.Bytes();
}

}  // namespace

TEST(GifBuilderGray, FramesOfGreysWithAFullGreyTable) {
  TSkGIF gif;
  EXPECT_FALSE(gif.GrayScale());
  gif.SetGrayScale(true);
  EXPECT_TRUE(gif.GrayScale());
  EXPECT_EQ(gif.FGIFImg->ColorReduction(), TColorReduction::rmGrayScale);
  EXPECT_EQ(gif.FGIFImg->DitherMode(), TDitherMode::dmFloydSteinberg);

  const auto bytes = Build(true, false);
  const clipsmith::testing::DecodedGif decoded = clipsmith::testing::DecodeWithGiflib(bytes);
  ASSERT_TRUE(decoded.Ok) << decoded.Error;
  ASSERT_EQ(decoded.Frames.size(), 3u);
  for (const auto& f : decoded.Frames) {
    const auto& table = f.LocalColors.empty() ? decoded.GlobalColors : f.LocalColors;
    ASSERT_EQ(table.size(), 256u * 3);
    // Entry i is grey i: the pixel index is the grey level itself.
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(table[std::size_t(i * 3 + c)], i);
    // A dithered picture of many colours uses many greys, not a handful.
    std::set<std::uint8_t> used(f.Pixels.begin(), f.Pixels.end());
    EXPECT_GT(used.size(), 40u);
  }
}

TEST(GifBuilderGray, SameBytesAheadAndInTurnAndTheColourOutputUnchanged) {
  EXPECT_TRUE(Build(true, true) == Build(true, false));
  // Switching it off again, or never touching it, gives the octree output as before.
  const auto untouched = Build(std::nullopt, false);
  EXPECT_TRUE(Build(false, false) == untouched);
  EXPECT_TRUE(Build(false, true) == untouched);
  EXPECT_FALSE(Build(true, false) == untouched);
}
