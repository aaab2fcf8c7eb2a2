// Reducing frames on worker threads must not change a byte of the file.
#include <gtest/gtest.h>

#include "gifbuild/gif_builder.h"
#include "graphics/stream.h"

using namespace clipsmith;

namespace {

TBitmap Frame(int w, int h, int k) {
  TBitmap b(w, h, TPixelFormat::pfDevice);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(x * 7 + k * 13), std::uint8_t(y * 5 + x * k), std::uint8_t((x ^ y) * 3 + k)));
  return b;
}

std::vector<std::uint8_t> Build(bool ahead, const std::vector<TBitmap>& frames) {
  TSkGIF gif;
  gif.ReduceAhead = ahead;
  gif.Loops = 2;
  gif.Delay = 70;
  for (const auto& f : frames) {
    TBitmap copy = f;
    gif.AddFrame(copy);
  }
  gif.Flush();
  TMemoryStream m;
  gif.FGIFImg->SaveToStream(m);
  return m.Bytes();
}

}  // namespace

TEST(ReduceAhead, SameBytesAsReducingInTurn) {
  std::vector<TBitmap> frames;
  for (int k = 0; k < 11; ++k) frames.push_back(Frame(37, 23, k));
  frames.push_back(TBitmap());  // an empty bitmap on the way is taken in order too
  frames.push_back(Frame(37, 23, 99));
  auto inTurn = Build(false, frames);
  auto ahead = Build(true, frames);
  EXPECT_EQ(inTurn.size(), ahead.size());
  EXPECT_TRUE(inTurn == ahead);
}

TEST(ReduceAhead, FramesJoinInOrderAndFlushCompletesThem) {
  TSkGIF gif;
  gif.ReduceAhead = true;
  for (int k = 0; k < 5; ++k) {
    TBitmap b = Frame(8 + k, 4, k);
    gif.AddFrame(b);
  }
  gif.Flush();
  ASSERT_EQ(gif.FGIFImg->Images().Count(), 5);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(gif.FGIFImg->Images()[k]->Width(), 8 + k);
  EXPECT_EQ(gif.FGIFFrame, gif.FGIFImg->Images()[4]);
}
