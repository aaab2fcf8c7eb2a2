// Everything our writer produces reads back: frames, sizes, positions, colours, extensions and
// pixels, and the pixels agree with giflib's decoding of the same file.
#include <gtest/gtest.h>

#include <functional>

#include "reader_test_support.h"

namespace clipsmith::testing {
namespace {

// Deterministic pixel values below count.
void FillPixels(TGIFFrame* f, int count, std::uint32_t seed, bool smooth = false) {
  std::uint32_t x = seed * 2654435761u + 1;
  for (int i = 0; i < f->DataSize(); ++i) {
    x = x * 1664525u + 1013904223u;
    int v = smooth ? ((i % f->Width()) / 3 + (i / f->Width()) / 2 + int((x >> 28) & 1)) : int(x >> 16);
    f->Data()[i] = std::uint8_t(v % count);
  }
}

TGIFFrame* AddFrame(TGIFImage& image, int left, int top, int width, int height, int colors, std::uint32_t seed,
                    bool smooth = false) {
  TGIFFrame* f = TGIFFrame::Create(&image);
  for (int c = 0; c < colors; ++c)
    f->ColorMap().Add(RGBColor(std::uint8_t(c * 37 + seed), std::uint8_t(c * 11), std::uint8_t(255 - c)));
  f->ChangeBounds(left, top, width, height);
  FillPixels(f, colors, seed, smooth);
  return f;
}

std::vector<Bytes> ExtensionBytes(TGIFFrame* f) {
  std::vector<Bytes> out;
  for (int i = 0; i < f->Extensions().Count(); ++i) out.push_back(SaveExtension(*f->Extensions()[i]));
  return out;
}

// A map of C colours comes back with 2^b entries, the added ones black.
Bytes Padded(const TGIFColorMap& map) {
  Bytes out = ColorBytes(map);
  if (map.Count() > 0) out.resize(std::size_t(3) << map.BitsPerPixel(), 0);
  return out;
}

struct RoundTripCase {
  const char* Name;
  std::function<void(TGIFImage&)> Build;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.Name; }

std::vector<RoundTripCase> Cases() {
  std::vector<RoundTripCase> cases;
  for (int colors : {1, 2, 3, 5, 16, 129, 200, 256})
    cases.push_back({"local map", [colors](TGIFImage& im) { AddFrame(im, 0, 0, 13, 7, colors, std::uint32_t(colors)); }});
  cases.push_back({"sizes", [](TGIFImage& im) {
                     AddFrame(im, 0, 0, 1, 1, 2, 1);
                     AddFrame(im, 0, 0, 1, 37, 4, 2);
                     AddFrame(im, 0, 0, 301, 3, 256, 3);
                     AddFrame(im, 0, 0, 64, 64, 256, 4, true);
                   }});
  cases.push_back({"positions grow the screen", [](TGIFImage& im) {
                     AddFrame(im, 0, 0, 10, 10, 4, 1);
                     AddFrame(im, 5, 7, 10, 10, 4, 2);
                     AddFrame(im, 100, 0, 3, 2, 4, 3);
                   }});
  cases.push_back({"interlaced", [](TGIFImage& im) {
                     for (int h = 1; h <= 17; h += 2) {
                       TGIFFrame* f = AddFrame(im, 0, 0, 5, h, 8, std::uint32_t(h));
                       f->SetInterlaced(true);
                     }
                   }});
  cases.push_back({"global map only", [](TGIFImage& im) {
                     for (int c = 0; c < 16; ++c) im.GlobalColorMap().Add(RGBColor(std::uint8_t(c * 16), 0, 1));
                     for (int i = 0; i < 3; ++i) {
                       TGIFFrame* f = TGIFFrame::Create(&im);
                       f->ChangeBounds(0, 0, 9, 4);
                       FillPixels(f, 16, std::uint32_t(i));
                     }
                     im.SetBackgroundColorIndex(5);
                     im.SetAspectRatio(49);
                   }});
  cases.push_back({"long runs and a full table", [](TGIFImage& im) {
                     TGIFFrame* f = AddFrame(im, 0, 0, 400, 60, 2, 1);
                     std::fill(f->Data(), f->Data() + f->DataSize(), std::uint8_t(1));
                     AddFrame(im, 0, 0, 400, 60, 256, 9);
                   }});
  cases.push_back({"extensions", [](TGIFImage& im) {
                     TGIFFrame* f = AddFrame(im, 0, 0, 6, 4, 4, 1);
                     TGIFExtension::Create<TGIFAppExtNSLoop>(f)->SetLoops(3);
                     auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
                     gce->SetDelay(12);
                     gce->SetTransparent(true);
                     gce->SetTransparentColorIndex(2);
                     gce->SetDisposal(TDisposalMethod::dmBackground);
                     TGIFExtension::Create<TGIFCommentExtension>(f)->Text() = {"first line", "second line"};
                     auto* text = TGIFExtension::Create<TGIFTextExtension>(f);
                     text->SetLeft(1);
                     text->SetGridWidth(4);
                     text->SetGridHeight(2);
                     text->SetCharWidth(1);
                     text->SetCharHeight(2);
                     text->SetForegroundColorIndex(3);
                     text->SetText({"hi"});
                     auto* app = TGIFExtension::Create<TGIFUnknownAppExtension>(f);
                     app->SetIdentifier("CLIPTEST");
                     app->SetAuthentication("1.0");
                     for (int size : {1, 255, 7}) {
                       auto block = std::make_unique<TGIFBlock>(size);
                       for (int i = 0; i < size; ++i) block->Data()[std::size_t(i)] = std::uint8_t(i * 3);
                       app->Blocks().push_back(std::move(block));
                     }
                     TGIFFrame* g = AddFrame(im, 0, 0, 6, 4, 4, 2);
                     TGIFExtension::Create<TGIFGraphicControlExtension>(g)->SetDelay(7);
                     // Extensions with no image after them end the file.
                     TGIFFrame* tail = TGIFFrame::Create(&im);
                     TGIFExtension::Create<TGIFCommentExtension>(tail)->Text() = {"the end"};
                   }});
  return cases;
}

class ReaderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ReaderRoundTrip, ReadsBackWhatWasWritten) {
  TGIFImage source;
  GetParam().Build(source);
  Bytes file = Save(source);

  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  EXPECT_TRUE(r.Warnings.empty()) << r.Warnings.front();
  TGIFImage& back = *r.Image;
  EXPECT_EQ(back.Width(), source.Width());
  EXPECT_EQ(back.Height(), source.Height());
  EXPECT_EQ(back.BackgroundColorIndex(), source.BackgroundColorIndex());
  EXPECT_EQ(back.AspectRatio(), source.AspectRatio());
  EXPECT_EQ(ColorBytes(back.GlobalColorMap()), Padded(source.GlobalColorMap()));
  ASSERT_EQ(back.Images().Count(), source.Images().Count());
  for (int i = 0; i < source.Images().Count(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    TGIFFrame* a = source.Images()[i];
    TGIFFrame* b = back.Images()[i];
    EXPECT_EQ(b->BoundsRect(), a->BoundsRect());
    EXPECT_EQ(b->Interlaced(), a->Interlaced());
    EXPECT_EQ(ColorBytes(b->ColorMap()), Padded(a->ColorMap()));
    EXPECT_EQ(Pixels(b), Pixels(a));
    EXPECT_EQ(ExtensionBytes(b), ExtensionBytes(a));
    EXPECT_EQ(b->Transparent(), a->Transparent());
  }
  // Written again, the file is the same, byte for byte.
  EXPECT_EQ(Save(back), file);
}

TEST_P(ReaderRoundTrip, DecodesLikeGiflib) {
  TGIFImage source;
  GetParam().Build(source);
  // giflib counts only frames with an image; leave out extension-only ones.
  for (int i = source.Images().Count() - 1; i >= 0; --i)
    if (source.Images()[i]->Empty()) source.Images().Delete(i);
  Bytes file = Save(source);
  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  ExpectSameAsGiflib(*r.Image, file);
}

INSTANTIATE_TEST_SUITE_P(WriterImages, ReaderRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) {
                           std::string name = std::to_string(info.index) + "_";
                           for (const char* p = info.param.Name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

TEST(ReaderRoundTrip, SortFlagIsNotKept) {
  // The colours and pixels come back; whether the table was sorted does not, so the file is
  // written as GIF87a the second time.
  TGIFImage source;
  AddFrame(source, 0, 0, 4, 4, 6, 1)->ColorMap().SetOptimized(true);
  Bytes file = Save(source);
  EXPECT_EQ(file[9 + 13] & idSort, idSort);
  LoadResult r = LoadBytes(file);
  ASSERT_EQ(r.Error, "");
  TGIFFrame* f = r.Image->Images()[0];
  EXPECT_FALSE(f->ColorMap().Optimized());
  EXPECT_EQ(ColorBytes(f->ColorMap()), Padded(source.Images()[0]->ColorMap()));
  EXPECT_EQ(Pixels(f), Pixels(source.Images()[0]));
  EXPECT_EQ(r.Image->Version(), TGIFVersion::gv87a);
}

}  // namespace
}  // namespace clipsmith::testing
