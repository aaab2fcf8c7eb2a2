// The line panel: up to three nested one-pixel lines in three colours, the rest in the panel
// colour.
#include <gtest/gtest.h>

#include <QTest>

#include "controls/line_panel.h"
#include "controls/picture.h"
#include "controls_test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

TEST(LinePanel, CreatedWithItsDefaults) {
  TSkLinePanel p;
  EXPECT_EQ(p.BorderWidth(), 0);
  EXPECT_EQ(p.BorderColor1(), clBlack);
  EXPECT_EQ(p.BorderColor2(), clBlack);
  EXPECT_EQ(p.BorderColor3(), clBlack);
}

TEST(LinePanel, BordersByWidth) {
  const TColor face = RGBColor(99, 101, 156), c1 = RGBColor(0, 48, 99), c2 = RGBColor(200, 10, 10),
               c3 = RGBColor(10, 200, 10);
  struct Case {
    int borderWidth;
    // colours of the rings 0..4 from the outside in
    TColor ring[5];
  };
  const Case cases[] = {
      {0, {face, face, face, face, face}},
      {1, {c1, face, face, face, face}},
      {2, {c1, c2, face, face, face}},
      {3, {c1, c2, c3, face, face}},
      {4, {c1, c2, c3, face, face}},
      {8, {c1, c2, c3, face, face}},
  };
  for (const Case& c : cases) {
    TSkLinePanel p;
    p.resize(40, 30);
    p.SetColor(face);
    p.SetBorderColor1(c1);
    p.SetBorderColor2(c2);
    p.SetBorderColor3(c3);
    p.SetBorderWidth(c.borderWidth);
    const QImage shot = Shot(p);
    for (int k = 0; k < 5; ++k) {
      const QRgb want = Rgb(ToQColor(c.ring[k]));
      // every side of ring k, its corners included
      for (QPoint at : {QPoint(k, k), QPoint(39 - k, k), QPoint(k, 29 - k), QPoint(39 - k, 29 - k), QPoint(20, k),
                        QPoint(20, 29 - k), QPoint(k, 15), QPoint(39 - k, 15)})
        EXPECT_EQ(At(shot, at.x(), at.y()), want) << "width " << c.borderWidth << " ring " << k << " at " << at.x()
                                                  << "," << at.y();
    }
    EXPECT_EQ(At(shot, 20, 15), Rgb(ToQColor(face))) << "width " << c.borderWidth;
  }
}

TEST(LinePanel, IndexedSetter) {
  TSkLinePanel p;
  p.SetBorderColor(0, 1);
  p.SetBorderColor(1, 2);
  p.SetBorderColor(2, 3);
  p.SetBorderColor(3, 4);
  p.SetBorderColor(-1, 5);
  EXPECT_EQ(p.BorderColor1(), 1u);
  EXPECT_EQ(p.BorderColor2(), 2u);
  EXPECT_EQ(p.BorderColor3(), 3u);
}

TEST(LinePanel, SecondColourWithOneLineRepaintsButChangesNothingVisible) {
  QWidget host;
  host.resize(100, 100);
  auto* p = new TSkLinePanel(&host);
  p->setGeometry(10, 10, 50, 40);
  p->SetColor(RGBColor(99, 101, 156));
  p->SetBorderWidth(1);
  p->SetBorderColor1(RGBColor(0, 48, 99));
  PaintCounter counter;
  p->installEventFilter(&counter);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  QCoreApplication::processEvents();
  const QImage before = Shot(*p);
  counter.paints = 0;
  p->SetBorderColor2(RGBColor(255, 255, 0));
  QCoreApplication::processEvents();
  EXPECT_GE(counter.paints, 1);
  EXPECT_EQ(Shot(*p), before);
}

TEST(LinePanel, TinyPanelsDoNotBreak) {
  for (QSize s : {QSize(1, 1), QSize(2, 2), QSize(3, 1), QSize(5, 5)}) {
    TSkLinePanel p;
    p.resize(s);
    p.SetBorderWidth(3);
    p.SetBorderColor1(RGBColor(255, 0, 0));
    const QImage shot = Shot(p);
    EXPECT_EQ(At(shot, 0, 0), 0xFF0000u);
  }
}
