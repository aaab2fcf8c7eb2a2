// Frames kept as their encoded image data: the file must not change by a byte, the pixels come
// back as they were, and whatever changes a frame afterwards is written as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "error_of.h"
#include "gif/frame_store.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::DecodeWithGiflib;
using clipsmith::testing::ErrorOf;

namespace {

struct FrameSpec {
  int Width, Height, Colors;
  bool Interlaced;
};

// A frame of random pixels below colors, with a colour map of that many entries; runs of equal
// pixels now and then, as real frames have, so that the string table fills and clears.
void AddRandomFrame(TGIFImage& image, const FrameSpec& spec, std::mt19937& rng) {
  TGIFFrame* frame = TGIFFrame::Create(&image);
  frame->ChangeBounds(0, 0, spec.Width, spec.Height);
  for (int i = 0; i < spec.Colors; ++i)
    frame->ColorMap().Add(RGBColor(std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())));
  frame->SetInterlaced(spec.Interlaced);
  std::uint8_t* p = frame->Data();
  std::uniform_int_distribution<int> pixel(0, spec.Colors - 1), run(1, 40), coin(0, 3);
  for (int i = 0; i < frame->DataSize();) {
    const std::uint8_t v = std::uint8_t(pixel(rng));
    const int n = coin(rng) == 0 ? run(rng) : 1;
    for (int k = 0; k < n && i < frame->DataSize(); ++k) p[i++] = v;
  }
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(frame);
  gce->SetDelay(7);
}

std::vector<std::uint8_t> Save(TGIFImage& image) {
  TMemoryStream m;
  image.SaveToStream(m);
  return m.Bytes();
}

std::vector<std::uint8_t> Pixels(TGIFFrame& frame) {
  return std::vector<std::uint8_t>(frame.Data(), frame.Data() + frame.DataSize());
}

const std::vector<FrameSpec> kSpecs = {
    {1, 1, 2, false},     {3, 2, 3, false},     {17, 9, 16, true},     {64, 48, 256, false},
    {200, 150, 256, false}, {255, 1, 7, false}, {31, 33, 129, true},   {320, 240, 200, false},
    {8, 300, 256, true},  {640, 64, 256, false},
};

// Two images made from the same seed: one as it is, one compacted frame by frame.
struct Pair {
  TGIFImage Plain, Compact;
  explicit Pair(std::shared_ptr<TFrameStore> store = nullptr) {
    if (store) Compact.SetFrameStore(std::move(store));
    std::mt19937 a(1234), b(1234);
    for (const FrameSpec& s : kSpecs) {
      AddRandomFrame(Plain, s, a);
      AddRandomFrame(Compact, s, b);
      Compact.Images().Last()->Compact();
    }
  }
};

}  // namespace

TEST(FrameCompaction, SameBytesAsFromPixelsAndPixelsComeBack) {
  for (bool onDisk : {false, true}) {
    SCOPED_TRACE(onDisk ? "file store" : "memory store");
    Pair pair(onDisk ? std::shared_ptr<TFrameStore>(std::make_shared<TFileFrameStore>(
                           std::filesystem::temp_directory_path().string()))
                     : nullptr);
    for (int i = 0; i < pair.Compact.Images().Count(); ++i) {
      EXPECT_TRUE(pair.Compact.Images()[i]->Compacted()) << i;
      EXPECT_FALSE(pair.Compact.Images()[i]->Empty()) << i;
      EXPECT_EQ(pair.Compact.Images()[i]->DataSize(), pair.Plain.Images()[i]->DataSize());
    }
    const auto plain = Save(pair.Plain);
    EXPECT_TRUE(Save(pair.Compact) == plain);
    // Saving twice, and once more after every frame was decoded again.
    EXPECT_TRUE(Save(pair.Compact) == plain);
    for (int i = 0; i < pair.Compact.Images().Count(); ++i) {
      EXPECT_TRUE(Pixels(*pair.Compact.Images()[i]) == Pixels(*pair.Plain.Images()[i])) << i;
      EXPECT_FALSE(pair.Compact.Images()[i]->Compacted());
    }
    EXPECT_TRUE(Save(pair.Compact) == plain);
    auto decoded = DecodeWithGiflib(plain);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Frames.size(), kSpecs.size());
  }
}

TEST(FrameCompaction, ChangesAfterCompactingAreWrittenAsFromPixels) {
  // Each change is made to both images; the compacted one must follow.
  struct Change {
    const char* Name;
    void (*Apply)(TGIFFrame&);
  };
  const std::vector<Change> changes = {
      {"interlace switched", [](TGIFFrame& f) { f.SetInterlaced(!f.Interlaced()); }},
      {"colour map grown past a power of two",
       [](TGIFFrame& f) {
         while (f.ColorMap().Count() < 256 && (f.ColorMap().Count() & (f.ColorMap().Count() - 1)) != 0)
           f.ColorMap().Add(clBlack);
         if (f.ColorMap().Count() < 256) f.ColorMap().Add(clWhite);
       }},
      {"pixel written", [](TGIFFrame& f) { f.PixelAt(0, 0) = std::uint8_t(f.ColorMap().Count() - 1); }},
      {"rows read", [](TGIFFrame& f) { (void)f.RowData(f.Height() - 1); }},
      {"cleared to the fill", [](TGIFFrame& f) { f.ClearPixelData(); }},
      {"resized", [](TGIFFrame& f) { f.ChangeBounds(0, 0, f.Width() + 1, f.Height()); }},
      {"extension added", [](TGIFFrame& f) {
         auto* c = TGIFExtension::Create<TGIFCommentExtension>(&f);
         c->Text().push_back("x");
       }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.Name);
    Pair pair;
    for (int i = 0; i < pair.Plain.Images().Count(); ++i) {
      change.Apply(*pair.Plain.Images()[i]);
      change.Apply(*pair.Compact.Images()[i]);
    }
    EXPECT_TRUE(Save(pair.Compact) == Save(pair.Plain));
  }
}

TEST(FrameCompaction, CopiesAndForeignEncodings) {
  Pair pair;
  // A copy of a compacted frame shares its encoding and writes the same bytes.
  TGIFImage copy;
  copy.Add(pair.Compact);
  EXPECT_TRUE(copy.Images()[3]->Compacted());
  TGIFImage plainCopy;
  plainCopy.Add(pair.Plain);
  EXPECT_TRUE(Save(copy) == Save(plainCopy));
  EXPECT_TRUE(Pixels(*copy.Images()[4]) == Pixels(*pair.Plain.Images()[4]));

  // Data encoded elsewhere is used only when it was made from these pixels for this frame.
  std::mt19937 rng(99);
  TGIFImage image;
  AddRandomFrame(image, {50, 40, 256, false}, rng);
  TGIFFrame& frame = *image.Images()[0];
  const auto expected = Save(image);
  TEncodedImageData good;
  ASSERT_TRUE(TGIFFrame::EncodeImageData(frame.Data(), 50, 40, false, 8, 256, good));
  struct Spoil {
    const char* Name;
    void (*Apply)(TEncodedImageData&);
  };
  const std::vector<Spoil> spoils = {
      {"other pixels", [](TEncodedImageData& e) { e.PixelHash ^= 1; }},
      {"other code size", [](TEncodedImageData& e) { e.Bits = 7; }},
      {"other size", [](TEncodedImageData& e) { e.Width = 40; }},
      {"interlaced", [](TEncodedImageData& e) { e.Interlaced = true; }},
      {"no bytes", [](TEncodedImageData& e) { e.Bytes.clear(); }},
  };
  for (const Spoil& spoil : spoils) {
    SCOPED_TRACE(spoil.Name);
    TEncodedImageData bad = good;
    bad.Bytes.assign(bad.Bytes.size(), 0x55);  // would write rubbish if it were taken
    spoil.Apply(bad);
    TGIFImage again;
    std::mt19937 same(99);
    AddRandomFrame(again, {50, 40, 256, false}, same);
    again.Images()[0]->Compact(std::move(bad));
    EXPECT_TRUE(again.Images()[0]->Compacted());
    EXPECT_TRUE(Save(again) == expected);
  }
  frame.Compact(std::move(good));
  EXPECT_TRUE(frame.Compacted());
  EXPECT_TRUE(Save(image) == expected);
}

TEST(FrameCompaction, FramesThatStayPixels) {
  // A pixel outside the colour table: the save still fails as it did, with the writer's error.
  TGIFImage bad;
  TGIFFrame* f = TGIFFrame::Create(&bad);
  f->ChangeBounds(0, 0, 4, 4);
  f->ColorMap().Add(clBlack);
  f->ColorMap().Add(clWhite);
  f->ColorMap().Add(RGBColor(255, 0, 0));
  f->PixelAt(2, 2) = 3;
  f->Compact();
  EXPECT_FALSE(f->Compacted());
  EXPECT_EQ(ErrorOf([&] { Save(bad); }), "Color not in color table");

  // No local colour map (the code size follows the other frames), and an empty frame.
  TGIFImage global;
  global.GlobalColorMap().Add(clBlack);
  global.GlobalColorMap().Add(clWhite);
  TGIFFrame* g = TGIFFrame::Create(&global);
  g->ChangeBounds(0, 0, 3, 3);
  g->Compact();
  EXPECT_FALSE(g->Compacted());
  TGIFFrame* empty = TGIFFrame::Create(&global);
  empty->Compact();
  EXPECT_FALSE(empty->Compacted());
  EXPECT_TRUE(empty->Empty());
}

TEST(FrameStore, BytesComeBackFromEveryStore) {
  const std::string dir = std::filesystem::temp_directory_path().string();
  std::vector<std::shared_ptr<TFrameStore>> stores = {std::make_shared<TMemoryFrameStore>(),
                                                      std::make_shared<TFileFrameStore>(dir)};
  for (auto& store : stores) {
    std::vector<std::vector<std::uint8_t>> blocks = {{1, 2, 3}, {}, std::vector<std::uint8_t>(70000, 9), {4}};
    std::vector<std::uint64_t> at;
    for (auto& b : blocks) at.push_back(store->Append(b));
    EXPECT_EQ(at, (std::vector<std::uint64_t>{0, 3, 3, 70003}));
    EXPECT_EQ(store->Size(), 70004u);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      std::vector<std::uint8_t> back(blocks[i].size());
      store->Read(at[i], back);
      EXPECT_EQ(back, blocks[i]);
    }
    // Across the ends of blocks, and past the end.
    std::vector<std::uint8_t> across(5);
    store->Read(1, across);
    EXPECT_EQ(across, (std::vector<std::uint8_t>{2, 3, 9, 9, 9}));
    std::vector<std::uint8_t> past(2);
    EXPECT_THROW(store->Read(70003, past), EReadError);
  }
}

TEST(FrameStore, FileStoreLeavesNoNameAndFallsBack) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "clipsmith-store-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directory(dir);
  {
    TFileFrameStore store(dir.string());
    store.Append(std::vector<std::uint8_t>(1000, 1));
    EXPECT_TRUE(std::filesystem::is_empty(dir));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  std::filesystem::remove_all(dir);

  EXPECT_THROW(TFileFrameStore("/nonexistent/folder"), EFOpenError);
  auto fallback = MakeFrameStore({"/nonexistent/folder"});
  EXPECT_NE(dynamic_cast<TMemoryFrameStore*>(fallback.get()), nullptr);
  auto second = MakeFrameStore({"/nonexistent/folder", std::filesystem::temp_directory_path().string()});
  EXPECT_NE(dynamic_cast<TFileFrameStore*>(second.get()), nullptr);
}
