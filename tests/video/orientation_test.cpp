// Videos whose track header asks for a quarter turn or a mirror (as phones write them) are shown
// turned: the frame size, every grabbed frame and the shown picture are the turned picture, pixel
// for pixel the unturned clip's frame moved to where the turn puts it.
#include <gtest/gtest.h>

#include <functional>

#include "harness.h"

namespace clipsmith {
namespace {

using testing::THarness;
using testing::TopDownPixels;

struct TTurn {
  const char* Clip;
  bool Swaps;  // width and height trade places
  // The source pixel (x, y) of a W x H picture that the shown pixel (X, Y) shows.
  std::function<std::pair<int, int>(int X, int Y, int W, int H)> From;
};

void PrintTo(const TTurn& t, std::ostream* os) { *os << t.Clip; }

std::vector<std::vector<std::uint8_t>> GrabAll(const std::string& clip, int frames, int& width, int& height) {
  THarness h;
  std::vector<std::vector<std::uint8_t>> out;
  if (h.Render(clip) != S_OK) return out;
  for (int k = 0; k < frames; ++k) {
    if (k > 0 && !h.StepAndWait()) break;
    TBitmap b;
    if (!h.Grabber.GetBitmap(b)) break;
    width = b.Width();
    height = b.Height();
    out.push_back(TopDownPixels(b));
  }
  return out;
}

class Orientation : public ::testing::TestWithParam<TTurn> {};

TEST_P(Orientation, FramesAreShownTurned) {
  const TTurn& t = GetParam();
  const int W = 48, H = 32, frames = 10;
  int pw = 0, ph = 0, tw = 0, th = 0;
  auto plain = GrabAll("turn_source.mp4", frames, pw, ph);
  ASSERT_EQ(int(plain.size()), frames);
  ASSERT_EQ(pw, W);
  ASSERT_EQ(ph, H);
  auto turned = GrabAll(t.Clip, frames, tw, th);
  ASSERT_EQ(int(turned.size()), frames);
  EXPECT_EQ(tw, t.Swaps ? H : W);
  EXPECT_EQ(th, t.Swaps ? W : H);
  for (int k = 0; k < frames; ++k) {
    int wrong = 0;
    for (int Y = 0; Y < th; ++Y)
      for (int X = 0; X < tw; ++X) {
        auto [x, y] = t.From(X, Y, W, H);
        for (int ch = 0; ch < 4; ++ch)
          wrong += turned[std::size_t(k)][(std::size_t(Y) * std::size_t(tw) + std::size_t(X)) * 4 + std::size_t(ch)] !=
                   plain[std::size_t(k)][(std::size_t(y) * W + std::size_t(x)) * 4 + std::size_t(ch)];
      }
    EXPECT_EQ(wrong, 0) << "frame " << k;
  }
}

TEST_P(Orientation, TheShownPictureAndTheVideoSizeAreTurnedToo) {
  const TTurn& t = GetParam();
  THarness h;
  ASSERT_EQ(h.Render(t.Clip), S_OK);
  auto wl = h.Window.QueryInterface<IVMRWindowlessControl9>();
  ASSERT_NE(wl, nullptr);
  long w = 0, hh = 0;
  ASSERT_EQ(wl->GetNativeVideoSize(&w, &hh), S_OK);
  EXPECT_EQ(w, t.Swaps ? 32 : 48);
  EXPECT_EQ(hh, t.Swaps ? 48 : 32);
  std::vector<std::uint8_t> dib;
  ASSERT_EQ(wl->GetCurrentImage(dib), S_OK);
  BITMAPINFOHEADER ih = ReadBitmapInfoHeader(dib.data());
  EXPECT_EQ(ih.biWidth, w);
  EXPECT_EQ(ih.biHeight, hh);
  TBitmap b;
  ASSERT_TRUE(h.Grabber.GetBitmap(b));
  std::vector<std::uint8_t> shown;
  for (int y = int(hh) - 1; y >= 0; --y) {
    const std::uint8_t* r = dib.data() + ih.biSize + std::size_t(y) * std::size_t(w) * 4;
    shown.insert(shown.end(), r, r + w * 4);
  }
  EXPECT_TRUE(shown == TopDownPixels(b));
}

INSTANTIATE_TEST_SUITE_P(
    Turns, Orientation,
    ::testing::Values(
        // A quarter turn clockwise: the left column becomes the top row.
        TTurn{"turn_cw.mp4", true, [](int X, int Y, int, int H) { return std::pair{Y, H - 1 - X}; }},
        TTurn{"turn_half.mp4", false, [](int X, int Y, int W, int H) { return std::pair{W - 1 - X, H - 1 - Y}; }},
        TTurn{"turn_ccw.mp4", true, [](int X, int Y, int W, int) { return std::pair{W - 1 - Y, X}; }},
        TTurn{"turn_mirror.mp4", false, [](int X, int Y, int W, int) { return std::pair{W - 1 - X, Y}; }},
        TTurn{"turn_flip.mp4", false, [](int X, int Y, int, int H) { return std::pair{X, H - 1 - Y}; }},
        TTurn{"turn_transpose.mp4", true, [](int X, int Y, int, int) { return std::pair{Y, X}; }}),
    [](const auto& info) {
      std::string n = info.param.Clip;
      return n.substr(5, n.find('.') - 5);
    });

}  // namespace
}  // namespace clipsmith
