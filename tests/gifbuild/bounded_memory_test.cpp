// The builder keeps added frames as their encoded image data, not their pixels; the file it
// writes must be the one the image writes from pixels, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "gifbuild/gif_builder.h"
#include "graphics/stream.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

// Gradients with noise: enough colours for a full octree and dithering everywhere.
TBitmap NoisyFrame(int w, int h, int seed) {
  TBitmap b = GradientBitmap(w, h, seed);
  std::mt19937 rng{unsigned(seed)};
  for (int i = 0; i < w * h / 3; ++i)
    b.SetPixel(int(rng() % unsigned(w)), int(rng() % unsigned(h)),
               RGBColor(std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())));
  return b;
}

// The image the builder stands for, made and written from pixels the way it always was.
std::vector<std::uint8_t> FromPixels(const std::vector<TBitmap>& frames, int loops, std::uint32_t delay,
                                     TGIFImage& image) {
  image.SetColorReduction(TColorReduction::rmQuantize);
  image.SetDitherMode(TDitherMode::dmFloydSteinberg);
  for (const TBitmap& f : frames) {
    TBitmap copy = f;
    TGIFFrame* frame = image.Add(copy);
    if (image.Images().Count() == 1 && loops != 1) {
      auto* loop = TGIFExtension::Create<TGIFAppExtNSLoop>(frame);
      loop->SetLoops(loops == 0 ? 0 : int(unsigned(loops - 1) & 0xFFFFu));
    }
    TGIFExtension::Create<TGIFGraphicControlExtension>(frame)->SetDelay(int((delay / 10) & 0xFFFFu));
  }
  TMemoryStream m;
  image.SaveToStream(m);
  return m.Bytes();
}

}  // namespace

TEST(BoundedMemory, SameFileAsFromPixelsWithAndWithoutReducingAhead) {
  std::vector<TBitmap> frames;
  const int sizes[][2] = {{64, 48}, {64, 48}, {33, 17}, {120, 90}, {1, 1}, {64, 48}, {257, 3}};
  int seed = 1;
  for (auto& s : sizes) frames.push_back(NoisyFrame(s[0], s[1], seed++));
  TGIFImage reference;
  const auto expected = FromPixels(frames, 3, 120, reference);

  for (bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "reduced ahead" : "reduced in turn");
    ScratchDir dir;
    TSkGIF gif;
    gif.ReduceAhead = ahead;
    gif.Loops = 3;
    gif.Delay = 120;
    gif.GIFFileName = dir / "clip.gif";
    for (const TBitmap& f : frames) {
      TBitmap copy = f;
      gif.AddFrame(std::move(copy));
    }
    gif.Flush();
    // The frames wait in an unnamed file: nothing to see in the folder while they do.
    EXPECT_TRUE(dir.Entries().empty());
    ASSERT_EQ(gif.FGIFImg->Images().Count(), int(frames.size()));
    for (int i = 0; i < gif.FGIFImg->Images().Count(); ++i)
      EXPECT_TRUE(gif.FGIFImg->Images()[i]->Compacted()) << i;

    gif.SaveToDisk();
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"clip.gif"});
    const auto written = ReadBytes(gif.GIFFileName);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);

    // What a reader of the image asks for afterwards: the pixels, the size, a second save.
    for (int i = 0; i < gif.FGIFImg->Images().Count(); ++i) {
      TGIFFrame& mine = *gif.FGIFImg->Images()[i];
      TGIFFrame& theirs = *reference.Images()[i];
      ASSERT_EQ(mine.DataSize(), theirs.DataSize());
      EXPECT_TRUE(std::equal(mine.Data(), mine.Data() + mine.DataSize(), theirs.Data())) << i;
    }
    TMemoryStream again;
    gif.FGIFImg->SaveToStream(again);
    EXPECT_TRUE(again.Bytes() == expected);
  }
}

TEST(BoundedMemory, ReferenceVectorStillMatchesFromTheStore) {
  // The eight-by-six two-frame vector, through the builder's whole road to the disk.
  ScratchDir dir;
  TSkGIF gif;
  gif.Loops = 0;
  gif.Delay = 100;
  gif.GIFFileName = dir / "two.gif";
  std::vector<TBitmap> frames = {GradientBitmap(8, 6, 0), GradientBitmap(8, 6, 1)};
  for (TBitmap& f : frames) gif.AddFrame(f);
  gif.SaveToDisk();
  TGIFImage reference;
  EXPECT_TRUE(ReadBytes(gif.GIFFileName) == FromPixels(frames, 0, 100, reference));
}

TEST(BoundedMemory, AFailedSaveLeavesNothingAnywhere) {
  ScratchDir dir;
  ScratchDir temp("tmpdir");
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  {
    TSkGIF gif;
    // The folder of the file does not exist: the frames wait in the temporary folder.
    gif.GIFFileName = dir / "missing/clip.gif";
    TBitmap f = NoisyFrame(40, 30, 5);
    gif.AddFrame(f);
    EXPECT_TRUE(gif.FGIFImg->Images()[0]->Compacted());
    EXPECT_THROW(gif.SaveToDisk(), EFOpenError);
  }
  EXPECT_TRUE(dir.Entries().empty());
  EXPECT_TRUE(temp.Entries().empty());
}
