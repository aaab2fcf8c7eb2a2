#include <gtest/gtest.h>

#include "error_of.h"

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"

using namespace clipsmith;

namespace {

using clipsmith::testing::ErrorOf;

TGIFFrame* SizedFrame(TGIFImage& image, int w, int h, int colors = 2) {
  TGIFFrame* f = TGIFFrame::Create(&image);
  f->ChangeBounds(0, 0, w, h);
  for (int i = 0; i < colors; ++i) f->ColorMap().Add(RGBColor(i, i, i));
  return f;
}

}  // namespace

TEST(ImageModel, ScreenGrowsWithFramesAndWarnsOnlyWhenItWasSet) {
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TPersistent*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  SizedFrame(image, 320, 240);
  EXPECT_EQ(image.Width(), 320);
  EXPECT_EQ(image.Height(), 240);
  EXPECT_TRUE(warnings.empty());
  SizedFrame(image, 320, 240);
  EXPECT_TRUE(warnings.empty());
  SizedFrame(image, 400, 100);
  EXPECT_EQ(image.Width(), 400);
  EXPECT_EQ(image.Height(), 240);
  EXPECT_EQ(warnings, std::vector<std::string>{"Image exceeds Logical Screen size"});
  EXPECT_EQ(image.Images().Count(), 3);
}

TEST(ImageModel, BoundsBeyond65535AreRefused) {
  TGIFImage image;
  TGIFFrame* f = SizedFrame(image, 1000, 10);
  EXPECT_EQ(ErrorOf([&] { f->SetLeft(65000); }), "Invalid image size");
  EXPECT_EQ(f->Left(), 0);
  EXPECT_EQ(f->Width(), 1000);
  f->ChangeBounds(64535, 0, 1000, 10);  // exactly at the edge
  EXPECT_EQ(f->BoundsRect(), (TRect{64535, 0, 65535, 10}));
}

TEST(ImageModel, EmptyFramesAndPixelAccess) {
  TGIFImage image;
  TGIFFrame* f = TGIFFrame::Create(&image);
  EXPECT_TRUE(f->Empty());
  EXPECT_EQ(f->DataSize(), 0);
  EXPECT_EQ(ErrorOf([&] { f->RowData(0); }), "Invalid pixel coordinates");
  f->SetHeight(5);
  EXPECT_EQ(f->DataSize(), 0);
  EXPECT_EQ(ErrorOf([&] { f->RowData(0); }), "Image is empty");
  f->SetWidth(3);
  EXPECT_EQ(f->DataSize(), 15);
  EXPECT_FALSE(f->Empty());
  f->PixelAt(2, 4) = 9;
  EXPECT_EQ(f->Data()[14], 9);
  EXPECT_EQ(f->RowData(4), f->Data() + 12);
  EXPECT_EQ(ErrorOf([&] { f->PixelAt(3, 0); }), "Invalid pixel coordinates");
  EXPECT_EQ(ErrorOf([&] { f->PixelAt(0, 5); }), "Invalid pixel coordinates");
}

TEST(ImageModel, ClearPixelDataUsesTheTransparentIndex) {
  TGIFImage image;
  TGIFFrame* f = SizedFrame(image, 2, 2, 8);
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
  gce->SetTransparentColorIndex(6);
  gce->SetTransparent(true);
  f->ClearPixelData();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f->Data()[i], 6);
}

TEST(ImageModel, VersionRules) {
  TGIFImage image;
  EXPECT_EQ(image.Version(), TGIFVersion::gvUnknown);
  TGIFFrame* f = SizedFrame(image, 2, 2);
  image.SetAspectRatio(49);  // the header's own version does not count
  EXPECT_EQ(image.Version(), TGIFVersion::gv87a);
  EXPECT_EQ(image.Header().Version(), TGIFVersion::gv89a);
  f->ColorMap().SetOptimized(true);
  EXPECT_EQ(image.Version(), TGIFVersion::gv89a);
  f->ColorMap().SetOptimized(false);
  TGIFExtension::Create<TGIFGraphicControlExtension>(f);
  EXPECT_EQ(image.Version(), TGIFVersion::gv89a);
}

TEST(ImageModel, HeaderPrepare) {
  struct Case { int colors; bool sorted; std::uint8_t packed; };
  for (auto c : {Case{0, false, 0x77}, Case{256, false, 0xF7}, Case{2, true, 0x88}, Case{16, false, 0xB3},
                 Case{3, false, 0x91}}) {
    TGIFImage image;
    for (int i = 0; i < c.colors; ++i) image.GlobalColorMap().Add(RGBColor(i, 0, 0));
    image.GlobalColorMap().SetOptimized(c.sorted);
    image.Header().Prepare();
    EXPECT_EQ(image.Header().FLogicalScreenDescriptor.PackedFields, c.packed) << c.colors;
  }
}

TEST(ImageModel, DescriptorPreparation) {
  TGIFImage image;
  TGIFFrame* f = SizedFrame(image, 2, 2, 0);
  f->FImageDescriptor.PackedFields = 0xFF;
  f->PrepareDescriptor();
  EXPECT_EQ(f->FImageDescriptor.PackedFields, 0x50);  // only bits 6 and 4 survive
  for (int i = 0; i < 256; ++i) f->ColorMap().Add(RGBColor(i, 0, 0));
  f->SetInterlaced(false);
  f->PrepareDescriptor();
  EXPECT_EQ(f->FImageDescriptor.PackedFields, 0x97);
}

TEST(ImageModel, PropertySetters) {
  TGIFImage image;
  image.SetReductionBits(3);
  image.SetReductionBits(8);
  EXPECT_EQ(ErrorOf([&] { image.SetReductionBits(2); }), "Invalid Bits Per Pixel value");
  EXPECT_EQ(ErrorOf([&] { image.SetReductionBits(9); }), "Invalid Bits Per Pixel value");
  EXPECT_EQ(image.ReductionBits(), 8);
  image.SetAnimationSpeed(-5);
  EXPECT_EQ(image.AnimationSpeed(), 0);
  image.SetAnimationSpeed(2000);
  EXPECT_EQ(image.AnimationSpeed(), 1000);
  EXPECT_EQ(image.ColorReduction(), TColorReduction::rmQuantize);
  EXPECT_EQ(image.DitherMode(), TDitherMode::dmFloydSteinberg);
  EXPECT_TRUE(image.Transparent());
  EXPECT_FALSE(image.ShouldDither());
  image.SetDithering(TGIFDithering::gdAuto);  // a 32-bit display does not need it
  EXPECT_FALSE(image.ShouldDither());
  image.SetDithering(TGIFDithering::gdEnabled);
  EXPECT_TRUE(image.ShouldDither());
}

TEST(ImageModel, BackgroundIndexIsCheckedAgainstTheGlobalMap) {
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TPersistent*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  image.SetBackgroundColorIndex(200);  // empty map: anything goes
  EXPECT_EQ(image.BackgroundColorIndex(), 200);
  for (int i = 0; i < 4; ++i) image.GlobalColorMap().Add(RGBColor(i, 0, 0));
  image.SetBackgroundColorIndex(4);
  EXPECT_EQ(image.BackgroundColorIndex(), 0);
  EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
  image.SetBackgroundColor(RGBColor(9, 9, 9));
  EXPECT_EQ(image.BackgroundColorIndex(), 4);
}

TEST(ImageModel, FramesLeaveTheirListHoweverTheyAreDestroyed) {
  TGIFImage image;
  TGIFFrame* a = SizedFrame(image, 1, 1);
  TGIFFrame* b = SizedFrame(image, 1, 1);
  TGIFFrame* c = SizedFrame(image, 1, 1);
  delete b;
  ASSERT_EQ(image.Images().Count(), 2);
  EXPECT_EQ(image.Images()[1], c);
  image.Images().Delete(0);
  ASSERT_EQ(image.Images().Count(), 1);
  EXPECT_EQ(image.Images()[0], c);
  auto owned = image.Images().Remove(c);
  EXPECT_EQ(image.Images().Count(), 0);
  EXPECT_EQ(image.Images().Add(owned.release()), 0);
  EXPECT_EQ(image.Images().Add(c), 0);  // no duplicate
  (void)a;
}

TEST(ImageModel, ExtensionsLeaveTheirListAndTheGCEReference) {
  TGIFImage image;
  std::vector<std::string> warnings;
  image.OnWarning = [&](TPersistent*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  TGIFFrame* f = SizedFrame(image, 1, 1);
  auto* first = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
  auto* second = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
  EXPECT_EQ(warnings, std::vector<std::string>{"Frame contains multiple Graphic Control Extension blocks"});
  EXPECT_EQ(f->Extensions().Count(), 2);
  EXPECT_EQ(f->GraphicControlExtension(), first);
  delete first;
  EXPECT_EQ(f->Extensions().Count(), 1);
  EXPECT_EQ(f->GraphicControlExtension(), nullptr);  // the second never takes its place
  (void)second;
  f->Clear();
  EXPECT_EQ(f->Extensions().Count(), 0);
}

TEST(ImageModel, AddCopiesFramesAndRefusesOtherObjects) {
  TGIFImage source;
  source.GlobalColorMap().Add(RGBColor(1, 2, 3));
  source.GlobalColorMap().Add(RGBColor(4, 5, 6));
  TGIFFrame* f = TGIFFrame::Create(&source);
  f->ChangeBounds(3, 4, 2, 2);
  f->PixelAt(1, 1) = 1;
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(f);
  gce->SetDelay(42);

  TGIFImage target;
  TGIFFrame* copy = target.Add(source);
  ASSERT_EQ(target.Images().Count(), 1);
  EXPECT_EQ(copy->BoundsRect(), (TRect{3, 4, 5, 6}));
  EXPECT_EQ(target.Width(), 0);  // the descriptor is copied without growing the screen
  EXPECT_EQ(copy->PixelAt(1, 1), 1);
  ASSERT_EQ(copy->ColorMap().Count(), 2);  // the source's global map becomes the local one
  EXPECT_EQ(copy->ColorMap().GetColor(1), RGBColor(4, 5, 6));
  ASSERT_NE(copy->GraphicControlExtension(), nullptr);
  EXPECT_EQ(copy->GraphicControlExtension()->Delay(), 42);
  EXPECT_TRUE(target.Modified);

  EXPECT_EQ(target.Add(*f)->Width(), 2);
  EXPECT_EQ(target.Images().Count(), 2);
  TGIFColorMap& notAFrame = target.GlobalColorMap();
  EXPECT_EQ(ErrorOf([&] { target.Add(static_cast<TPersistent*>(&notAFrame)); }),
            "Object type not supported for operation");
  EXPECT_EQ(target.Images().Count(), 2);
  // An image added to itself copies the frames it had.
  target.Add(target);
  EXPECT_EQ(target.Images().Count(), 4);
}

TEST(ImageModel, WarningsWithoutHandler) {
  TGIFImage image;
  EXPECT_NO_THROW(image.Warning(&image, TGIFSeverity::gsWarning, "x"));
  EXPECT_NO_THROW(image.Warning(&image, TGIFSeverity::gsInfo, "x"));
  EXPECT_EQ(ErrorOf([&] { image.Warning(&image, TGIFSeverity::gsError, "boom"); }), "boom");
}

TEST(ImageModel, ClearKeepsBackgroundAndAspect) {
  TGIFImage image;
  image.SetAspectRatio(49);
  image.SetBackgroundColorIndex(3);
  SizedFrame(image, 4, 4);
  image.Clear();
  EXPECT_EQ(image.Images().Count(), 0);
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.AspectRatio(), 49);
  EXPECT_EQ(image.BackgroundColorIndex(), 3);
  EXPECT_EQ(image.Header().FLogicalScreenDescriptor.PackedFields, 0x77);
}

TEST(ImageModel, PackMovesTheOnlyLocalMapToTheGlobalOne) {
  TGIFImage image;
  TGIFFrame* f = SizedFrame(image, 2, 2, 3);
  image.Pack();
  EXPECT_EQ(image.GlobalColorMap().Count(), 3);
  EXPECT_EQ(f->ColorMap().Count(), 0);
  EXPECT_EQ(&f->ActiveColorMap(), static_cast<TGIFColorMap*>(&image.GlobalColorMap()));
}
