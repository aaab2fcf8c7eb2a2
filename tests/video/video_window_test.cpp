// The video window: letter-boxed painting the right way up, the BMP image of the shown frame,
// and its option rules.
#include <gtest/gtest.h>

#include <QImage>

#include "harness.h"
#include "graphics/bmp_image.h"

namespace clipsmith {
namespace {

using testing::PumpFor;
using testing::THarness;

TEST(VideoWindow, NewWindowsAre160By120AndBlack) {
  TVideoWindow w;
  EXPECT_EQ(w.width(), 160);
  EXPECT_EQ(w.height(), 120);
  EXPECT_EQ(w.Color(), clBlack);
  EXPECT_EQ(w.Mode(), TVideoMode::vmNormal);
  EXPECT_EQ(w.VMROptions().Streams(), 4u);
  EXPECT_EQ(w.VMROptions().Preferences(), vpForceMixer);
  EXPECT_TRUE(w.VMROptions().KeepAspectRatio());
  for (std::uint32_t s : {0u, 17u}) {
    w.VMROptions().SetStreams(s);
    EXPECT_EQ(w.VMROptions().Streams(), 1u);
  }
  w.VMROptions().SetStreams(16);
  EXPECT_EQ(w.VMROptions().Streams(), 16u);
  w.SetMode(TVideoMode::vmVMR);
  EXPECT_EQ(w.Mode(), TVideoMode::vmVMR);
}

TEST(VideoWindow, PaintsTheFrameLetterBoxedOnBlackTheRightWayUp) {
  THarness h;
  h.Window.resize(160, 120);
  ASSERT_EQ(h.Render("orientation_ffv1.mkv"), S_OK);  // 64 x 32: 160 x 80 in the middle
  PumpFor(20);
  QImage shot = h.Window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shot.size(), QSize(160, 120));
  auto at = [&](int x, int y) { return QColor(shot.pixel(x, y)); };
  // The source colours went through a colour conversion: near enough is red or blue.
  auto red = [](QColor c) { return c.red() > 240 && c.green() < 16 && c.blue() < 16; };
  auto blue = [](QColor c) { return c.blue() > 240 && c.green() < 16 && c.red() < 16; };
  // Black bands of 20 rows above and below.
  for (int x : {0, 80, 159}) {
    EXPECT_EQ(at(x, 5), QColor(Qt::black));
    EXPECT_EQ(at(x, 114), QColor(Qt::black));
  }
  EXPECT_TRUE(red(at(80, 35))) << "red on top";
  EXPECT_TRUE(blue(at(80, 85))) << "blue below";
  // Without keeping the proportions the picture fills the window.
  h.Window.VMROptions().SetKeepAspectRatio(false);
  PumpFor(20);
  shot = h.Window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_TRUE(red(at(80, 5)));
  EXPECT_TRUE(blue(at(80, 114)));
  // A window wider than the picture gets bands left and right.
  h.Window.VMROptions().SetKeepAspectRatio(true);
  h.Window.resize(200, 50);
  PumpFor(20);
  shot = h.Window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(at(10, 10), QColor(Qt::black));
  EXPECT_TRUE(red(at(100, 10)));
  EXPECT_TRUE(blue(at(100, 40)));
}

TEST(VideoWindow, VMRGetBitmapWritesABitmapFileOfTheShownFrame) {
  THarness h;
  TMemoryStream none;
  EXPECT_FALSE(h.Window.VMRGetBitmap(none)) << "nothing shown yet";
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  ASSERT_TRUE(h.StepAndWait());
  TMemoryStream s;
  ASSERT_TRUE(h.Window.VMRGetBitmap(s));
  EXPECT_EQ(s.Position(), 0);
  const auto& bytes = s.Bytes();
  std::uint32_t image = 67 * 33 * 4;
  ASSERT_EQ(bytes.size(), 54 + image);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  auto u32 = [&](std::size_t at) {
    return std::uint32_t(bytes[at]) | (std::uint32_t(bytes[at + 1]) << 8) | (std::uint32_t(bytes[at + 2]) << 16) |
           (std::uint32_t(bytes[at + 3]) << 24);
  };
  EXPECT_EQ(u32(2), 54 + image);  // file size
  EXPECT_EQ(u32(6), 0u);          // reserved
  EXPECT_EQ(u32(10), 54u);        // pixel offset
  BITMAPINFOHEADER ih = ReadBitmapInfoHeader(bytes.data() + 14);
  EXPECT_EQ(ih.biWidth, 67);
  EXPECT_EQ(ih.biHeight, 33);
  EXPECT_EQ(ih.biBitCount, 32);
  // Read back, it is the grabbed frame.
  TBitmap fromFile, grabbed;
  ASSERT_TRUE(LoadBitmapFromBMP(s, fromFile));
  ASSERT_TRUE(h.Grabber.GetBitmap(grabbed));
  EXPECT_EQ(testing::TopDownPixels(fromFile), testing::TopDownPixels(grabbed));
  EXPECT_EQ(testclips::FindReferenceFrame("odd_ffv1.mkv", testing::TopDownPixels(fromFile)), 1);
}

TEST(VideoWindow, VMRGetBitmapNeedsTheWindowlessRenderer) {
  TFilterGraph graph;
  TVideoWindow w;
  w.SetFilterGraph(&graph);
  graph.SetActive(true);  // vmNormal
  ASSERT_EQ(graph.RenderFile(testclips::ClipPath("odd_ffv1.mkv")), S_OK);
  TMemoryStream s;
  EXPECT_FALSE(w.VMRGetBitmap(s));
  EXPECT_TRUE(w.CheckInputPinsConnected());
  EXPECT_EQ(w.QueryInterface<IVMRWindowlessControl9>(), nullptr);
  // Windowless asked for: the filter is put in again and the control is handed out.
  w.SetMode(TVideoMode::vmVMR);
  w.VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
  EXPECT_NE(w.QueryInterface<IVMRWindowlessControl9>(), nullptr);
  graph.ClearGraph();
  ASSERT_EQ(graph.RenderFile(testclips::ClipPath("odd_ffv1.mkv")), S_OK);
  EXPECT_TRUE(w.VMRGetBitmap(s));
  // Renderless needs an allocator the program never sets.
  EXPECT_THROW(w.VMROptions().SetMode(TVMRVideoMode::vmrRenderless), EVideoWindowError);
  w.SetFilterGraph(nullptr);
}

}  // namespace
}  // namespace clipsmith
