// Files written by other encoders (giflib, the ffmpeg command, ImageMagick) and by the program
// itself decode to the same pixels as giflib decodes them.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

#include "reader_test_support.h"

namespace clipsmith::testing {
namespace {

namespace fs = std::filesystem;

int WriteToVector(GifFileType* gif, const GifByteType* buf, int len) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), buf, buf + len);
  return len;
}

ColorMapObject* MakeMap(int count, int shift) {
  std::vector<GifColorType> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    entries[std::size_t(i)] = {GifByteType(i * 2 + shift), GifByteType(255 - i), GifByteType((i * 7 + shift) & 255)};
  return GifMakeMapObject(count, entries.data());
}

// Like the picture of the main window: GIF89a, 24 x 25, a 128-entry global table, four frames,
// each with a graphic control extension marking index 0x56 transparent and a 128-entry local
// table, so a minimum code size of 7.
Bytes MakeEmbeddedLikePicture() {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = MakeMap(128, 0);
  EGifPutScreenDesc(gif, 24, 25, 7, 0, global);
  for (int f = 0; f < 4; ++f) {
    GifByteType gce[4] = {0x01, GifByteType(10 + f), 0, 0x56};  // transparent, delay, index 0x56
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
    ColorMapObject* local = MakeMap(128, f + 1);
    EGifPutImageDesc(gif, 0, 0, 24, 25, false, local);
    std::vector<GifPixelType> row(24);
    for (int y = 0; y < 25; ++y) {
      for (int x = 0; x < 24; ++x) row[std::size_t(x)] = GifPixelType(((x - 12) * (x - 12) + (y - 12) * (y - 12) < 60 + f * 10) ? 0x56 : (x * 5 + y * 3 + f) % 128);
      EGifPutLine(gif, row.data(), 24);
    }
    GifFreeMapObject(local);
  }
  GifFreeMapObject(global);
  EGifCloseFile(gif, &error);
  return out;
}

TEST(ReaderForeign, EmbeddedLikePictureFromGiflib) {
  Bytes file = MakeEmbeddedLikePicture();
  ASSERT_EQ(file[13 + 3 * 128 + 8 + 10 + 3 * 128], 7);  // minimum code size of the first frame
  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  EXPECT_TRUE(r.Warnings.empty());
  TGIFImage& im = *r.Image;
  EXPECT_EQ(im.Width(), 24);
  EXPECT_EQ(im.Height(), 25);
  EXPECT_EQ(im.GlobalColorMap().Count(), 128);
  ASSERT_EQ(im.Images().Count(), 4);
  for (int i = 0; i < 4; ++i) {
    TGIFFrame* f = im.Images()[i];
    EXPECT_EQ(f->Width(), 24);
    EXPECT_EQ(f->Height(), 25);
    EXPECT_EQ(f->ColorMap().Count(), 128);
    ASSERT_NE(f->GraphicControlExtension(), nullptr);
    EXPECT_TRUE(f->Transparent());
    EXPECT_EQ(f->GraphicControlExtension()->TransparentColorIndex(), 0x56);
    EXPECT_EQ(f->GraphicControlExtension()->Delay(), 10 + i);
  }
  ExpectSameAsGiflib(im, file);
}

TEST(ReaderForeign, GiflibFilesOfEveryCodeSize) {
  for (int bits = 1; bits <= 8; ++bits) {
    for (bool interlace : {false, true}) {
      SCOPED_TRACE("bits " + std::to_string(bits) + (interlace ? " interlaced" : ""));
      int colors = 1 << bits;
      Bytes palette;
      for (int i = 0; i < colors; ++i) palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(i * 3), 9});
      const int w = 37, h = 23;
      std::vector<Bytes> frames;
      for (int f = 0; f < 2; ++f) {
        Bytes px(std::size_t(w * h));
        std::uint32_t x = 12345u + std::uint32_t(f * 77 + bits);
        for (auto& p : px) {
          x = x * 1103515245u + 12345u;
          p = std::uint8_t((x >> 16) % std::uint32_t(colors));
        }
        frames.push_back(px);
      }
      Bytes file = EncodeWithGiflib(w, h, palette, frames, interlace);
      LoadResult r = LoadBytes(file);
      ASSERT_EQ(r.Error, "");
      EXPECT_TRUE(r.Warnings.empty());
      ExpectSameAsGiflib(*r.Image, file);
      ASSERT_EQ(r.Image->Images().Count(), 2);
      EXPECT_EQ(Pixels(r.Image->Images()[1]), frames[1]);
    }
  }
}

// Runs a command line; false when it fails.
bool RunCommand(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class ReaderFromTools : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("reader_foreign_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void CheckFile(const fs::path& p) {
    Bytes file = ReadWholeFile(p.string());
    ASSERT_FALSE(file.empty());
    LoadResult r = LoadBytes(file);
    ASSERT_EQ(r.Error, "");
    ASSERT_GT(r.Image->Images().Count(), 0);
    ExpectSameAsGiflib(*r.Image, file);
  }
  fs::path dir_;
};

TEST_F(ReaderFromTools, FfmpegGifsOfAGeneratedClip) {
  if (!RunCommand("ffmpeg -version")) GTEST_SKIP() << "no ffmpeg command";
  // A two-second clip, then two GIF encodings of it: ffmpeg's default (one fixed palette, frames
  // cut to the changed rectangle with transparency) and one with a palette made from the clip.
  fs::path clip = dir_ / "clip.mp4";
  ASSERT_TRUE(RunCommand("ffmpeg -y -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -pix_fmt yuv420p " + clip.string()));
  fs::path plain = dir_ / "plain.gif", paletted = dir_ / "paletted.gif";
  ASSERT_TRUE(RunCommand("ffmpeg -y -i " + clip.string() + " " + plain.string()));
  ASSERT_TRUE(RunCommand("ffmpeg -y -i " + clip.string() +
                  " -vf \"split[a][b];[a]palettegen=max_colors=64[p];[b][p]paletteuse\" " + paletted.string()));
  CheckFile(plain);
  CheckFile(paletted);
}

TEST_F(ReaderFromTools, ImageMagickInterlacedGif) {
  if (!RunCommand("convert -version")) GTEST_SKIP() << "no convert command";
  fs::path out = dir_ / "im.gif";
  ASSERT_TRUE(RunCommand("convert -size 33x21 plasma:fractal -seed 4 -colors 32 -interlace GIF " + out.string()));
  CheckFile(out);
}

TEST(ReaderForeign, FileWrittenByTheGifBuilder) {
  // Two 8 x 6 frames with their looping and graphic control extensions, as the builder saves them.
  std::ifstream in(std::string(CLIPSMITH_VECTORS_DIR) + "/builder-2frames-8x6.txt");
  ASSERT_TRUE(in) << "vector missing";
  std::string line, hex;
  std::regex hexLine("^[0-9a-f]+$");
  while (std::getline(in, line))
    if (std::regex_match(line, hexLine)) hex += line;
  Bytes file = FromHex(hex);
  ASSERT_EQ(file.size(), 1725u);
  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  EXPECT_TRUE(r.Warnings.empty());
  ASSERT_EQ(r.Image->Images().Count(), 2);
  TGIFFrame* first = r.Image->Images()[0];
  ASSERT_EQ(first->Extensions().Count(), 2);
  EXPECT_NE(dynamic_cast<TGIFAppExtNSLoop*>(first->Extensions()[0]), nullptr);
  EXPECT_EQ(first->GraphicControlExtension()->Delay(), 10);
  EXPECT_EQ(first->ColorMap().Count(), 256);
  ExpectSameAsGiflib(*r.Image, file);
  // And written again, the same bytes.
  EXPECT_EQ(Save(*r.Image), file);
}

}  // namespace
}  // namespace clipsmith::testing
