// Files we write must decode with a decoder we did not write: every pixel, colour and extension
// has to come back through giflib.
#include <gtest/gtest.h>

#include <random>

#include "gif/gif_extensions.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::DecodeWithGiflib;

namespace {

struct Shape {
  const char* what;
  int width, height, colors, frames;
  bool interlaced;
  int pattern;  // 0 noise, 1 gradient, 2 flat
};

void Fill(TGIFFrame* f, int colors, int pattern, std::mt19937& rng) {
  for (int y = 0; y < f->Height(); ++y)
    for (int x = 0; x < f->Width(); ++x) {
      int v = pattern == 0 ? int(rng() % unsigned(colors)) : pattern == 1 ? (x + 3 * y) % colors : colors - 1;
      f->PixelAt(x, y) = std::uint8_t(v);
    }
}

}  // namespace

TEST(WriterThroughGiflib, EveryPixelAndColourComesBack) {
  const Shape shapes[] = {
      {"1x1", 1, 1, 2, 1, false, 0},
      {"1xN", 1, 37, 3, 1, false, 0},
      {"Nx1", 53, 1, 4, 1, false, 1},
      {"odd width", 31, 17, 17, 2, false, 0},
      {"two colours", 40, 40, 2, 1, true, 0},
      {"256 colours", 64, 48, 256, 1, false, 0},
      {"interlaced odd heights", 9, 11, 200, 3, true, 1},
      {"interlaced 2 rows", 5, 2, 5, 1, true, 0},
      // noise of 256 colours fills the 4096-code table many times over
      {"table clears", 160, 120, 256, 1, false, 0},
      {"flat big", 300, 200, 7, 1, false, 2},
      {"many frames", 8, 8, 16, 40, false, 0},
  };
  std::mt19937 rng(11);
  for (const auto& s : shapes) {
    TGIFImage image;
    for (int k = 0; k < s.frames; ++k) {
      TGIFFrame* f = TGIFFrame::Create(&image);
      f->ChangeBounds(0, 0, s.width, s.height);
      f->SetInterlaced(s.interlaced);
      for (int i = 0; i < s.colors; ++i) f->ColorMap().Add(RGBColor(i, 255 - i, (i * 37 + k) & 255));
      Fill(f, s.colors, s.pattern, rng);
      if (k == 0 && s.frames > 1) TGIFExtension::Create<TGIFAppExtNSLoop>(f)->SetLoops(3);
      auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
      gce->SetDelay(k + 5);
      if (k == 1) {
        gce->SetTransparentColorIndex(1);
        gce->SetTransparent(true);
        gce->SetDisposal(TDisposalMethod::dmBackground);
      }
    }
    TMemoryStream m;
    image.SaveToStream(m);
    auto d = DecodeWithGiflib(m.Bytes());
    ASSERT_TRUE(d.Ok) << s.what << ": " << d.Error;
    EXPECT_EQ(d.Version, "89a");
    EXPECT_EQ(d.ScreenWidth, s.width);
    EXPECT_EQ(d.ScreenHeight, s.height);
    ASSERT_EQ(int(d.Frames.size()), s.frames) << s.what;
    for (int k = 0; k < s.frames; ++k) {
      TGIFFrame* f = image.Images()[k];
      const auto& g = d.Frames[std::size_t(k)];
      EXPECT_EQ(g.Width, s.width);
      EXPECT_EQ(g.Height, s.height);
      EXPECT_EQ(g.Interlace, s.interlaced);
      ASSERT_EQ(g.Pixels, std::vector<std::uint8_t>(f->Data(), f->Data() + f->DataSize())) << s.what << " frame " << k;
      ASSERT_GE(g.LocalColors.size(), std::size_t(3 * s.colors));
      for (int i = 0; i < s.colors; ++i) {
        TColor c = f->ColorMap().GetColor(i);
        EXPECT_EQ(g.LocalColors[std::size_t(3 * i)], GetRValue(c));
        EXPECT_EQ(g.LocalColors[std::size_t(3 * i + 1)], GetGValue(c));
        EXPECT_EQ(g.LocalColors[std::size_t(3 * i + 2)], GetBValue(c));
      }
      // giflib sees the extensions in our order with our bytes
      std::vector<int> labels;
      for (const auto& e : g.Extensions) labels.push_back(e.Function);
      if (k == 0 && s.frames > 1) {
        // application block: identification, then its data sub-block as a continuation
        ASSERT_EQ(labels, (std::vector<int>{0xFF, 0x00, 0xF9})) << s.what;
        EXPECT_EQ(std::string(g.Extensions[0].Bytes.begin(), g.Extensions[0].Bytes.end()), "NETSCAPE2.0");
        EXPECT_EQ(g.Extensions[1].Bytes, (std::vector<std::uint8_t>{1, 3, 0}));
      } else {
        ASSERT_EQ(labels, std::vector<int>{0xF9}) << s.what;
      }
      const auto& gce = g.Extensions.back().Bytes;
      ASSERT_EQ(gce.size(), 4u);
      EXPECT_EQ(gce[1] | (gce[2] << 8), k + 5);
      EXPECT_EQ(gce[0], k == 1 ? 0x09 : 0x00);  // transparent flag + disposal 2
      EXPECT_EQ(gce[3], k == 1 ? 1 : 0);
    }
  }
}

TEST(WriterThroughGiflib, FramesAtAnOffsetAndAGlobalMap) {
  TGIFImage image;
  for (int i = 0; i < 4; ++i) image.GlobalColorMap().Add(RGBColor(60 * i, 0, 0));
  TGIFFrame* f = TGIFFrame::Create(&image);
  f->ChangeBounds(0, 0, 10, 10);
  TGIFFrame* g = TGIFFrame::Create(&image);
  g->ChangeBounds(3, 4, 5, 2);
  for (int i = 0; i < g->DataSize(); ++i) g->Data()[i] = std::uint8_t(i % 4);
  TMemoryStream m;
  image.SaveToStream(m);
  auto d = DecodeWithGiflib(m.Bytes());
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.Version, "87a");
  EXPECT_EQ(d.GlobalColors.size(), 12u);
  ASSERT_EQ(d.Frames.size(), 2u);
  EXPECT_EQ(d.Frames[1].Left, 3);
  EXPECT_EQ(d.Frames[1].Top, 4);
  EXPECT_EQ(d.Frames[1].Pixels, std::vector<std::uint8_t>(g->Data(), g->Data() + g->DataSize()));
}
