#include <gtest/gtest.h>

#include "gif/gif_extensions.h"
#include "gif/gif_stream.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::FromHex;
using clipsmith::testing::ToHex;

namespace {

std::vector<std::uint8_t> Save(TGIFImage& image) {
  TMemoryStream m;
  image.SaveToStream(m);
  return m.Bytes();
}

TGIFFrame* Frame(TGIFImage& image, int w, int h, int colors, std::uint8_t fill = 0) {
  TGIFFrame* f = TGIFFrame::Create(&image);
  f->ChangeBounds(0, 0, w, h);
  for (int i = 0; i < colors; ++i) f->ColorMap().Add(RGBColor(i, 2 * i, 3 * i));
  std::fill_n(f->Data(), f->DataSize(), fill);
  return f;
}

std::string Hex(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t n) {
  return ToHex(std::vector<std::uint8_t>(v.begin() + std::ptrdiff_t(from), v.begin() + std::ptrdiff_t(from + n)));
}

}  // namespace

TEST(Writer, SubBlockFraming) {
  struct Case { std::size_t bytes; std::vector<int> blocks; };
  const Case cases[] = {{0, {}}, {1, {1}}, {255, {255}}, {256, {255, 1}}, {510, {255, 255}}, {511, {255, 255, 1}}};
  for (const auto& c : cases) {
    TMemoryStream m;
    {
      TGIFWriter w(m);
      std::vector<std::uint8_t> data(c.bytes, 0xAB);
      // half through Write, half byte by byte: both paths share one buffer
      w.Write(data.data(), c.bytes / 2);
      for (std::size_t i = c.bytes / 2; i < c.bytes; ++i) w.WriteByte(0xAB);
    }
    std::vector<int> blocks;
    std::size_t p = 0;
    const auto& out = m.Bytes();
    while (p < out.size()) {
      blocks.push_back(out[p]);
      p += std::size_t(out[p]) + 1;
    }
    EXPECT_EQ(blocks, c.blocks) << c.bytes;
    EXPECT_EQ(p, out.size());
  }
  TMemoryStream m;
  TGIFWriter w(m);
  std::uint8_t b;
  EXPECT_THROW(w.Read(&b, 1), GIFException);
  EXPECT_THROW(w.Seek(0, TSeekOrigin::soBeginning), GIFException);
}

TEST(Writer, OneFrameWithoutExtensionsIsGIF87a) {
  TGIFImage image;
  image.SetAspectRatio(49);
  Frame(image, 1, 1, 2);
  auto bytes = Save(image);
  // signature; screen 1x1, packed 0x77 (no global table), background 0, aspect 49
  EXPECT_EQ(Hex(bytes, 0, 13), ToHex(FromHex("474946383761 0100 0100 77 00 31")));
  // descriptor at 0,0 1x1 with a 2-colour local table, the table, min code size 2, data, trailer
  EXPECT_EQ(Hex(bytes, 13, bytes.size() - 13),
            ToHex(FromHex("2c 0000 0000 0100 0100 80 000000 010203 02 02 4401 00 3b")));
}

TEST(Writer, LocalTableSizes) {
  struct Case { int colors; std::uint8_t packed; std::size_t table; int minCode; };
  for (auto c : {Case{2, 0x80, 6, 2}, Case{3, 0x81, 12, 2}, Case{5, 0x82, 24, 3}, Case{200, 0x87, 768, 8},
                 Case{256, 0x87, 768, 8}}) {
    TGIFImage image;
    Frame(image, 3, 2, c.colors, std::uint8_t(c.colors - 1));
    auto bytes = Save(image);
    EXPECT_EQ(bytes[13 + 9], c.packed) << c.colors;
    EXPECT_EQ(bytes[13 + 10 + c.table], c.minCode) << c.colors;
    // the padding entries are black
    std::size_t last = 13 + 10 + c.table - 3;
    if (std::size_t(c.colors) * 3 < c.table) {
      EXPECT_EQ(Hex(bytes, last, 3), "000000") << c.colors;
    }
    auto d = clipsmith::testing::DecodeWithGiflib(bytes);
    ASSERT_TRUE(d.Ok) << d.Error;
    EXPECT_EQ(d.Frames[0].LocalColors.size(), c.table);
  }
}

TEST(Writer, FrameUsingTheGlobalMap) {
  TGIFImage image;
  for (int i = 0; i < 16; ++i) image.GlobalColorMap().Add(RGBColor(i, i, i));
  Frame(image, 2, 2, 0, 15);
  auto bytes = Save(image);
  EXPECT_EQ(bytes[10], 0xB3);                  // global table of 16: 48 bytes
  EXPECT_EQ(bytes[13 + 48], 0x2C);              // descriptor right after it
  EXPECT_EQ(bytes[13 + 48 + 9], 0x00);          // no local table
  EXPECT_EQ(bytes[13 + 48 + 10], 4);            // minimum code size from the image's 4 bits
  auto d = clipsmith::testing::DecodeWithGiflib(bytes);
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.GlobalColors.size(), 48u);
  EXPECT_EQ(d.Frames[0].Pixels, (std::vector<std::uint8_t>(4, 15)));
}

TEST(Writer, EmptyFrameContributesOnlyItsExtensions) {
  TGIFImage image;
  Frame(image, 1, 1, 2);
  TGIFFrame* empty = TGIFFrame::Create(&image);
  TGIFExtension::Create<TGIFCommentExtension>(empty)->Text() = {"abc"};
  auto bytes = Save(image);
  const std::string tail = "21fe05 6162630d0a 00 3b";
  std::string hex = ToHex(bytes);
  EXPECT_EQ(hex.substr(hex.size() - FromHex(tail).size() * 2), ToHex(FromHex(tail)));
  EXPECT_EQ(Hex(bytes, 0, 6), ToHex(FromHex("474946383961")));  // a comment makes it 89a
}

TEST(Writer, ProgressAndModified) {
  TGIFImage image;
  for (int i = 0; i < 3; ++i) Frame(image, 2, 2, 2);
  std::vector<std::pair<TProgressStage, int>> seen;
  image.OnProgress = [&](TPersistent*, TProgressStage s, int p, bool, const TRect&, const std::string& msg) {
    EXPECT_EQ(msg, "Saving");
    seen.emplace_back(s, p);
  };
  EXPECT_TRUE(image.Modified);
  Save(image);
  using S = TProgressStage;
  EXPECT_EQ(seen, (std::vector<std::pair<S, int>>{
                      {S::psStarting, 0}, {S::psRunning, 33}, {S::psRunning, 67}, {S::psRunning, 100}, {S::psEnding, 100}}));
  EXPECT_FALSE(image.Modified);
}

TEST(Writer, FailedSavesKeepModifiedAndEndTheProgress) {
  struct Case { const char* what; int frames; bool badPixel; const char* error; };
  for (auto c : {Case{"no frames", 0, false, "Cannot save empty GIF"},
                 Case{"pixel outside the map", 1, true, "Color not in color table"}}) {
    TGIFImage image;
    for (int i = 0; i < c.frames; ++i) Frame(image, 2, 2, 2, c.badPixel ? 2 : 0);
    image.Modified = true;
    std::vector<std::pair<TProgressStage, int>> seen;
    image.OnProgress = [&](TPersistent*, TProgressStage s, int p, bool, const TRect&, const std::string&) {
      seen.emplace_back(s, p);
    };
    TMemoryStream m;
    try {
      image.SaveToStream(m);
      ADD_FAILURE() << c.what;
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), c.error);
    }
    EXPECT_TRUE(image.Modified) << c.what;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 0)) << c.what;
    if (c.frames == 0) {
      EXPECT_EQ(m.Size(), 0);
    }
    image.Modified = false;
    try {
      image.SaveToStream(m);
    } catch (const GIFException&) {
    }
    EXPECT_FALSE(image.Modified) << c.what;
  }
}

TEST(Writer, SameImageTwiceGivesSameBytes) {
  TGIFImage image;
  for (int k = 0; k < 3; ++k) {
    TGIFFrame* f = Frame(image, 17, 9, 256);
    for (int i = 0; i < f->DataSize(); ++i) f->Data()[i] = std::uint8_t((i * 31 + k * 7) & 255);
    TGIFExtension::Create<TGIFGraphicControlExtension>(f)->SetDelay(10);
  }
  EXPECT_EQ(Save(image), Save(image));
}

TEST(Writer, SaveToFileWritesTheSameBytes) {
  TGIFImage image;
  Frame(image, 4, 4, 4, 3);
  std::string name = ::testing::TempDir() + "/writer-test.gif";
  image.SaveToFile(name);
  EXPECT_EQ(ReadWholeFile(name), Save(image));
}

// The image's save asks for its BitsPerPixel once; each frame saved on its own asks for itself.
// Both must give the same bytes, frames without a map of their own coded with the widest map of
// the image (the global one or any frame's).
TEST(Writer, WholeImageSavesAsItsFramesOneByOne) {
  struct TCase {
    int GlobalColors;
    std::vector<int> FrameColors;  // 0: the frame has no map of its own
    int CodeSizeOfMaplessFrames;
  };
  const TCase cases[] = {
      {16, {0, 0, 0}, 4},
      {16, {0, 256, 0}, 8},
      {2, {0, 5, 0, 0}, 3},
      {4, {2, 0}, 2},
  };
  for (const TCase& c : cases) {
    TGIFImage image;
    for (int i = 0; i < c.GlobalColors; ++i) image.GlobalColorMap().Add(RGBColor(i, i, i));
    for (int colors : c.FrameColors) Frame(image, 3, 2, colors, 1);
    auto whole = Save(image);

    TMemoryStream parts;
    image.Header().SaveToStream(parts);
    for (int i = 0; i < image.Images().Count(); ++i) image.Images()[i]->SaveToStream(parts);
    parts.WriteByte(0x3B);
    EXPECT_EQ(ToHex(whole), ToHex(parts.Bytes())) << c.GlobalColors;

    auto d = clipsmith::testing::DecodeWithGiflib(whole);
    ASSERT_TRUE(d.Ok) << d.Error;
    ASSERT_EQ(d.Frames.size(), c.FrameColors.size());
    // The minimum code size of the first frame without a map of its own.
    std::size_t at = 13 + 3 * std::size_t(1 << image.GlobalColorMap().BitsPerPixel());
    for (int colors : c.FrameColors) {
      at += 10;  // image descriptor
      if (colors > 0) {
        at += 3 * std::size_t(1 << BitsForColorCount(colors));
      } else {
        EXPECT_EQ(whole[at], c.CodeSizeOfMaplessFrames < 2 ? 2 : c.CodeSizeOfMaplessFrames) << c.GlobalColors;
        break;
      }
      at += 1;
      while (whole[at] != 0) at += whole[at] + 1u;
      at += 1;
    }
  }
}
