// The image panel: tiling, stretch and plain drawing, auto-size, caption placement and fallback,
// transparency over the parent's painting, and the repaints that changes cause.
#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>
#include <vector>

#include "controls/image_panel.h"
#include "controls_test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

// A tile whose every pixel tells its own position, so a shot shows where each tile began.
QImage PositionTile(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 8, y * 5, 77));
  return img;
}

// A parent whose own painting is a diagonal pattern, under the panels.
class PatternParent : public QWidget {
 public:
  using QWidget::QWidget;
  static QRgb PatternAt(int x, int y) { return qRgb((x * 3) & 255, (y * 7) & 255, 99) & 0xFFFFFFu; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    for (int y = 0; y < height(); ++y)
      for (int x = 0; x < width(); ++x) {
        p.setPen(QColor(PatternAt(x, y)));
        p.drawPoint(x, y);
      }
  }
};

// Counts paint events.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace

TEST(ImagePanel, CreatedWithItsDefaults) {
  TSkImgPanel p;
  EXPECT_FALSE(p.Transparent());
  EXPECT_FALSE(p.AutoSize());
  EXPECT_EQ(p.DrawStyle(), TSkDrawStyle::suiNormal);
  EXPECT_EQ(p.Alignment(), TAlignment::taCenter);
  EXPECT_EQ(p.CaptionPosX(), -1);
  EXPECT_EQ(p.CaptionPosY(), -1);
  EXPECT_FALSE(p.Picture().HasGraphic());
  EXPECT_TRUE(p.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(ImagePanel, TilePositionsOfA29PixelTileOver900Pixels) {
  std::vector<QPoint> expected;
  for (int x = 0; x <= 928; x += 29)
    for (int y : {0, 46}) expected.emplace_back(x, y);
  const auto got = TSkCustomPanel::TilePositions(29, 46, 900, 46);
  EXPECT_EQ(got, expected);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), QPoint(928, 46));
  EXPECT_EQ(got.size(), 33u * 2u);
}

TEST(ImagePanel, TilePositionsTable) {
  struct Case {
    const char* what;
    int pw, ph, cw, ch;
    std::size_t count;
    QPoint last;
  };
  const Case cases[] = {
      {"zero-width picture is not tiled", 0, 10, 100, 100, 0, {}},
      {"zero-height picture is not tiled", 10, 0, 100, 100, 0, {}},
      {"picture larger than the panel: the loop still takes a second column and row", 50, 50, 20, 20, 2 * 2, {50, 50}},
      {"exact fit still draws one past the edge", 10, 10, 20, 10, 3 * 2, {20, 10}},
      {"empty panel draws the first tile", 8, 8, 0, 0, 1, {0, 0}},
      {"band tile over the window width", 29, 8, 900, 8, 33 * 2, {928, 8}},
  };
  for (const Case& c : cases) {
    const auto got = TSkCustomPanel::TilePositions(c.pw, c.ph, c.cw, c.ch);
    EXPECT_EQ(got.size(), c.count) << c.what;
    if (!got.empty()) {
      EXPECT_EQ(got.back(), c.last) << c.what;
      EXPECT_EQ(got.front(), QPoint(0, 0)) << c.what;
    }
  }
}

TEST(ImagePanel, TiledPanelShowsTilesAnchoredTopLeft) {
  TSkImgPanel p;
  p.resize(900, 46);
  p.SetDrawStyle(TSkDrawStyle::suiTile);
  const QImage tile = PositionTile(29, 20);
  p.SetPicture(TPicture(tile));
  const QImage shot = Shot(p);
  for (int x : {0, 1, 28, 29, 30, 57, 58, 870, 898, 899})
    for (int y : {0, 19, 20, 39, 40, 45})
      ASSERT_EQ(At(shot, x, y), tile.pixel(x % 29, y % 20) & 0xFFFFFFu) << x << "," << y;
}

TEST(ImagePanel, NormalAndStretchDrawing) {
  const QImage pic = PositionTile(10, 10);
  {
    TSkImgPanel p;
    p.resize(30, 20);
    p.SetColor(RGBColor(1, 2, 3));
    p.SetPicture(TPicture(pic));
    const QImage shot = Shot(p);
    EXPECT_EQ(At(shot, 9, 9), pic.pixel(9, 9) & 0xFFFFFFu);
    // outside the picture the off-screen image starts empty; the plain style draws no fill
    EXPECT_NE(At(shot, 20, 15), pic.pixel(0, 5) & 0xFFFFFFu);
  }
  {
    TSkImgPanel p;
    p.resize(30, 20);
    p.SetDrawStyle(TSkDrawStyle::suiStretch);
    p.SetPicture(TPicture(Solid(3, 3, QColor(5, 150, 250))));
    const QImage shot = Shot(p);
    EXPECT_EQ(At(shot, 0, 0), Rgb(QColor(5, 150, 250)));
    EXPECT_EQ(At(shot, 29, 19), Rgb(QColor(5, 150, 250)));
  }
  {
    TSkImgPanel p;
    p.resize(30, 20);
    p.SetColor(RGBColor(12, 34, 56));
    const QImage shot = Shot(p);
    EXPECT_EQ(At(shot, 0, 0), qRgb(12, 34, 56) & 0xFFFFFFu) << "no picture: the panel colour";
    EXPECT_EQ(At(shot, 29, 19), qRgb(12, 34, 56) & 0xFFFFFFu);
  }
}

TEST(ImagePanel, AutoSizeByAlignment) {
  struct Case {
    const char* what;
    TAlign align;
    QSize expected;
  };
  const Case cases[] = {
      {"no alignment: the picture's size", TAlign::alNone, {29, 46}},
      {"top: as high as the picture, width kept", TAlign::alTop, {900, 46}},
      {"bottom: as high as the picture", TAlign::alBottom, {900, 46}},
      {"left: as wide as the picture, height kept", TAlign::alLeft, {29, 300}},
      {"right: as wide as the picture", TAlign::alRight, {29, 300}},
      {"client: nothing changes", TAlign::alClient, {900, 300}},
  };
  for (const Case& c : cases) {
    for (bool pictureFirst : {false, true}) {
      TSkImgPanel p;
      p.resize(900, 300);
      p.SetAlign(c.align);
      if (pictureFirst) {
        p.SetPicture(TPicture(Solid(29, 46, Qt::blue)));
        EXPECT_EQ(p.size(), QSize(900, 300)) << c.what << ": no auto-size yet";
        p.SetAutoSize(true);
      } else {
        p.SetAutoSize(true);
        p.SetPicture(TPicture(Solid(29, 46, Qt::blue)));
      }
      EXPECT_EQ(p.size(), c.expected) << c.what << (pictureFirst ? " (picture first)" : " (auto-size first)");
    }
  }
  // Without a graphic, switching auto-size on changes nothing.
  TSkImgPanel p;
  p.resize(50, 60);
  p.SetAutoSize(true);
  EXPECT_EQ(p.size(), QSize(50, 60));
}

TEST(ImagePanel, CaptionPlacementAndFallback) {
  struct Case {
    const char* what;
    QString caption;
    int posX, posY;
    bool drawn;
    bool automatic;
  };
  const Case cases[] = {
      {"blanks only draw nothing", "    ", -1, -1, false, false},
      {"empty draws nothing", "", 5, 5, false, false},
      {"automatic placement", "Hello", -1, -1, true, true},
      {"x of -1 falls back to automatic", "Hello", -1, 4, true, true},
      {"y of -1 falls back to automatic", "Hello", 7, -1, true, true},
      {"fixed position", "Hello", 7, 4, true, false},
  };
  for (const Case& c : cases) {
    TSkImgPanel plain, p;
    for (TSkImgPanel* q : {&plain, &p}) {
      q->resize(120, 30);
      q->SetColor(RGBColor(255, 255, 255));
      q->SetCaptionPos(c.posX, c.posY);
    }
    p.SetCaption(c.caption);
    const QImage without = Shot(plain), with = Shot(p);
    EXPECT_EQ(with != without, c.drawn) << c.what;
    if (!c.drawn) {
      EXPECT_TRUE(p.LastDrawCaptionRect().isNull()) << c.what;
      continue;
    }
    if (c.automatic) {
      EXPECT_EQ(p.LastDrawCaptionRect(), p.rect()) << c.what;
    } else {
      EXPECT_EQ(p.LastDrawCaptionRect().topLeft(), QPoint(c.posX, c.posY)) << c.what;
      EXPECT_GT(p.LastDrawCaptionRect().width(), 0) << c.what;
      // nothing is written above or left of the given corner
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < c.posX; ++x) ASSERT_EQ(At(with, x, y), 0xFFFFFFu) << c.what;
    }
  }
}

TEST(ImagePanel, AutomaticCaptionFollowsAlignment) {
  // The ink of a left-aligned caption starts further left than a centred one's, which starts
  // further left than a right-aligned one's.
  auto firstInkColumn = [](TAlignment a) {
    TSkImgPanel p;
    p.resize(200, 30);
    p.SetColor(RGBColor(255, 255, 255));
    p.SetAlignment(a);
    p.SetCaption("Clip");
    const QImage shot = Shot(p);
    for (int x = 0; x < shot.width(); ++x)
      for (int y = 0; y < shot.height(); ++y)
        if (At(shot, x, y) != 0xFFFFFFu) return x;
    return -1;
  };
  const int left = firstInkColumn(TAlignment::taLeftJustify), centre = firstInkColumn(TAlignment::taCenter),
            right = firstInkColumn(TAlignment::taRightJustify);
  EXPECT_GE(left, 0);
  EXPECT_LT(left, centre);
  EXPECT_LT(centre, right);
}

TEST(ImagePanel, TransparentPanelShowsItsParentsPainting) {
  PatternParent parent;
  parent.resize(200, 120);
  auto* p = new TSkImgPanel(&parent);
  p->setGeometry(30, 40, 100, 50);
  p->SetColor(RGBColor(255, 0, 0));
  p->SetTransparent(true);
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  // the panel on its own, painted through its off-screen image
  const QImage own = Shot(*p);
  for (int y : {0, 10, 49})
    for (int x : {0, 50, 99}) EXPECT_EQ(At(own, x, y), PatternParent::PatternAt(x + 30, y + 40)) << x << "," << y;

  // with a caption, the parent's painting is still under the text
  p->SetCaption("Caption");
  const QImage captioned = Shot(*p);
  EXPECT_EQ(At(captioned, 0, 0), PatternParent::PatternAt(30, 40));
  EXPECT_NE(captioned, own);

  // opaque again: the panel colour
  p->SetTransparent(false);
  p->SetCaption("");
  EXPECT_EQ(At(Shot(*p), 5, 5), 0xFF0000u);
}

TEST(ImagePanel, TransparencyReachesTheGraphic) {
  TSkImgPanel p;
  p.SetPicture(TPicture(Solid(4, 4, Qt::red)));
  EXPECT_FALSE(p.Picture().GraphicTransparent()) << "synchronised with the panel's flag when set";
  p.SetTransparent(true);
  EXPECT_TRUE(p.Picture().GraphicTransparent());
  p.SetTransparent(false);
  EXPECT_FALSE(p.Picture().GraphicTransparent());
}

TEST(ImagePanel, ChangesRepaint) {
  PatternParent host;
  host.resize(300, 200);
  auto* p = new TSkImgPanel(&host);
  p->setGeometry(0, 0, 100, 40);
  PaintCounter counter;
  p->installEventFilter(&counter);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  Settle();
  struct Step {
    const char* what;
    std::function<void()> change;
  };
  const Step steps[] = {
      {"picture", [&] { p->SetPicture(TPicture(Solid(8, 8, Qt::green))); }},
      {"draw style", [&] { p->SetDrawStyle(TSkDrawStyle::suiTile); }},
      {"transparency", [&] { p->SetTransparent(true); }},
      {"caption", [&] { p->SetCaption("x"); }},
      {"size", [&] { p->resize(120, 40); }},
      {"the picture object itself", [&] { p->Picture().SetGraphic(Solid(9, 9, Qt::blue)); }},
  };
  for (const Step& s : steps) {
    counter.paints = 0;
    s.change();
    Settle();
    EXPECT_GE(counter.paints, 1) << s.what;
  }
}

TEST(ImagePanel, ResizeRaisesOnResize) {
  TSkImgPanel p;
  int resizes = 0;
  p.OnResize = [&](QWidget* s) {
    EXPECT_EQ(s, &p);
    ++resizes;
  };
  p.resize(10, 10);
  p.show();
  p.resize(40, 12);
  Settle();
  EXPECT_GE(resizes, 1);
}

TEST(ImagePanel, NoteCaptionAreaGetsTheLastDrawnRectangle) {
  struct Noting : TSkImgPanel {
    std::vector<QRect> noted;
    void NoteCaptionArea(const QRect& r) override { noted.push_back(r); }
  };
  Noting p;
  p.resize(80, 20);
  p.SetCaption("one");
  (void)Shot(p);
  p.SetCaption("two");
  ASSERT_EQ(p.noted.size(), 2u);
  EXPECT_TRUE(p.noted[0].isNull());
  EXPECT_EQ(p.noted[1], p.rect());
}
