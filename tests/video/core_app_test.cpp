// The graph and the frame grabber without any widget: a command-line program runs them under a
// QCoreApplication.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "test_clips.h"
#include "video/filter_graph.h"
#include "video/sample_grabber.h"

namespace clipsmith {
namespace {

TEST(CoreApplication, StepsAndGrabsEveryFrameWithoutAWindow) {
  ASSERT_EQ(QCoreApplication::instance()->inherits("QGuiApplication"), false);
  TFilterGraph graph;
  TSampleGrabber grabber;
  grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
  grabber.SetFilterGraph(&graph);
  graph.SetActive(true);
  ASSERT_EQ(graph.RenderFile(testclips::ClipPath("odd_ffv1.mkv")), S_OK);
  auto step = graph.QueryInterface<IVideoFrameStep>();
  auto seeking = graph.QueryInterface<IMediaSeeking>();
  std::vector<int> frames;
  bool done = false;
  graph.OnGraphStepComplete = [&](TFilterGraph*) {
    REFERENCE_TIME position = 0, duration = 0;
    seeking->GetCurrentPosition(&position);
    seeking->GetDuration(&duration);
    if (position >= duration) {
      done = true;
      return;
    }
    TBitmap b;
    ASSERT_TRUE(grabber.GetBitmap(b));
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < b.Height(); ++y) pixels.insert(pixels.end(), b.ScanLine(y), b.ScanLine(y) + b.Width() * 4);
    frames.push_back(testclips::FindReferenceFrame("odd_ffv1.mkv", pixels));
    step->Step(1, nullptr);
  };
  step->Step(1, nullptr);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(20000);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done) QCoreApplication::exit(0);
  });
  poll.start(5);
  ASSERT_EQ(QCoreApplication::exec(), 0);
  std::vector<int> expected;
  for (int k = 1; k < 25; ++k) expected.push_back(k);
  EXPECT_EQ(frames, expected);
}

}  // namespace
}  // namespace clipsmith

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
