// The seek bar on a real graph: range and thumb from the timer, the selection, the mouse-release
// seek, the clock-changed rewind and the refresh on every finished step.
#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>

#include "harness.h"
#include "video/exception_report.h"
#include "video/seek_bar.h"

namespace clipsmith {
namespace {

using testing::PumpFor;
using testing::PumpUntil;
using testing::THarness;

struct SeekBarTest : ::testing::Test {
  SeekBarTest() {
    Bar.SetTimerInterval(10);
    Bar.SetPageSize(100);
    Bar.resize(400, 30);
    Bar.SetOnTimer([this](TDSTrackBar*, std::uint32_t cur, std::uint32_t stop) {
      ++Ticks;
      Label = TimeToText(cur, true) + " / " + TimeToText(stop, true);
    });
    // Bound before activation: the seek bar takes the seeking interface on the next one.
    H.Graph.SetActive(false);
    Bar.SetFilterGraph(&H.Graph);
    H.Graph.SetActive(true);
  }
  void Release(Qt::MouseButton button = Qt::LeftButton) {
    QPointF at(5, 5);
    QMouseEvent release(QEvent::MouseButtonRelease, at, Bar.mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Bar, &release);
  }
  void Press() {
    QPointF at(Bar.width() / 2.0, 15);
    QMouseEvent press(QEvent::MouseButtonPress, at, Bar.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Bar, &press);
  }
  THarness H;
  TDSTrackBar Bar;
  int Ticks = 0;
  std::string Label;
};

TEST_F(SeekBarTest, AFiveMinuteFileCountsUnitsOfTenMilliseconds) {
  ASSERT_EQ(H.Render("long_5min.mkv"), S_OK);
  H.Seek(834560000);
  H.Settle();
  Bar.SeekBarTimer();
  EXPECT_EQ(Bar.Min(), 0);
  EXPECT_EQ(Bar.Max(), 30000);
  EXPECT_EQ(Bar.Position(), 8345);
  EXPECT_EQ(Label, "00:01:23.456 / 00:05:00.000");
  // The window seeks to a mark of 8345 units: 83.45 s.
  H.Seek(UnitsToRefTime(8345, Bar.TimerInterval()));
  H.Settle();
  EXPECT_EQ(H.Graph.Position(), 83450u);
}

TEST_F(SeekBarTest, TheTimerRunsFromPlayThroughPauseUntilClearGraph) {
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  EXPECT_FALSE(Bar.TimerRunning());
  ASSERT_TRUE(H.Graph.Play());
  EXPECT_TRUE(Bar.TimerRunning());
  ASSERT_TRUE(PumpUntil([&] { return Ticks > 3; }));
  H.Graph.Pause();
  H.Settle();
  int ticks = Ticks;
  PumpFor(100);
  EXPECT_GT(Ticks, ticks) << "still ticking while paused";
  EXPECT_EQ(Bar.Position(), int(H.Graph.Position() / 10));
  EXPECT_EQ(Bar.Max(), 200);
  H.Graph.ClearGraph();
  EXPECT_FALSE(Bar.TimerRunning());
  ticks = Ticks;
  PumpFor(60);
  EXPECT_EQ(Ticks, ticks);
  // Interval 0 starts no timer.
  H.Graph.Play();
  EXPECT_TRUE(Bar.TimerRunning());
  Bar.SetTimerInterval(0);
  ticks = Ticks;
  PumpFor(60);
  EXPECT_EQ(Ticks, ticks);
}

TEST_F(SeekBarTest, AFinishedStepRefreshesThePositionBeforeTheWindowsHandlerRuns) {
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  Bar.SeekBarTimer();
  Ticks = 0;
  std::vector<int> seen;
  H.Graph.OnGraphStepComplete = [&](TFilterGraph*) {
    seen.push_back(Bar.Position());
    ++H.StepCompletes;
  };
  // No timer runs (nothing was played): only the step notices move the thumb.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(H.StepAndWait());
  EXPECT_EQ(seen, (std::vector<int>{4, 8, 12, 16, 20}));
  EXPECT_EQ(Ticks, 5);
}

TEST_F(SeekBarTest, WhileTheButtonIsHeldTicksLeaveTheThumbAndReleaseSeeks) {
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  Bar.SeekBarTimer();
  ASSERT_EQ(Bar.Max(), 200);
  Press();
  EXPECT_TRUE(Bar.MouseDown());
  Bar.SetPosition(150);
  int ticks = Ticks;
  Bar.SeekBarTimer();
  EXPECT_EQ(Bar.Position(), 150);
  EXPECT_EQ(Ticks, ticks);
  Bar.SetPosition(50);  // where the thumb ends up when the button comes up
  Release();
  EXPECT_FALSE(Bar.MouseDown());
  EXPECT_EQ(H.Position(), REFERENCE_TIME(20000000) * 50 / 200);
  H.Settle();
  EXPECT_EQ(H.GrabbedFrame("cfr_h264.mp4"), 12);
  // Another button's release does not seek, but ends the drag all the same.
  Press();
  Bar.SetPosition(100);
  Release(Qt::RightButton);
  EXPECT_FALSE(Bar.MouseDown());
  EXPECT_EQ(H.Position(), REFERENCE_TIME(5000000));
  // Keyboard changes do not seek either.
  Bar.setFocus();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QCoreApplication::sendEvent(&Bar, &key);
  EXPECT_EQ(H.Position(), REFERENCE_TIME(5000000));
}

TEST_F(SeekBarTest, AFileShorterThanOneUnitHasMaxZeroAndReleaseDoesNothing) {
  ASSERT_EQ(H.Render("short_5ms.mkv"), S_OK);
  Bar.SeekBarTimer();
  EXPECT_EQ(Bar.Max(), 0);
  EXPECT_EQ(Bar.Position(), 0);
  EXPECT_EQ(Label, "00:00:00.000 / 00:00:00.005");
  H.Seek(30000);
  Press();
  Release();
  EXPECT_EQ(H.Position(), 30000) << "no seek without a range";
}

TEST_F(SeekBarTest, ClockChangedRewindsToTheStart) {
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  H.Seek(12000000);
  H.Settle();
  H.Graph.HandleGraphEvent(EC_CLOCK_CHANGED, 0, 0);
  EXPECT_EQ(H.Position(), 0);
  H.Settle();
  EXPECT_EQ(H.GrabbedFrame("cfr_h264.mp4"), 0);
}

TEST_F(SeekBarTest, BoundToAnActiveGraphTheBarIdlesUntilTheNextActivation) {
  TDSTrackBar late;
  late.SetFilterGraph(&H.Graph);
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  late.SeekBarTimer();
  EXPECT_EQ(late.Max(), 10) << "untouched";
  H.Graph.SetActive(false);
  H.Graph.SetActive(true);
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  late.SetTimerInterval(10);
  late.SeekBarTimer();
  EXPECT_EQ(late.Max(), 200);
}

TEST_F(SeekBarTest, TheSelectionIsStoredAndDrawn) {
  Bar.SetMax(1000);
  Bar.SetSelStart(200);
  Bar.SetSelEnd(700);
  EXPECT_EQ(Bar.SelStart(), 200);
  EXPECT_EQ(Bar.SelEnd(), 700);
  Bar.SetPosition(900);
  QImage shot = Bar.grab().toImage();
  QColor highlight = Bar.palette().color(QPalette::Highlight);
  auto countHighlight = [&](int x0, int x1) {
    int n = 0;
    for (int x = x0; x < x1; ++x)
      for (int y = 0; y < shot.height(); ++y)
        if (shot.pixelColor(x, y) == highlight) ++n;
    return n;
  };
  int w = shot.width();
  EXPECT_GT(countHighlight(w * 30 / 100, w * 60 / 100), 0) << "inside the selection";
  EXPECT_EQ(countHighlight(0, w * 15 / 100), 0) << "before it";
}

}  // namespace
}  // namespace clipsmith

namespace clipsmith {
namespace {

TEST_F(SeekBarTest, AnExceptionInOnTimerIsReportedPerTickAndTheTimerGoesOn) {
  int reports = 0;
  auto old = SetExceptionReporter([&](std::exception_ptr) { ++reports; });
  Bar.SetOnTimer([](TDSTrackBar*, std::uint32_t, std::uint32_t) { throw std::runtime_error("label failed"); });
  ASSERT_EQ(H.Render("cfr_h264.mp4"), S_OK);
  ASSERT_TRUE(H.Graph.Play());
  EXPECT_TRUE(PumpUntil([&] { return reports >= 3; }));
  EXPECT_TRUE(Bar.TimerRunning());
  H.Graph.Stop();
  SetExceptionReporter(old);
}

}  // namespace
}  // namespace clipsmith
