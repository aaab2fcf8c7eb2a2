// The builder's frames and extensions: play count and delay mappings, extension order, the
// transparency branch, failures while adding, and the exact file of the reference vector.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "giflib_decode.h"
#include "gifbuild/gif_builder.h"
#include "graphics/stream.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

std::vector<std::uint8_t> Encode(TSkGIF& gif) {
  TMemoryStream s;
  gif.FGIFImg->SaveToStream(s);
  return s.Bytes();
}

// The vector's bitmaps: k = 0, 1.
TBitmap VectorBitmap(int k) {
  TBitmap b(8, 6, TPixelFormat::pfDevice);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      b.SetPixel(x, y,
                 RGBColor(std::uint8_t(37 * x + 11 * y + 50 * k), std::uint8_t(3 * x * x + 5 * y + 20 * k),
                          std::uint8_t(9 * x * y + 90 * k + 7)));
  return b;
}

std::vector<std::uint8_t> ReadVectorBytes(const std::string& name, std::size_t& declared) {
  std::ifstream in(std::string(CLIPSMITH_VECTORS_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::string line, hex;
  declared = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("bytes ", 0) == 0) {
      declared = std::stoul(line.substr(6));
      continue;
    }
    hex += line;
  }
  return FromHex(hex);
}

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) { return std::uint16_t(b[at] | (b[at + 1] << 8)); }

}  // namespace

TEST(GifBuilder, StartsEmptyWithTheProgramsReduction) {
  TSkGIF gif;
  ASSERT_NE(gif.FGIFImg, nullptr);
  EXPECT_EQ(gif.FGIFImg->ColorReduction(), TColorReduction::rmQuantize);
  EXPECT_EQ(gif.FGIFImg->DitherMode(), TDitherMode::dmFloydSteinberg);
  EXPECT_EQ(gif.FGIFImg->ReductionBits(), 8);
  EXPECT_EQ(gif.FGIFImg->Images().Count(), 0);
  EXPECT_EQ(gif.HtmlMemo.size(), 49u);
  EXPECT_EQ(gif.FGIFFrame, nullptr);
  EXPECT_EQ(gif.FLoopExt, nullptr);
  EXPECT_EQ(gif.FCtrExt, nullptr);
}

// Play count as typed against the file's looping block, in the object model and as giflib sees it.
TEST(GifBuilder, LoopsMapToTheLoopingExtensionOfTheFirstFrameOnly) {
  struct Case {
    int Loops;
    bool Present;
    int Stored;
  };
  const Case cases[] = {{0, true, 0}, {1, false, 0}, {2, true, 1}, {10, true, 9}, {65537, true, 0}, {65536, true, 65535}};
  for (const Case& c : cases) {
    SCOPED_TRACE("Loops " + std::to_string(c.Loops));
    TSkGIF gif;
    gif.Loops = c.Loops;
    gif.Delay = 100;
    for (int k = 0; k < 3; ++k) {
      TBitmap b = GradientBitmap(5, 4, k);
      gif.AddFrame(b);
    }
    ASSERT_EQ(gif.FGIFImg->Images().Count(), 3);
    TGIFFrame* first = gif.FGIFImg->Images()[0];
    if (c.Present) {
      ASSERT_NE(gif.FLoopExt, nullptr);
      EXPECT_EQ(gif.FLoopExt->Frame(), first);
      EXPECT_EQ(gif.FLoopExt->Loops(), c.Stored);
      ASSERT_EQ(first->Extensions().Count(), 2);
      EXPECT_EQ(first->Extensions()[0], gif.FLoopExt);
    } else {
      EXPECT_EQ(gif.FLoopExt, nullptr);
      EXPECT_EQ(first->Extensions().Count(), 1);
    }
    for (int i = 1; i < 3; ++i) EXPECT_EQ(gif.FGIFImg->Images()[i]->Extensions().Count(), 1) << "frame " << i;

    DecodedGif d = DecodeWithGiflib(Encode(gif));
    ASSERT_TRUE(d.Ok) << d.Error;
    ASSERT_EQ(d.Frames.size(), 3u);
    const auto& ext = d.Frames[0].Extensions;
    if (c.Present) {
      ASSERT_EQ(ext.size(), 3u);  // application block, its sub-block, graphic control
      EXPECT_EQ(ext[0].Function, 0xFF);
      EXPECT_EQ(std::string(ext[0].Bytes.begin(), ext[0].Bytes.end()), "NETSCAPE2.0");
      ASSERT_EQ(ext[1].Bytes.size(), 3u);
      EXPECT_EQ(ext[1].Bytes[0], 1);
      EXPECT_EQ(ext[1].Bytes[1] | (ext[1].Bytes[2] << 8), c.Stored);
      EXPECT_EQ(ext[2].Function, 0xF9);
    } else {
      ASSERT_EQ(ext.size(), 1u);
      EXPECT_EQ(ext[0].Function, 0xF9);
    }
    for (int i = 1; i < 3; ++i) {
      ASSERT_EQ(d.Frames[std::size_t(i)].Extensions.size(), 1u);
      EXPECT_EQ(d.Frames[std::size_t(i)].Extensions[0].Function, 0xF9);
    }
  }
}

TEST(GifBuilder, DelayIsStoredInWholeHundredthsOnEveryFrame) {
  struct Case {
    std::uint32_t Delay;
    int Stored;
  };
  const Case cases[] = {{100, 10}, {15, 1}, {5, 0}, {9, 0}, {10, 1}, {655350, 65535}, {655360, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("Delay " + std::to_string(c.Delay));
    TSkGIF gif;
    gif.Loops = 1;
    gif.Delay = c.Delay;
    for (int k = 0; k < 2; ++k) {
      TBitmap b = GradientBitmap(3, 3, k);
      gif.AddFrame(b);
    }
    for (int i = 0; i < 2; ++i) {
      TGIFGraphicControlExtension* gce = gif.FGIFImg->Images()[i]->GraphicControlExtension();
      ASSERT_NE(gce, nullptr);
      EXPECT_EQ(gce->Delay(), c.Stored);
      EXPECT_FALSE(gce->Transparent());
      EXPECT_EQ(gce->Disposal(), TDisposalMethod::dmNone);
    }
    EXPECT_EQ(gif.FCtrExt, gif.FGIFImg->Images()[1]->GraphicControlExtension());
    DecodedGif d = DecodeWithGiflib(Encode(gif));
    ASSERT_TRUE(d.Ok) << d.Error;
    for (const auto& f : d.Frames) {
      ASSERT_EQ(f.Extensions.size(), 1u);
      ASSERT_EQ(f.Extensions[0].Bytes.size(), 4u);
      EXPECT_EQ(f.Extensions[0].Bytes[0], 0x00);
      EXPECT_EQ(f.Extensions[0].Bytes[1] | (f.Extensions[0].Bytes[2] << 8), c.Stored);
    }
  }
}

TEST(GifBuilder, OneFrameWithLoopsZeroCarriesBothExtensionsAndReleasesThemOnce) {
  auto gif = std::make_unique<TSkGIF>();
  gif->Loops = 0;
  gif->Delay = 40;
  TBitmap b = GradientBitmap(6, 5);
  gif->AddFrame(b);

  TGIFFrame* frame = gif->FGIFImg->Images()[0];
  EXPECT_EQ(gif->FGIFFrame, frame);
  ASSERT_EQ(frame->Extensions().Count(), 2);
  EXPECT_EQ(frame->Extensions()[0], gif->FLoopExt);
  EXPECT_EQ(frame->Extensions()[1], gif->FCtrExt);
  EXPECT_EQ(frame->GraphicControlExtension(), gif->FCtrExt);
  EXPECT_EQ(gif->FCtrExt->Delay(), 4);

  // 6 header, 7 screen, 19 looping, 8 control, then the image descriptor.
  std::vector<std::uint8_t> bytes = Encode(*gif);
  ASSERT_GT(bytes.size(), 50u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(bytes[13], 0x21);
  EXPECT_EQ(bytes[14], 0xFF);
  EXPECT_EQ(bytes[32], 0x21);
  EXPECT_EQ(bytes[33], 0xF9);
  EXPECT_EQ(bytes[40], 0x2C);
  DecodedGif d = DecodeWithGiflib(bytes);
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.Frames.size(), 1u);

  // Frames and extensions go with the image; under the sanitizers a double release shows here.
  gif.reset();
}

TEST(GifBuilder, TransparencyUsesTheColourOnlyWhenTheFrameHasIt) {
  // Four flat colours: the reduction keeps each of them exactly.
  TBitmap b(4, 4, TPixelFormat::pfDevice);
  const TColor colours[] = {RGBColor(200, 10, 10), RGBColor(10, 200, 10), RGBColor(10, 10, 200), RGBColor(250, 250, 250)};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) b.SetPixel(x, y, colours[(x / 2) + 2 * (y / 2)]);

  {
    TSkGIF gif;
    gif.Transparent = true;
    gif.TransColor = RGBColor(10, 200, 10);
    gif.AddFrame(b);
    int index = gif.FGIFFrame->ColorMap().IndexOf(gif.TransColor);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(gif.FCtrExt->Transparent());
    EXPECT_EQ(gif.FCtrExt->TransparentColorIndex(), index);
    EXPECT_EQ(gif.FCtrExt->TransparentColor(), gif.TransColor);
    DecodedGif d = DecodeWithGiflib(Encode(gif));
    ASSERT_TRUE(d.Ok) << d.Error;
    const auto& gce = d.Frames[0].Extensions.back();
    EXPECT_EQ(gce.Bytes[0], 0x01);
    EXPECT_EQ(gce.Bytes[3], index);
  }
  {
    // A colour the frame does not have is not forced into its map.
    TSkGIF gif;
    gif.Transparent = true;
    gif.TransColor = RGBColor(1, 2, 3);
    gif.AddFrame(b);
    const int count = gif.FGIFFrame->ColorMap().Count();
    EXPECT_EQ(gif.FGIFFrame->ColorMap().IndexOf(gif.TransColor), -1);
    EXPECT_TRUE(gif.FCtrExt->Transparent());
    EXPECT_EQ(gif.FCtrExt->TransparentColorIndex(), 0);
    EXPECT_EQ(gif.FGIFFrame->ColorMap().Count(), count);
  }
  {
    // What every conversion does: no transparency, whatever TransColor says.
    TSkGIF gif;
    gif.Transparent = false;
    gif.TransColor = RGBColor(10, 200, 10);
    gif.AddFrame(b);
    EXPECT_FALSE(gif.FCtrExt->Transparent());
    EXPECT_EQ(gif.FCtrExt->TransparentColorIndex(), 0);
  }
}

TEST(GifBuilder, AFrameThatCannotBeAddedLeavesTheImageWithoutIt) {
  TSkGIF gif;
  gif.Loops = 0;
  TBitmap good = GradientBitmap(4, 4);
  gif.AddFrame(good);
  TGIFFrame* first = gif.FGIFFrame;
  TGIFAppExtNSLoop* loop = gif.FLoopExt;
  TGIFGraphicControlExtension* control = gif.FCtrExt;

  // A reduction to the bitmap's own palette, which a true-colour bitmap does not have, fails.
  gif.FGIFImg->SetColorReduction(TColorReduction::rmPalette);
  TBitmap next = GradientBitmap(4, 4, 9);
  EXPECT_THROW(gif.AddFrame(next), GIFException);
  EXPECT_EQ(gif.FGIFImg->Images().Count(), 1);
  EXPECT_EQ(gif.FGIFFrame, first);
  EXPECT_EQ(gif.FLoopExt, loop);
  EXPECT_EQ(gif.FCtrExt, control);
  EXPECT_EQ(first->Extensions().Count(), 2);

  // The builder goes on working after the failure, and the first frame keeps the only loop block.
  gif.FGIFImg->SetColorReduction(TColorReduction::rmQuantize);
  gif.AddFrame(next);
  EXPECT_EQ(gif.FGIFImg->Images().Count(), 2);
  EXPECT_EQ(gif.FGIFImg->Images()[1]->Extensions().Count(), 1);

  // When the very first frame fails, the next one is the first and gets the looping block.
  TSkGIF fresh;
  fresh.FGIFImg->SetColorReduction(TColorReduction::rmPalette);
  EXPECT_THROW(fresh.AddFrame(next), GIFException);
  EXPECT_EQ(fresh.FGIFImg->Images().Count(), 0);
  EXPECT_EQ(fresh.FLoopExt, nullptr);
  fresh.FGIFImg->SetColorReduction(TColorReduction::rmQuantize);
  fresh.AddFrame(next);
  ASSERT_NE(fresh.FLoopExt, nullptr);
  EXPECT_EQ(fresh.FLoopExt->Frame(), fresh.FGIFImg->Images()[0]);
}

// Two 8x6 bitmaps, Loops 0, Delay 100 ms: the whole file, block by block and byte for byte.
TEST(GifBuilder, TwoFrameFileMatchesTheReferenceVector) {
  ScratchDir dir;
  TSkGIF gif;
  gif.Loops = 0;
  gif.Delay = 100;
  gif.Transparent = false;
  gif.TransColor = 0;
  gif.GIFFileName = dir / "two.gif";
  for (int k = 0; k < 2; ++k) {
    TBitmap b = VectorBitmap(k);
    gif.AddFrame(b);
  }
  gif.SaveToDisk();
  const std::vector<std::uint8_t> bytes = ReadBytes(gif.GIFFileName);

  // Walk the blocks first, so that a mismatch says where it is.
  ASSERT_GE(bytes.size(), 13u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(U16(bytes, 6), 8);
  EXPECT_EQ(U16(bytes, 8), 6);
  EXPECT_EQ(bytes[10], 0x77);
  EXPECT_EQ(bytes[11], 0x00);
  EXPECT_EQ(bytes[12], 0x00);
  std::size_t at = 13;
  const std::vector<std::uint8_t> looping = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                             'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
  ASSERT_GE(bytes.size(), at + looping.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + 19)), looping);
  at += 19;
  for (int frame = 0; frame < 2; ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    const std::vector<std::uint8_t> control = {0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x00};
    ASSERT_GE(bytes.size(), at + 8 + 10 + 768 + 1);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + 8)), control);
    at += 8;
    EXPECT_EQ(bytes[at], 0x2C);
    EXPECT_EQ(U16(bytes, at + 1), 0);
    EXPECT_EQ(U16(bytes, at + 3), 0);
    EXPECT_EQ(U16(bytes, at + 5), 8);
    EXPECT_EQ(U16(bytes, at + 7), 6);
    EXPECT_EQ(bytes[at + 9], 0x87);
    at += 10 + 768;  // the local colour table always has 256 entries
    EXPECT_EQ(bytes[at], 0x08);
    ++at;
    while (at < bytes.size() && bytes[at] != 0) at += 1 + bytes[at];
    ASSERT_LT(at, bytes.size());
    ++at;  // block terminator
  }
  ASSERT_EQ(at + 1, bytes.size());
  EXPECT_EQ(bytes[at], 0x3B);

  std::size_t declared = 0;
  const std::vector<std::uint8_t> expected = ReadVectorBytes("builder-2frames-8x6.txt", declared);
  EXPECT_EQ(expected.size(), declared);
  EXPECT_EQ(bytes.size(), expected.size());
  EXPECT_EQ(ToHex(bytes), ToHex(expected));

  DecodedGif d = DecodeWithGiflib(bytes);
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.Version, "89a");
  EXPECT_EQ(d.ScreenWidth, 8);
  EXPECT_EQ(d.ScreenHeight, 6);
  EXPECT_TRUE(d.GlobalColors.empty());
  ASSERT_EQ(d.Frames.size(), 2u);
  for (int k = 0; k < 2; ++k) {
    const DecodedFrame& f = d.Frames[std::size_t(k)];
    EXPECT_EQ(f.Width, 8);
    EXPECT_EQ(f.Height, 6);
    ASSERT_EQ(f.LocalColors.size(), 768u);
    // The frame shows roughly the bitmap: every pixel close to its source colour.
    TBitmap source = VectorBitmap(k);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) {
        const std::size_t i = f.Pixels[std::size_t(y * 8 + x)];
        const TColor c = source.GetPixel(x, y);
        EXPECT_NEAR(f.LocalColors[3 * i], GetRValue(c), 48) << x << "," << y;
        EXPECT_NEAR(f.LocalColors[3 * i + 1], GetGValue(c), 48) << x << "," << y;
        EXPECT_NEAR(f.LocalColors[3 * i + 2], GetBValue(c), 48) << x << "," << y;
      }
  }
}

// The reserve for the encoded file holds the worst the LZW coder does: random pixels of every
// colour count, frame sizes around the sub-block and clear-code boundaries.
TEST(GifBuilder, EncodedSizeBoundHoldsForRandomPixels) {
  struct TCase {
    int Width, Height, Colors;
  };
  const TCase cases[] = {{1, 1, 2}, {7, 3, 2}, {255, 1, 256}, {64, 60, 256}, {300, 200, 16}, {640, 480, 256},
                         {640, 480, 2}, {1000, 7, 64}};
  for (const TCase& c : cases) {
    TGIFImage image;
    image.SetWidth(c.Width);
    image.SetHeight(c.Height);
    std::uint32_t seed = 12345;
    for (int k = 0; k < 2; ++k) {
      TGIFFrame* f = TGIFFrame::Create(&image);
      f->ChangeBounds(0, 0, c.Width, c.Height);
      for (int i = 0; i < c.Colors; ++i) f->ColorMap().Add(RGBColor(i, 255 - i, i / 2));
      for (int i = 0; i < f->DataSize(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        f->Data()[i] = std::uint8_t((seed >> 24) % std::uint32_t(c.Colors));
      }
      TGIFExtension::Create<TGIFGraphicControlExtension>(f)->SetDelay(4);
    }
    TMemoryStream s;
    image.SaveToStream(s);
    EXPECT_LE(std::size_t(s.Size()), detail::EncodedSizeBound(image)) << c.Width << "x" << c.Height << " " << c.Colors;
  }

  // The builder's own frames of a noisy picture.
  TSkGIF gif;
  TBitmap noise(640, 480, TPixelFormat::pfDevice);
  std::uint32_t seed = 99;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      seed = seed * 1664525u + 1013904223u;
      noise.SetPixel(x, y, RGBColor(std::uint8_t(seed >> 24), std::uint8_t(seed >> 16), std::uint8_t(seed >> 8)));
    }
  gif.AddFrame(noise);
  gif.Flush();
  auto bytes = Encode(gif);
  EXPECT_LE(bytes.size(), detail::EncodedSizeBound(*gif.FGIFImg));
  EXPECT_GT(bytes.size(), std::size_t(640) * 480 * 9 / 8) << "noise codes to more than its pixels and an eighth";
}
