// Frames of every size the scaler may meet, from 1x1 up: each grabbed frame and each frame shown
// must equal the ffmpeg command's own conversion to bgra, byte for byte. Run under valgrind (the
// video_frame_sizes_memcheck test), this also shows that the conversion writes nothing outside
// its buffers and that every byte handed on was written.
#include <gtest/gtest.h>

#include "harness.h"

namespace clipsmith {
namespace {

using testclips::TClip;
using testing::THarness;
using testing::TopDownPixels;

// The renderer's current picture, rows top-down.
std::vector<std::uint8_t> ShownPixels(THarness& h, const TClip& c) {
  auto wl = h.Window.QueryInterface<IVMRWindowlessControl9>();
  std::vector<std::uint8_t> dib;
  if (!wl || wl->GetCurrentImage(dib) != S_OK || dib.size() < 40) return {};
  BITMAPINFOHEADER ih = ReadBitmapInfoHeader(dib.data());
  if (ih.biWidth != c.Width || ih.biHeight != c.Height || ih.biBitCount != 32) return {};
  std::size_t row = std::size_t(c.Width) * 4;
  if (dib.size() != ih.biSize + row * std::size_t(c.Height)) return {};
  std::vector<std::uint8_t> out;
  for (int y = c.Height - 1; y >= 0; --y) {
    const std::uint8_t* r = dib.data() + ih.biSize + std::size_t(y) * row;
    out.insert(out.end(), r, r + row);
  }
  return out;
}

class FrameSizeTest : public ::testing::TestWithParam<TClip> {};

TEST_P(FrameSizeTest, EveryGrabbedAndShownFrameIsTheFFmpegConversion) {
  const TClip& c = GetParam();
  const auto& ref = testclips::ReferenceFrames(c.Name);
  ASSERT_EQ(int(ref.size()), c.Frames);
  THarness h;
  ASSERT_EQ(h.Render(c.Name), S_OK);
  for (int k = 0; k < c.Frames; ++k) {
    if (k > 0) {
      ASSERT_TRUE(h.StepAndWait()) << "step " << k;
    }
    TBitmap b;
    ASSERT_TRUE(h.Grabber.GetBitmap(b));
    ASSERT_EQ(b.Width(), c.Width);
    ASSERT_EQ(b.Height(), c.Height);
    EXPECT_TRUE(TopDownPixels(b) == ref[std::size_t(k)]) << "grabbed frame " << k;
    EXPECT_TRUE(ShownPixels(h, c) == ref[std::size_t(k)]) << "shown frame " << k;
  }
}

TEST_P(FrameSizeTest, Rgb24RowsHoldTheFrameAndZeroPadding) {
  const TClip& c = GetParam();
  const auto& ref = testclips::ReferenceFrames(c.Name);
  THarness h;
  h.Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB24);
  h.Grabber.UpdateMediaType();
  ASSERT_EQ(h.Render(c.Name), S_OK);
  const std::size_t used = std::size_t(c.Width) * 3, stride = (used + 3) / 4 * 4;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      ASSERT_TRUE(h.StepAndWait()) << "step " << k;
    }
    TBitmap b;
    ASSERT_TRUE(h.Grabber.GetBitmap(b));
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(b.Stride(), -std::ptrdiff_t(stride));
    int wrong = 0;
    for (int y = 0; y < c.Height; ++y) {
      const std::uint8_t* row = b.ScanLine(y);
      for (std::size_t x = 0; x < std::size_t(c.Width); ++x)
        for (std::size_t ch = 0; ch < 3; ++ch)
          wrong += row[x * 3 + ch] != ref[std::size_t(k)][(std::size_t(y) * std::size_t(c.Width) + x) * 4 + ch];
      for (std::size_t i = used; i < stride; ++i) wrong += row[i] != 0;
    }
    EXPECT_EQ(wrong, 0) << "frame " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameSizeTest, ::testing::ValuesIn(testclips::SizeClips()),
                         [](const ::testing::TestParamInfo<TClip>& i) {
                           return std::to_string(i.param.Width) + "x" + std::to_string(i.param.Height);
                         });

}  // namespace
}  // namespace clipsmith
