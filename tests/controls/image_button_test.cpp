// The picture button: which band (or picture) each state paints, and how mouse and code change
// the state and fire the events.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTest>
#include <string>
#include <vector>

#include "controls/image_button.h"
#include "controls_test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

const std::vector<QColor> kBandColours = {QColor(10, 10, 10), QColor(0, 200, 0), QColor(0, 0, 220), QColor(230, 0, 0)};
constexpr int kW = 28, kH = 25;

void Enter(TSkImgBtn& b) {
  QEnterEvent e(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
  QCoreApplication::sendEvent(&b, &e);
}
void Leave(TSkImgBtn& b) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(&b, &e);
}

// A shown button in a host window, with a strip of four coloured bands.
struct Fixture {
  QWidget host;
  TSkImgBtn* btn;
  int clicks = 0, downs = 0, ups = 0, enters = 0, leaves = 0;
  Fixture(bool withStrip = true) {
    host.resize(200, 100);
    btn = new TSkImgBtn(&host);
    btn->setGeometry(40, 30, kW, kH);
    if (withStrip) btn->SetPic(TPicture(BandStrip(kW, kH, kBandColours)));
    btn->OnClick = [this](TSkImgBtn* s) {
      EXPECT_EQ(s, btn);
      ++clicks;
    };
    btn->OnMouseDown = [this](TSkImgBtn*, Qt::MouseButton, QPoint) { ++downs; };
    btn->OnMouseUp = [this](TSkImgBtn*, Qt::MouseButton, QPoint) { ++ups; };
    btn->OnMouseEnter = [this](TSkImgBtn*) { ++enters; };
    btn->OnMouseLeave = [this](TSkImgBtn*) { ++leaves; };
    host.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
  }
  // The band the button shows, read from its pixels; -1 when it matches none.
  int ShownBand() {
    const QImage img = Shot(*btn);
    const QRgb c = At(img, kW / 2, kH / 2);
    for (std::size_t k = 0; k < kBandColours.size(); ++k)
      if (c == Rgb(kBandColours[k])) {
        // the whole button shows one band
        EXPECT_EQ(At(img, 0, 0), c);
        EXPECT_EQ(At(img, kW - 1, kH - 1), c);
        return int(k);
      }
    return -1;
  }
};

}  // namespace

TEST(ImageButton, CreatedWithItsDefaults) {
  TSkImgBtn b;
  EXPECT_EQ(b.geometry(), QRect(0, 0, 80, 25));
  EXPECT_FALSE(b.Down());
  EXPECT_FALSE(b.HoldDown());
  EXPECT_FALSE(b.Holding());
  EXPECT_FALSE(b.MouseIn());
  EXPECT_FALSE(b.Pic().HasGraphic());
  EXPECT_TRUE(b.focusPolicy() & Qt::TabFocus);
}

TEST(ImageButton, PaintingTableWithAStrip) {
  struct Case {
    const char* what;
    bool enabled, down, mouseIn;
    int band;
  };
  const Case cases[] = {
      {"normal", true, false, false, 1},
      {"hover", true, false, true, 2},
      {"pressed", true, true, false, 3},
      {"pressed wins over hover", true, true, true, 3},
      {"disabled", false, false, false, 0},
      {"disabled wins over pressed", false, true, false, 0},
      {"disabled wins over hover and pressed", false, true, true, 0},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.btn->SetHoldDown(true);  // so Down can be set by code
    if (c.mouseIn) Enter(*f.btn);
    f.btn->SetDown(c.down);
    f.btn->setEnabled(c.enabled);
    EXPECT_EQ(int(f.btn->CurrentBand()), c.band) << c.what;
    EXPECT_EQ(f.ShownBand(), c.band) << c.what;
  }
}

TEST(ImageButton, BandsAreCutAtTheButtonsHeight) {
  // A strip taller than four bands: the band offset is k * button height, from x = 0.
  Fixture f(false);
  QImage strip = BandStrip(kW + 10, kH, {QColor(1, 1, 1), QColor(0, 200, 0), QColor(0, 0, 220), QColor(230, 0, 0),
                                         QColor(255, 255, 0)});
  f.btn->SetPic(TPicture(strip));
  EXPECT_EQ(f.ShownBand(), 1);
  f.btn->resize(kW, kH - 5);
  // rows kH-5 .. 2kH-11 of the strip: band 1 begins at row kH-5, still inside band 0's rows
  const QImage img = Shot(*f.btn);
  EXPECT_EQ(At(img, 0, 0), Rgb(QColor(1, 1, 1)));
  EXPECT_EQ(At(img, 0, 5), Rgb(QColor(0, 200, 0)));
}

TEST(ImageButton, PaintingTableWithoutAStrip) {
  // Each state draws its own picture at (0, 0); the rest of the button keeps the parent colour.
  struct Case {
    const char* what;
    bool enabled, down, mouseIn;
    QColor expected;
  };
  const QColor disable(50, 50, 50), normal(0, 128, 0), over(0, 0, 200), press(200, 0, 0);
  const Case cases[] = {
      {"normal", true, false, false, normal},
      {"hover", true, false, true, over},
      {"pressed", true, true, true, press},
      {"disabled", false, true, true, disable},
  };
  for (const Case& c : cases) {
    Fixture f(false);
    f.btn->SetPicDisable(TPicture(Solid(10, 10, disable)));
    f.btn->SetPicNormal(TPicture(Solid(10, 10, normal)));
    f.btn->SetPicMouseOver(TPicture(Solid(10, 10, over)));
    f.btn->SetPicMouseDown(TPicture(Solid(10, 10, press)));
    f.btn->SetHoldDown(true);
    if (c.mouseIn) Enter(*f.btn);
    f.btn->SetDown(c.down);
    f.btn->setEnabled(c.enabled);
    const QImage img = Shot(*f.btn);
    EXPECT_EQ(At(img, 0, 0), Rgb(c.expected)) << c.what;
    EXPECT_EQ(At(img, 9, 9), Rgb(c.expected)) << c.what;
    EXPECT_EQ(At(img, 15, 15), Rgb(f.btn->palette().color(f.btn->backgroundRole()))) << c.what;
  }
}

namespace {

enum class Act { Enter, Leave, PressL, ReleaseL, ReleaseLOutside, PressR, ReleaseR, Disable, Enable, CodeDown, CodeUp };

struct EventCase {
  const char* what;
  bool holdDown;
  std::vector<Act> acts;
  bool down, holding, mouseIn;
  int clicks, downs, ups, band;
};

void Perform(Fixture& f, Act a) {
  const QPoint inside(5, 5), outside(-60, -25);
  switch (a) {
    case Act::Enter: Enter(*f.btn); break;
    case Act::Leave: Leave(*f.btn); break;
    case Act::PressL: QTest::mousePress(f.btn, Qt::LeftButton, {}, inside); break;
    case Act::ReleaseL: QTest::mouseRelease(f.btn, Qt::LeftButton, {}, inside); break;
    case Act::ReleaseLOutside: QTest::mouseRelease(f.btn, Qt::LeftButton, {}, outside); break;
    case Act::PressR: QTest::mousePress(f.btn, Qt::RightButton, {}, inside); break;
    case Act::ReleaseR: QTest::mouseRelease(f.btn, Qt::RightButton, {}, inside); break;
    case Act::Disable: f.btn->setEnabled(false); break;
    case Act::Enable: f.btn->setEnabled(true); break;
    case Act::CodeDown: f.btn->SetDown(true); break;
    case Act::CodeUp: f.btn->SetDown(false); break;
  }
}

}  // namespace

TEST(ImageButton, EventRules) {
  using enum Act;
  const EventCase cases[] = {
      // what, holdDown, acts, down, holding, mouseIn, clicks, downs, ups, band
      {"enter shows hover", false, {Enter}, false, false, true, 0, 0, 0, 2},
      {"leave returns to normal", false, {Enter, Leave}, false, false, false, 0, 0, 0, 1},
      {"held left button shows pressed", false, {Enter, PressL}, true, false, true, 0, 1, 0, 3},
      {"click fires on release", false, {Enter, PressL, ReleaseL}, false, false, true, 1, 1, 1, 2},
      {"release outside still clicks and springs back", false, {PressL, ReleaseLOutside}, false, false, false, 1, 1, 1,
       1},
      {"right button changes nothing and does not click", false, {Enter, PressR}, false, false, true, 0, 1, 0, 2},
      {"right click: mouse events pass, no click", false, {PressR, ReleaseR}, false, false, false, 0, 1, 1, 1},
      {"Down by code ignored without hold-down", false, {CodeDown}, false, false, false, 0, 0, 0, 1},
      {"hold-down: first click latches", true, {PressL, ReleaseL}, true, true, false, 1, 1, 1, 3},
      {"hold-down: second press unlatches but shows pressed", true, {PressL, ReleaseL, PressL}, true, false, false, 1,
       2, 1, 3},
      {"hold-down: second click releases", true, {PressL, ReleaseL, PressL, ReleaseL}, false, false, false, 2, 2, 2, 1},
      {"hold-down set by code shows pressed", true, {CodeDown}, true, true, false, 0, 0, 0, 3},
      {"hold-down set by code: next click draws it normal", true, {CodeDown, PressL, ReleaseL}, false, false, false, 1,
       1, 1, 1},
      {"hold-down Down false by code", true, {PressL, ReleaseL, CodeUp}, false, false, false, 1, 1, 1, 1},
      {"disabled: enter changes nothing", false, {Disable, Enter}, false, false, false, 0, 0, 0, 0},
      {"disabled: clicks change nothing and fire nothing", false, {Disable, PressL, ReleaseL}, false, false, false, 0,
       0, 0, 0},
      {"disabled while pressed shows band 0", true, {CodeDown, Disable}, true, true, false, 0, 0, 0, 0},
      {"enabled again shows pressed", true, {CodeDown, Disable, Enable}, true, true, false, 0, 0, 0, 3},
      {"leave while disabled keeps hover", false, {Enter, Disable, Leave, Enable}, false, false, true, 0, 0, 0, 2},
  };
  for (const EventCase& c : cases) {
    Fixture f;
    f.btn->SetHoldDown(c.holdDown);
    for (Act a : c.acts) Perform(f, a);
    EXPECT_EQ(f.btn->Down(), c.down) << c.what;
    EXPECT_EQ(f.btn->Holding(), c.holding) << c.what;
    EXPECT_EQ(f.btn->MouseIn(), c.mouseIn) << c.what;
    EXPECT_EQ(f.clicks, c.clicks) << c.what;
    EXPECT_EQ(f.downs, c.downs) << c.what;
    EXPECT_EQ(f.ups, c.ups) << c.what;
    EXPECT_EQ(f.ShownBand(), c.band) << c.what;
  }
}

TEST(ImageButton, EnterAndLeaveNotifyFirstThenHookThenState) {
  Fixture f;
  std::vector<std::string> order;
  f.btn->OnMouseEnter = [&](TSkImgBtn* b) { order.push_back(std::string("enter, in=") + (b->MouseIn() ? "1" : "0")); };
  f.btn->FOnMouseEnter = [&](QEvent& e) {
    EXPECT_EQ(e.type(), QEvent::Enter);
    order.push_back(std::string("hook, in=") + (f.btn->MouseIn() ? "1" : "0"));
  };
  f.btn->OnMouseLeave = [&](TSkImgBtn*) { order.push_back("leave"); };
  f.btn->FOnMouseLeave = [&](QEvent&) { order.push_back(std::string("leave hook, in=") + (f.btn->MouseIn() ? "1" : "0")); };
  Enter(*f.btn);
  Leave(*f.btn);
  EXPECT_EQ(order, (std::vector<std::string>{"enter, in=0", "hook, in=0", "leave", "leave hook, in=1"}));

  // Disabled: the notification still fires, the hook and the state do not move.
  order.clear();
  f.btn->setEnabled(false);
  Enter(*f.btn);
  EXPECT_EQ(order, (std::vector<std::string>{"enter, in=0"}));
  EXPECT_FALSE(f.btn->MouseIn());
}

TEST(ImageButton, DesignModeNeverChangesStateFromTheMouse) {
  Fixture f;
  f.btn->SetDesigning(true);
  Enter(*f.btn);
  QTest::mousePress(f.btn, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(f.btn->MouseIn());
  EXPECT_FALSE(f.btn->Down());
  QTest::mouseRelease(f.btn, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(f.clicks, 0);
  EXPECT_EQ(f.downs, 1);
  EXPECT_EQ(f.ups, 1);
}

TEST(ImageButton, PicturesAreCopiedIn) {
  TSkImgBtn b;
  TPicture mine(Solid(4, 4, Qt::red));
  b.SetPicNormal(mine);
  mine.SetGraphic(Solid(2, 2, Qt::blue));
  EXPECT_EQ(b.PicNormal().Width(), 4);
  EXPECT_EQ(b.PicNormal().Graphic().pixel(0, 0), QColor(Qt::red).rgb());
}

TEST(ImageButton, FocusRepaintsButDrawsNoMark) {
  Fixture f;
  const QImage before = Shot(*f.btn);
  f.btn->setFocus();
  QCoreApplication::processEvents();
  EXPECT_EQ(Shot(*f.btn), before);
  // no key does anything
  QTest::keyClick(f.btn, Qt::Key_Space);
  QTest::keyClick(f.btn, Qt::Key_Return);
  EXPECT_EQ(f.clicks, 0);
  EXPECT_FALSE(f.btn->Down());
}
