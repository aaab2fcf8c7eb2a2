// The stream reader's tolerance, case by case, on small files written out byte by byte.
#include <gtest/gtest.h>

#include "reader_test_support.h"

namespace clipsmith::testing {
namespace {

Bytes H(const char* hex) { return FromHex(hex); }

// The pieces the fixtures are made of.
const Bytes kSig = H("47 49 46 38 39 61");     // "GIF89a"
const Bytes kScreen2x2 = H("02 00 02 00"        // logical screen 2 x 2
                           "81"                 // global table present, 4 entries
                           "00 00");            // background index 0, aspect ratio 0
const Bytes kGct4 = H("00 00 00  ff 00 00  00 ff 00  00 00 ff");  // black, red, green, blue
const Bytes kHead = Cat({kSig, kScreen2x2, kGct4});
const Bytes kFrame2x2 = H("2c 0000 0000 0200 0200 00"  // ',' at 0,0, 2 x 2, no local table
                          "02"                         // minimum code size 2
                          "03 44 a8 15"                // codes clear 0 1 clear 2 3 end, 3 bits each
                          "00");                       // terminator
const Bytes kFrame2x2Reversed = H("2c 0000 0000 0200 0200 00"
                                  "02"
                                  "03 9c 18 14"  // codes clear 3 2 clear 1 0 end
                                  "00");
const Bytes kTrailer = H("3b");
const Bytes kComment = H("21 fe 02 68 69 00");  // comment "hi"
const Bytes kGCETransparent2 = H("21 f9 04"     // graphic control extension, 4 bytes
                                 "01"           // transparent, disposal none
                                 "0500"         // delay 5
                                 "02"           // transparent index 2
                                 "00");         // terminator

struct ExpectedFrame {
  int Left, Top, Width, Height;
  Bytes Pixels;  // empty: no pixel buffer
  int Extensions;
};

struct ReaderCase {
  const char* Name;
  Bytes File;
  std::size_t Offset;  // where the GIF starts in the stream
  const char* Error;   // "" for a successful load
  std::vector<std::string> Warnings;
  int ScreenWidth, ScreenHeight;
  std::vector<ExpectedFrame> Frames;
};

const ExpectedFrame kPlain{0, 0, 2, 2, {0, 1, 2, 3}, 0};

std::vector<ReaderCase> Cases() {
  return {
      {"plain", Cat({kHead, kFrame2x2, kTrailer}), 0, "", {}, 2, 2, {kPlain}},
      {"four-byte length in front", Cat({H("3c 00 00 00"), kHead, kFrame2x2, kTrailer}), 0, "", {}, 2, 2, {kPlain}},
      {"lower-case signature", Cat({H("67 69 66 38 39 61"), kScreen2x2, kGct4, kFrame2x2, kTrailer}), 0, "", {}, 2,
       2, {kPlain}},
      {"GIF87a", Cat({H("47 49 46 38 37 61"), kScreen2x2, kGct4, kFrame2x2, kTrailer}), 0, "", {}, 2, 2, {kPlain}},
      {"starts at an offset in the stream", Cat({kHead, kFrame2x2, kTrailer}), 5, "", {}, 2, 2, {kPlain}},
      {"bad signature", H("89 50 4e 47 0d 0a 1a 0a 00 00 00 0d"), 0, "Invalid GIF signature", {}, 0, 0, {}},
      {"bad signature after the length", Cat({H("3c 00 00 00 58 58 58"), kScreen2x2}), 3, "Invalid GIF signature", {},
       0, 0, {}},
      {"too short for a signature", H("47 49"), 0, "Invalid GIF signature", {}, 0, 0, {}},
      {"signature cut short", H("47 49 46 38"), 0, "Premature end of data", {}, 0, 0, {}},
      {"screen descriptor cut short", Cat({kSig, H("02 00 02")}), 0, "Premature end of data", {}, 0, 0, {}},
      {"global table cut short", Cat({kSig, kScreen2x2, H("00 00 00 ff")}), 0, "Premature end of data", {}, 2, 2, {}},
      {"zero bytes between blocks", Cat({kHead, H("00 00"), kFrame2x2, H("00"), kFrame2x2Reversed, H("00 00"), kTrailer}),
       0, "", {}, 2, 2, {kPlain, {0, 0, 2, 2, {3, 2, 1, 0}, 0}}},
      {"data ending early keeps the background, next block reads normally",
       Cat({kHead,
            H("2c 0000 0000 0200 0200 00"  // 2 x 2
              "02 02 44 0a 00"),           // codes clear 0 1 end: two pixels only
            kFrame2x2Reversed, kTrailer}),
       0, "", {}, 2, 2, {{0, 0, 2, 2, {0, 1, 0, 0}, 0}, {0, 0, 2, 2, {3, 2, 1, 0}, 0}}},
      {"data ending early keeps the transparent index",
       Cat({kHead, kGCETransparent2, H("2c 0000 0000 0200 0200 00 02 02 44 0a 00"), kTrailer}), 0, "", {}, 2, 2,
       {{0, 0, 2, 2, {0, 1, 2, 2}, 1}}},
      {"data stopping exactly at the end of the last code",
       Cat({kSig, H("05 00 01 00 81 00 00"), kGct4,
            H("2c 0000 0000 0500 0100 00"  // 5 x 1
              "02 03 44 a8 71 00"),        // clear 0 1 clear 2 3 clear 3, no end code, 24 bits
            kTrailer}),
       0, "", {"Decoder bit buffer under-run"}, 5, 1, {{0, 0, 5, 1, {0, 1, 2, 3, 0}, 0}}},
      {"sub-block longer than the rest of the file",
       Cat({kHead, H("2c 0000 0000 0200 0200 00 02 09 44 a8 15")}), 0, "",
       {"Premature end of data"}, 2, 2, {kPlain}},
      {"no minimum code size", Cat({kHead, H("2c 0000 0000 0200 0200 00")}), 0, "", {"Premature end of data"}, 2, 2, {}},
      {"minimum code size 13 skips the frame's data",
       Cat({kHead, H("2c 0000 0000 0200 0200 00 0d 03 2c 21 3b 00"), kFrame2x2Reversed, kTrailer}), 0, "",
       {"Invalid GIF data"}, 2, 2, {{0, 0, 2, 2, {3, 2, 1, 0}, 0}}},
      {"minimum code size 12 is refused too",
       Cat({kHead, H("2c 0000 0000 0200 0200 00 0c 03 2c 21 3b 00"), kTrailer}), 0, "", {"Invalid GIF data"}, 2, 2, {}},
      {"no trailer", Cat({kHead, kFrame2x2}), 0, "", {}, 2, 2, {kPlain}},
      {"width 0 takes the screen size", Cat({kHead, H("2c 0000 0000 0000 0500 00"), H("02 03 44 a8 15 00"), kTrailer}), 0,
       "", {"Image exceeds Logical Screen size"}, 2, 2, {kPlain}},
      {"frame reaching past 65535 wraps its size round",
       Cat({kHead, H("2c feff 0000 0300 0200 00 02 03 44 a8 15 00"), kTrailer}), 0, "",  // at 65534, 3 wide
       {"Invalid image size", "Image exceeds Logical Screen size"}, 65535, 2, {{65534, 0, 1, 2, {0, 1}, 0}}},
      {"frame still past 65535 after wrapping is cut at the edge",
       Cat({kHead, H("2c feff 0000 0500 0200 00 02 03 44 a8 15 00"), kTrailer}), 0, "",  // at 65534, 5 wide
       {"Invalid image size", "Image exceeds Logical Screen size"}, 65535, 2, {{65534, 0, 1, 2, {0, 1}, 0}}},
      {"extensions-only frame before the trailer",
       Cat({kHead, kFrame2x2, kComment, kGCETransparent2, kTrailer}), 0, "", {}, 2, 2,
       {kPlain, {0, 0, 0, 0, {}, 2}}},
      {"unknown block type", Cat({kHead, kFrame2x2, H("42 00 3b")}), 0, "",
       {"Unknown GIF block type", "Invalid Image trailer"}, 2, 2, {kPlain}},
      {"stray byte after extensions",
       Cat({kHead, kFrame2x2, kComment, H("58 00 00 00 00 00 00 00 00 00"), kTrailer}), 0, "Invalid GIF data",
       {"Invalid extension introducer"}, 2, 2, {kPlain}},
      {"label 0x02", Cat({kHead, kFrame2x2, H("21 02 01 78 00"), kFrame2x2, kTrailer}), 0, "Unknown extension type", {},
       2, 2, {kPlain}},
      {"image descriptor cut short", Cat({kHead, kFrame2x2, H("2c 0000 00")}), 0, "Premature end of data", {}, 2, 2,
       {kPlain}},
      {"self-referring table entry",
       Cat({kSig, H("04 00 04 00 81 00 00"), kGct4,
            H("2c 0000 0000 0400 0400 00 02"  // 4 x 4
              "03 c4 71 00"                    // codes clear 0 7 0 (3 bits), 7 (4 bits): entry 7 is its own prefix
              "00"),
            kTrailer}),
       0, "Circular decoder table entry", {}, 4, 4, {}},
      {"string that overflows the value stack",
       Cat({kSig, H("0a 00 0a 00 82 00 00"), kGct4, kGct4,  // 10 x 10, 8 entries
            H("2c 0000 0000 0a00 0a00 00 03"  // 10 x 10, minimum code size 3
              "04 08 bc b0 00"                 // codes clear 0 12 11 0 11 (4 bits): entries 11 and 12 refer
              "00"),                           // to each other
            kTrailer}),
       0, "Invalid GIF data", {}, 10, 10, {}},
      {"frame asking for more than 1 GiB", Cat({kHead, H("2c 0000 0000 ffff ffff 00 02 03 44 a8 15 00"), kTrailer}), 0,
       "Invalid image size", {}, 2, 2, {}},
  };
}

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.Name; }

class ReaderTable : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTable, ReadsAsExpected) {
  const ReaderCase& c = GetParam();
  LoadResult r = LoadBytes(c.File, c.Offset);
  EXPECT_EQ(r.Error, c.Error);
  EXPECT_EQ(r.Warnings, c.Warnings);
  if (!r.Error.empty()) {
    EXPECT_EQ(r.EndPosition, std::int64_t(c.Offset)) << "stream not put back";
  }
  EXPECT_EQ(r.Image->Width(), c.ScreenWidth);
  EXPECT_EQ(r.Image->Height(), c.ScreenHeight);
  ASSERT_EQ(r.Image->Images().Count(), int(c.Frames.size()));
  for (std::size_t i = 0; i < c.Frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    TGIFFrame* f = r.Image->Images()[int(i)];
    const ExpectedFrame& e = c.Frames[i];
    EXPECT_EQ(f->Left(), e.Left);
    EXPECT_EQ(f->Top(), e.Top);
    EXPECT_EQ(f->Width(), e.Width);
    EXPECT_EQ(f->Height(), e.Height);
    EXPECT_EQ(Pixels(f), e.Pixels);
    EXPECT_EQ(f->Extensions().Count(), e.Extensions);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReaderTable, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) {
                           std::string name;
                           for (const char* p = info.param.Name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

TEST(Reader, SuccessfulLoadEndsAfterTheTrailer) {
  Bytes file = Cat({kHead, kFrame2x2, kTrailer, H("aa bb")});
  LoadResult r = LoadBytes(file);
  EXPECT_EQ(r.EndPosition, std::int64_t(file.size() - 2));
}

TEST(Reader, HeaderFieldsAndGlobalMap) {
  LoadResult r = LoadBytes(Cat({kSig, H("02 00 02 00 81 03 31"), kGct4, kFrame2x2, kTrailer}));
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(r.Image->BackgroundColorIndex(), 3);
  EXPECT_EQ(r.Image->AspectRatio(), 0x31);
  EXPECT_EQ(ColorBytes(r.Image->GlobalColorMap()), kGct4);
  EXPECT_FALSE(r.Image->GlobalColorMap().Optimized());
}

TEST(Reader, LoadReplacesThePreviousContent) {
  LoadResult r = LoadBytes(Cat({kHead, kFrame2x2, kFrame2x2, kTrailer}));
  ASSERT_EQ(r.Image->Images().Count(), 2);
  TMemoryStream second(Cat({kSig, H("01 00 01 00 00 00 00"), H("2c 0000 0000 0100 0100 80 000000 ffffff"),
                            H("02 02 44 01 00"), kTrailer}));
  r.Image->LoadFromStream(second);
  ASSERT_EQ(r.Image->Images().Count(), 1);
  EXPECT_EQ(r.Image->Width(), 1);
  EXPECT_EQ(r.Image->GlobalColorMap().Count(), 0);
  EXPECT_EQ(r.Image->Images()[0]->ColorMap().Count(), 2);
}

TEST(Reader, FramesBeforeAnErrorStayInTheImage) {
  LoadResult r = LoadBytes(Cat({kHead, kFrame2x2, kFrame2x2Reversed, H("21 02 00"), kTrailer}));
  EXPECT_EQ(r.Error, "Unknown extension type");
  ASSERT_EQ(r.Image->Images().Count(), 2);
  EXPECT_EQ(Pixels(r.Image->Images()[1]), (Bytes{3, 2, 1, 0}));
}

TEST(Reader, LocalColorMapAndPosition) {
  LoadResult r = LoadBytes(Cat({kSig, H("00 00 00 00 00 00 00"),  // screen 0 x 0, no global table
                                H("2c 0300 0100 0200 0200 81"),     // at 3,1, 2 x 2, local table of 4
                                kGct4, H("02 03 44 a8 15 00"), kTrailer}));
  ASSERT_EQ(r.Error, "");
  EXPECT_TRUE(r.Warnings.empty());  // a screen of 0 x 0 grows silently
  ASSERT_EQ(r.Image->Images().Count(), 1);
  TGIFFrame* f = r.Image->Images()[0];
  EXPECT_EQ(ColorBytes(f->ColorMap()), kGct4);
  EXPECT_EQ(f->Left(), 3);
  EXPECT_EQ(f->Top(), 1);
  EXPECT_EQ(r.Image->Width(), 5);
  EXPECT_EQ(r.Image->Height(), 3);
}

TEST(Reader, InterlacedRowsLandInTheirPlaces) {
  // 1 x 10, interlaced: rows arrive in the order 0 8 | 4 | 2 6 | 1 3 5 7 9; row r carries value
  // r mod 4, one code per row with a clear code after every two.
  std::vector<int> order = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  std::vector<std::pair<int, int>> codes = {{4, 3}};
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && i % 2 == 0) codes.push_back({4, 3});
    codes.push_back({order[i] % 4, 3});
  }
  codes.push_back({5, 3});
  Bytes data;
  std::uint32_t bits = 0;
  int n = 0;
  for (auto [code, width] : codes) {
    bits |= std::uint32_t(code) << n;
    n += width;
    while (n >= 8) {
      data.push_back(std::uint8_t(bits));
      bits >>= 8;
      n -= 8;
    }
  }
  if (n) data.push_back(std::uint8_t(bits));
  Bytes file = Cat({kSig, H("01 00 0a 00 81 00 00"), kGct4, H("2c 0000 0000 0100 0a00 40 02"),
                    Bytes{std::uint8_t(data.size())}, data, H("00"), kTrailer});
  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(r.Image->Images().Count(), 1);
  EXPECT_TRUE(r.Image->Images()[0]->Interlaced());
  EXPECT_EQ(Pixels(r.Image->Images()[0]), (Bytes{0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
  ExpectSameAsGiflib(*r.Image, file);
}

TEST(Reader, ApplicationBlocks) {
  const Bytes animexts = H("21 ff 0b 41 4e 49 4d 45 58 54 53 31 2e 30"  // "ANIMEXTS1.0"
                           "03 01 05 00"                                // loop sub-block, 5 loops
                           "00");
  const Bytes xmp = H("21 ff 0b 58 4d 50 20 44 61 74 61 58 4d 50"  // "XMP DataXMP"
                      "03 61 62 63 01 64"                          // sub-blocks "abc", "d"
                      "00");
  LoadResult r = LoadBytes(Cat({kHead, animexts, xmp, kFrame2x2, kTrailer}));
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(r.Image->Images().Count(), 1);
  TGIFExtensionList& ext = r.Image->Images()[0]->Extensions();
  ASSERT_EQ(ext.Count(), 2);

  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext[0]);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->Loops(), 5);
  EXPECT_EQ(loop->Identifier(), "ANIMEXTS");
  EXPECT_EQ(loop->Authentication(), "1.0");
  EXPECT_EQ(SaveExtension(*loop), animexts);

  auto* unknown = dynamic_cast<TGIFUnknownAppExtension*>(ext[1]);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->Identifier(), "XMP Data");
  EXPECT_EQ(SaveExtension(*unknown), xmp);
}

TEST(Reader, GraphicControlExtensionBecomesTheFramesOwn) {
  LoadResult r = LoadBytes(Cat({kHead, kGCETransparent2, kFrame2x2, kTrailer}));
  ASSERT_EQ(r.Error, "");
  TGIFFrame* f = r.Image->Images()[0];
  ASSERT_NE(f->GraphicControlExtension(), nullptr);
  EXPECT_TRUE(f->Transparent());
  EXPECT_EQ(f->GraphicControlExtension()->TransparentColorIndex(), 2);
  EXPECT_EQ(f->GraphicControlExtension()->Delay(), 5);
}

TEST(Reader, ProgressReportsLoading) {
  struct Note {
    TProgressStage Stage;
    int Percent;
    bool Redraw;
  };
  auto run = [](const Bytes& file, std::vector<Note>& notes) {
    TGIFImage image;
    image.OnProgress = [&](TPersistent* sender, TProgressStage stage, int pct, bool redraw, const TRect&,
                           const std::string& msg) {
      EXPECT_EQ(msg, "Loading");
      if (stage != TProgressStage::psRunning) {
        EXPECT_EQ(sender, &image);
      }
      notes.push_back({stage, pct, redraw});
    };
    TMemoryStream s(file);
    try {
      image.LoadFromStream(s);
    } catch (const GIFException&) {
    }
  };
  std::vector<Note> ok;
  Bytes file = Cat({kHead, kFrame2x2, kFrame2x2, kTrailer});
  run(file, ok);
  ASSERT_EQ(ok.size(), 4u);
  EXPECT_EQ(ok.front().Stage, TProgressStage::psStarting);
  EXPECT_EQ(ok.front().Percent, 0);
  EXPECT_EQ(ok[1].Stage, TProgressStage::psRunning);
  // Position after each frame x 100 / size, rounded: 41 of 58 bytes, then 57.
  EXPECT_EQ(ok[1].Percent, 71);
  EXPECT_EQ(ok[2].Percent, 98);
  EXPECT_EQ(ok.back().Stage, TProgressStage::psEnding);
  EXPECT_EQ(ok.back().Percent, 100);
  EXPECT_TRUE(ok.back().Redraw);

  std::vector<Note> failed;
  run(H("58 58 58 58 58 58 58 58 58 58"), failed);
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed.back().Stage, TProgressStage::psEnding);
  EXPECT_EQ(failed.back().Percent, 0);
}

TEST(Reader, LargeFramesReportProgressWhileDecoding) {
  // One 200 x 100 frame with the same colour throughout: progress from the frame itself after
  // every 10000 pixels.
  TGIFImage source;
  TGIFFrame* f = TGIFFrame::Create(&source);
  f->ColorMap().Add(clBlack);
  f->ColorMap().Add(clWhite);
  f->ChangeBounds(0, 0, 200, 100);
  std::fill(f->Data(), f->Data() + f->DataSize(), std::uint8_t(1));
  Bytes file = Save(source);

  TGIFImage image;
  int fromFrame = 0;
  image.OnProgress = [&](TPersistent* sender, TProgressStage stage, int pct, bool, const TRect&, const std::string&) {
    if (stage == TProgressStage::psRunning && dynamic_cast<TGIFFrame*>(sender)) {
      ++fromFrame;
      EXPECT_GE(pct, 0);
      EXPECT_LE(pct, 100);
    }
  };
  TMemoryStream s(file);
  image.LoadFromStream(s);
  EXPECT_EQ(fromFrame, 2);  // after 10000 and 20000 pixels
}

TEST(Reader, PixelMemoryOfAllFramesIsBounded) {
  const TGIFReadLimits saved = GIFReadLimits();
  SetGIFReadLimits({1000, 2500});
  // Each 20 x 40 frame (800 bytes) fits; the fourth would bring the image past 2500.
  Bytes frame = H("2c 0000 0000 1400 2800 00 02 03 44 a8 15 00");
  LoadResult r = LoadBytes(Cat({kHead, frame, frame, frame, frame, kTrailer}));
  EXPECT_EQ(r.Error, "Invalid image size");
  EXPECT_EQ(r.Image->Images().Count(), 3);
  LoadResult big = LoadBytes(Cat({kHead, H("2c 0000 0000 2000 2000 00 02 03 44 a8 15 00"), kTrailer}));
  EXPECT_EQ(big.Error, "Invalid image size");
  SetGIFReadLimits(saved);
}

TEST(Reader, WithoutAWarningHandlerWarningsAreSilent) {
  TGIFImage image;
  TMemoryStream s(Cat({kHead, kFrame2x2, H("42 3b")}));
  EXPECT_NO_THROW(image.LoadFromStream(s));
  EXPECT_EQ(image.Images().Count(), 1);
}

TEST(Reader, ColorMapLoadFromStream) {
  TGIFImage image;
  TGIFColorMap& map = image.GlobalColorMap();
  map.Add(clWhite);
  map.SetOptimized(true);
  TMemoryStream s(kGct4);
  map.LoadFromStream(s, 3);
  EXPECT_EQ(map.Count(), 3);
  EXPECT_FALSE(map.Optimized());
  EXPECT_EQ(ColorBytes(map), Bytes(kGct4.begin(), kGct4.begin() + 9));
  TMemoryStream shortStream(H("01 02 03 04"));
  try {
    map.LoadFromStream(shortStream, 2);
    FAIL() << "no error";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Premature end of data");
  }
}

TEST(Reader, TrailerAlone) {
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TPersistent*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  TGIFTrailer trailer(&image);
  TMemoryStream good(H("3b")), bad(H("3c")), none;
  trailer.LoadFromStream(good);
  trailer.LoadFromStream(none);
  EXPECT_TRUE(warnings.empty());
  trailer.LoadFromStream(bad);
  EXPECT_EQ(warnings, std::vector<std::string>{"Invalid Image trailer"});
}

TEST(Reader, LoadFromFile) {
  std::string path = ::testing::TempDir() + "reader_test_plain.gif";
  TMemoryStream(Cat({kHead, kFrame2x2, kTrailer})).SaveToFile(path);
  TGIFImage image;
  image.LoadFromFile(path);
  ASSERT_EQ(image.Images().Count(), 1);
  EXPECT_EQ(Pixels(image.Images()[0]), (Bytes{0, 1, 2, 3}));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace clipsmith::testing
