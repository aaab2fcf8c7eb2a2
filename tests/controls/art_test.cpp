// The pictures drawn at build time: every one in the resources at the size the window needs,
// opaque where a plain copy draws it, and the chain picture's GIF with its exact structure.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QImage>

#include "art/art.h"
#include "controls/gif_graphic.h"
#include "controls/image_button.h"
#include "controls/image_panel.h"
#include "controls/line_panel.h"
#include "gif/gif_extensions.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::DecodeWithGiflib;

TEST(Art, EveryPictureAtItsSize) {
  struct Case {
    const char* resource;
    int w, h;
    bool opaque;  // drawn by a plain copy (strips) or tiled under everything (tiles)
  };
  const Case cases[] = {
      {art::kToolBarTile, 29, 46, true},     {art::kBandTile, 29, 8, true},
      {art::kStatusBarTile, 29, 22, true},   {art::kBtnOpen, 46, 184, true},
      {art::kBtnEmail, 46, 184, true},       {art::kBtnWebsite, 46, 184, true},
      {art::kBtnHelp, 46, 184, true},        {art::kBtnAbout, 46, 184, true},
      {art::kBtnMakeGIF, 110, 168, true},    {art::kPlayerOpen, 28, 100, true},
      {art::kPlayerPlay, 28, 100, true},     {art::kPlayerPause, 28, 100, true},
      {art::kPlayerStop, 28, 100, true},     {art::kPlayerSMStart, 28, 100, true},
      {art::kPlayerSMStop, 28, 100, true},   {art::kPlayerNextFrame, 28, 100, true},
      {art::kAbout, 400, 250, true},         {art::kWarning, 32, 32, false},
      {art::kMarkStart, 28, 25, true},       {art::kMarkEnd, 28, 25, true},
      {art::kChainGIF, 24, 25, false},
  };
  for (const Case& c : cases) {
    const TPicture pic = art::Picture(c.resource);
    ASSERT_TRUE(pic.HasGraphic()) << c.resource;
    EXPECT_EQ(pic.Width(), c.w) << c.resource;
    EXPECT_EQ(pic.Height(), c.h) << c.resource;
    if (c.opaque) {
      const QImage img = pic.Graphic().convertToFormat(QImage::Format_ARGB32);
      int clear = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) clear += qAlpha(img.pixel(x, y)) != 255;
      EXPECT_EQ(clear, 0) << c.resource;
    }
  }
}

TEST(Art, StripBandsDifferFromEachOther) {
  // Disabled, normal, hover and pressed must each look different.
  for (const char* r : {art::kBtnOpen, art::kBtnMakeGIF, art::kPlayerPlay, art::kPlayerNextFrame}) {
    const QImage strip = art::Picture(r).Graphic();
    const int h = strip.height() / 4;
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b)
        EXPECT_NE(strip.copy(0, a * h, strip.width(), h), strip.copy(0, b * h, strip.width(), h))
            << r << " bands " << a << " and " << b;
  }
}

TEST(Art, ToolStripsSitSeamlesslyOnTheToolBar) {
  // The tool buttons are copied over the tiled tool bar: their disabled and normal bands keep
  // the tile's colours along the edges.
  const QImage tile = art::Picture(art::kToolBarTile).Graphic();
  for (const char* r : {art::kBtnOpen, art::kBtnEmail, art::kBtnWebsite, art::kBtnHelp, art::kBtnAbout}) {
    const QImage strip = art::Picture(r).Graphic();
    for (int band : {0, 1})
      for (int y = 0; y < 46; ++y) {
        EXPECT_EQ(strip.pixel(0, band * 46 + y), tile.pixel(0, y)) << r << " band " << band << " row " << y;
        EXPECT_EQ(strip.pixel(45, band * 46 + y), tile.pixel(0, y)) << r << " band " << band << " row " << y;
      }
  }
}

namespace {

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return std::uint16_t(b[at] | (b[at + 1] << 8)); }

// Skips data sub-blocks from `at`, returning the position after the terminator.
std::size_t SkipSubBlocks(const std::vector<std::uint8_t>& b, std::size_t at) {
  while (at < b.size() && b[at] != 0) at += std::size_t(b[at]) + 1;
  return at + 1;
}

}  // namespace

TEST(Art, ChainPictureBytesHaveTheDescribedStructure) {
  const std::vector<std::uint8_t> b = art::Bytes(art::kChainGIF);
  ASSERT_GT(b.size(), 13u + 384u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
  EXPECT_EQ(Le16(b, 6), 24);                  // screen width
  EXPECT_EQ(Le16(b, 8), 25);                  // screen height
  EXPECT_EQ(b[10] & 0x80, 0x80);              // global colour table present
  EXPECT_EQ(b[10] & 0x07, 6);                 // 2^(6+1) = 128 entries
  std::size_t at = 13 + 128 * 3;              // past the global table
  int frames = 0;
  while (at < b.size() && b[at] != 0x3B) {
    // graphic control extension: introducer, label, size 4, packed, delay, transparent index, end
    ASSERT_EQ(b[at], 0x21) << "frame " << frames;
    ASSERT_EQ(b[at + 1], 0xF9) << "frame " << frames;
    ASSERT_EQ(b[at + 2], 4);
    EXPECT_EQ(b[at + 3] & 0x01, 0x01) << "transparent flag, frame " << frames;
    EXPECT_EQ(b[at + 6], 0x56) << "transparent index, frame " << frames;
    EXPECT_EQ(b[at + 7], 0);
    at += 8;
    // image descriptor
    ASSERT_EQ(b[at], 0x2C) << "frame " << frames;
    EXPECT_EQ(Le16(b, at + 1), 0);
    EXPECT_EQ(Le16(b, at + 3), 0);
    EXPECT_EQ(Le16(b, at + 5), 24);
    EXPECT_EQ(Le16(b, at + 7), 25);
    EXPECT_EQ(b[at + 9] & 0x80, 0x80) << "local colour table, frame " << frames;
    EXPECT_EQ(b[at + 9] & 0x07, 6) << "128 local entries, frame " << frames;
    at += 10 + 128 * 3;
    EXPECT_EQ(b[at], 7) << "LZW minimum code size, frame " << frames;
    at = SkipSubBlocks(b, at + 1);
    ++frames;
  }
  EXPECT_EQ(frames, 4);
  ASSERT_LT(at, b.size());
  EXPECT_EQ(b[at], 0x3B);
  EXPECT_EQ(at + 1, b.size()) << "nothing after the trailer";
}

TEST(Art, ChainPictureReadsBackThroughOurReader) {
  auto gif = LoadGIFFromBytes(art::Bytes(art::kChainGIF));
  ASSERT_EQ(gif->Images().Count(), 4);
  EXPECT_EQ(gif->Width(), 24);
  EXPECT_EQ(gif->Height(), 25);
  EXPECT_EQ(gif->GlobalColorMap().Count(), 128);
  for (int k = 0; k < 4; ++k) {
    TGIFFrame* f = gif->Images()[k];
    EXPECT_EQ(f->Width(), 24) << k;
    EXPECT_EQ(f->Height(), 25) << k;
    EXPECT_EQ(f->ColorMap().Count(), 128) << k;
    TGIFGraphicControlExtension* gce = f->GraphicControlExtension();
    ASSERT_NE(gce, nullptr) << k;
    EXPECT_TRUE(gce->Transparent()) << k;
    EXPECT_EQ(gce->TransparentColorIndex(), 0x56) << k;
    // the picture has both: a transparent surround and an opaque chain
    const QImage img = GIFFrameToImage(*gif, k);
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << k;
    int opaque = 0;
    for (int y = 0; y < 25; ++y)
      for (int x = 0; x < 24; ++x) opaque += qAlpha(img.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 60) << k;
    EXPECT_LT(opaque, 24 * 25 - 100) << k;
  }
  // and the picture object reads it the same way
  const TPicture pic = art::Picture(art::kChainGIF);
  EXPECT_EQ(pic.Graphic(), GIFFrameToImage(*gif, 0));
}

TEST(Art, ChainPictureDecodesWithGiflib) {
  const auto d = DecodeWithGiflib(art::Bytes(art::kChainGIF));
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.Version, "89a");
  EXPECT_EQ(d.ScreenWidth, 24);
  EXPECT_EQ(d.ScreenHeight, 25);
  EXPECT_EQ(d.GlobalColors.size(), 128u * 3u);
  ASSERT_EQ(d.Frames.size(), 4u);
  auto ours = LoadGIFFromBytes(art::Bytes(art::kChainGIF));
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(d.Frames[k].LocalColors.size(), 128u * 3u);
    TGIFFrame* f = ours->Images()[int(k)];
    EXPECT_EQ(d.Frames[k].Pixels, std::vector<std::uint8_t>(f->Data(), f->Data() + f->DataSize())) << k;
  }
}

TEST(Art, GIFFrameImageEdgeCases) {
  // A frame index that does not exist gives a null image; pixel values past the map read as
  // entry 0.
  TGIFImage gif;
  TGIFFrame* f = TGIFFrame::Create(&gif);
  f->ChangeBounds(0, 0, 2, 1);
  f->ColorMap().Add(RGBColor(10, 20, 30));
  f->ColorMap().Add(RGBColor(40, 50, 60));
  f->PixelAt(0, 0) = 1;
  f->PixelAt(1, 0) = 200;
  EXPECT_TRUE(GIFFrameToImage(gif, 1).isNull());
  EXPECT_TRUE(GIFFrameToImage(gif, -1).isNull());
  const QImage img = GIFFrameToImage(gif, 0);
  EXPECT_EQ(img.pixel(0, 0), qRgb(40, 50, 60));
  EXPECT_EQ(img.pixel(1, 0), qRgb(10, 20, 30));
}

TEST(Art, IconInEverySize) {
  const QIcon icon = art::AppIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QImage img = icon.pixmap(QSize(size, size)).toImage();
    EXPECT_EQ(img.size(), QSize(size, size)) << size;
    // transparent corner, opaque middle
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(img.pixel(size / 2, size / 2)), 255) << size;
  }
}

TEST(Art, HelpPageIsFound) {
  const QString page = art::HelpPagePath();
  ASSERT_FALSE(page.isEmpty());
  QFile file(page);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(file.readAll());
  for (const char* must : {"How to make a GIF", "Frame Step", "Frame Delay", "Constrain Proportions",
                           "256 grayscale GIF image", "Space", "Ctrl", "Right"})
    EXPECT_TRUE(html.contains(QString::fromUtf8(must))) << must;
}

namespace {

TSkImgBtn* Button(QWidget* parent, const char* strip, int x, int y, int w, int h) {
  auto* b = new TSkImgBtn(parent);
  b->setGeometry(x, y, w, h);
  b->SetPic(art::Picture(strip));
  return b;
}

}  // namespace

TEST(Art, PicturesComposeAsTheWindowPlacesThem) {
  // The window's regions with their pictures, at the window's positions: tool bar, band, work
  // area with the two line panels, status bar. The tool buttons must sit on the tool bar without
  // a seam and the status bar tile must span the width.
  QWidget window;
  window.resize(900, 561);
  auto* toolBar = new TSkImgPanel(&window);
  toolBar->setGeometry(0, 0, 900, 46);
  toolBar->SetDrawStyle(TSkDrawStyle::suiTile);
  toolBar->SetPicture(art::Picture(art::kToolBarTile));
  const char* tools[] = {art::kBtnOpen, art::kBtnEmail, art::kBtnWebsite, art::kBtnHelp, art::kBtnAbout};
  for (int k = 0; k < 5; ++k) Button(toolBar, tools[k], 24 + 60 * k, 0, 46, 46);
  auto* band = new TSkImgPanel(&window);
  band->setGeometry(0, 46, 900, 8);
  band->SetDrawStyle(TSkDrawStyle::suiTile);
  band->SetPicture(art::Picture(art::kBandTile));
  auto* work = new TSkLinePanel(&window);
  work->setGeometry(0, 54, 900, 485);
  work->SetColor(RGBColor(99, 101, 156));
  auto* param = new TSkLinePanel(work);
  param->setGeometry(900 - 8 - 332, 0, 332, 485 - 8);
  param->SetColor(RGBColor(99, 101, 156));
  param->SetBorderWidth(1);
  param->SetBorderColor1(RGBColor(0, 48, 99));
  Button(param, art::kBtnMakeGIF, 102, 391, 110, 42);
  auto* chain = new TSkImgPanel(param);
  chain->setGeometry(161, 208, 24, 25);
  chain->SetTransparent(true);
  chain->SetPicture(art::Picture(art::kChainGIF));
  auto* playerBar = new TSkLinePanel(work);
  playerBar->setGeometry(8, 485 - 8 - 38, 542, 38);
  playerBar->SetColor(RGBColor(99, 101, 156));
  playerBar->SetBorderWidth(1);
  playerBar->SetBorderColor1(RGBColor(0, 48, 99));
  const char* players[] = {art::kPlayerOpen, art::kPlayerPlay, art::kPlayerStop, art::kPlayerSMStart,
                           art::kPlayerSMStop, art::kPlayerNextFrame};
  const int lefts[] = {177, 207, 237, 272, 302, 337};
  for (int k = 0; k < 6; ++k) Button(playerBar, players[k], lefts[k], 6, 28, 25);
  auto* status = new TSkImgPanel(&window);
  status->setGeometry(0, 539, 900, 22);
  status->SetDrawStyle(TSkDrawStyle::suiTile);
  status->SetPicture(art::Picture(art::kStatusBarTile));
  window.show();
  QCoreApplication::processEvents();
  const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  if (const QByteArray dir = qgetenv("CLIPSMITH_SHOT_DIR"); !dir.isEmpty())
    shot.save(QString::fromLocal8Bit(dir) + "/art-composed.png");

  const QImage tile = art::Picture(art::kToolBarTile).Graphic().convertToFormat(QImage::Format_RGB32);
  for (int x : {23, 24, 69, 70, 83, 84, 500})
    for (int y : {0, 10, 23, 45}) EXPECT_EQ(shot.pixel(x, y), tile.pixel(0, y)) << x << "," << y;
  const QImage statusTile = art::Picture(art::kStatusBarTile).Graphic().convertToFormat(QImage::Format_RGB32);
  for (int x : {0, 450, 899}) EXPECT_EQ(shot.pixel(x, 539 + 11), statusTile.pixel(x % 29, 11)) << x;
  // the chain's surround shows the options panel's colour
  EXPECT_EQ(shot.pixel(560 + 161, 54 + 208), qRgb(99, 101, 156));
}
