// Files that are not playable video, and names that are no regular file: RenderFile raises with FFmpeg's reason, nothing crashes,
// and the same graph renders the next good file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness.h"

namespace clipsmith {
namespace {

using testing::THarness;

struct TBadFile {
  const char* Name;  // clip name, or a path that does not exist
  const char* Reason;
};

void PrintTo(const TBadFile& f, std::ostream* os) { *os << f.Name; }

class BadInput : public ::testing::TestWithParam<TBadFile> {};

TEST_P(BadInput, RenderRaisesWithTheReasonAndTheGraphStaysUsable) {
  THarness h;
  const std::string name = GetParam().Name;
  std::string path;
  if (name == "missing") {
    path = testclips::ScratchDir() + "/no such file.mp4";
  } else if (name == "fifo") {
    // Nobody ever writes to it: opening it for reading would block for good.
    path = testclips::ScratchDir() + "/fifo.mp4";
    ::unlink(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  } else if (name == "device") {
    path = "/dev/zero";
  } else if (name == "folder") {
    path = testclips::ScratchDir();
  } else {
    path = testclips::ClipPath(name);
  }
  try {
    h.Graph.RenderFile(path);
    FAIL() << "rendered " << path;
  } catch (const EDirectShowException& e) {
    EXPECT_LT(e.ErrorCode, 0);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " ($%X).", unsigned(e.ErrorCode));
    EXPECT_EQ(std::string(e.what()), std::string(GetParam().Reason) + suffix);
  }
  EXPECT_EQ(h.Graph.State(), TGraphState::gsStopped);
  TBitmap b;
  EXPECT_FALSE(h.Grabber.GetBitmap(b));
  EXPECT_LT(h.Graph.QueryInterface<IVideoFrameStep>()->CanStep(0, nullptr), 0);
  // The next file plays through the same graph.
  ASSERT_EQ(h.Render("odd_ffv1.mkv"), S_OK);
  ASSERT_TRUE(h.Grabber.GetBitmap(b));
  EXPECT_EQ(b.Width(), 67);
  ASSERT_TRUE(h.StepAndWait());
  EXPECT_EQ(h.GrabbedFrame("odd_ffv1.mkv"), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput,
                         ::testing::Values(TBadFile{"missing", "No such file or directory"},
                                           TBadFile{"empty.mp4", "Invalid data found when processing input"},
                                           TBadFile{"text.mp4", "Invalid data found when processing input"},
                                           TBadFile{"truncated.mp4", "Invalid data found when processing input"},
                                           TBadFile{"audio_only.wav", "Stream not found"},
                                           TBadFile{"unknown_codec.avi", "Decoder not found"},
                                           // Decodes, but no picture of it can be shown or grabbed.
                                           TBadFile{"bgr4_rawvideo.nut", "Function not implemented"},
                                           TBadFile{"fifo", "Invalid argument"},
                                           TBadFile{"device", "Invalid argument"},
                                           TBadFile{"folder", "Is a directory"}),
                         [](const auto& info) {
                           std::string n = info.param.Name;
                           return n.substr(0, n.find('.'));
                         });

TEST(BadInput, AFileThatEndsEarlyPlaysToItsLastGoodFrameThenReportsTheEnd) {
  THarness h;
  ASSERT_EQ(h.Render("ends_early.mkv"), S_OK);
  int steps = 0;
  do {
    ASSERT_TRUE(h.StepAndWait());
    ++steps;
  } while (h.Position() < h.Duration() && steps < 100);
  ASSERT_TRUE(testing::PumpUntil([&] { return h.Completes == 1; }));
  // Some frames were there, fewer than the whole clip had.
  EXPECT_GT(steps, 5);
  EXPECT_LT(steps, 50);
  EXPECT_EQ(h.Position(), h.Duration());
  TBitmap b;
  EXPECT_TRUE(h.Grabber.GetBitmap(b));
  // The duration is that of the frames that decoded.
  EXPECT_EQ(h.Duration(), REFERENCE_TIME(steps) * 400000);
  // And it plays to the end as well.
  h.Seek(0);
  ASSERT_TRUE(h.Graph.Play());
  ASSERT_TRUE(testing::PumpUntil([&] { return h.Completes == 2; }));
}

}  // namespace
}  // namespace clipsmith
