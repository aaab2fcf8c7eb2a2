// The conversion job on the bare window, over the real media graph and a lossless clip: which
// frames a job takes, what it makes of them, and how it ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QProgressBar>
#include <cstdlib>
#include <filesystem>

#include "form_harness.h"
#include "gifbuild/html_preview.h"
#include "scoped_env.h"

using namespace clipsmith;
using namespace clipsmith::apptest;
namespace fs = std::filesystem;

namespace {

// The clip's frames by index, as ffmpeg decodes them.
std::vector<TBitmap> Frames(const std::vector<int>& indices) {
  std::vector<TBitmap> out;
  for (int i : indices) out.push_back(ReferenceFrames(kLosslessClip).at(std::size_t(i)));
  return out;
}

std::vector<int> Times4(const std::vector<int>& frames) {
  // 25 fps: frame k starts at k * 40 ms, seek-bar position k * 4.
  std::vector<int> p;
  for (int f : frames) p.push_back(f * 4);
  return p;
}

// The written file, read by giflib, shows exactly what the builder makes of these frames.
void ExpectGifOf(const std::string& path, const std::vector<TBitmap>& frames, int loops = 0, std::uint32_t delay = 100) {
  const clipsmith::testing::DecodedGif got = clipsmith::testing::DecodeWithGiflib(ReadBytes(path));
  ASSERT_TRUE(got.Ok) << path << ": " << got.Error;
  const clipsmith::testing::DecodedGif want = clipsmith::testing::DecodeWithGiflib(BuilderGif(frames, loops, delay));
  ASSERT_TRUE(want.Ok) << want.Error;
  ASSERT_EQ(got.Frames.size(), frames.size());
  EXPECT_EQ(got.ScreenWidth, frames.at(0).Width());
  EXPECT_EQ(got.ScreenHeight, frames.at(0).Height());
  for (const auto& f : got.Frames) {
    EXPECT_EQ(f.Width, frames[0].Width());
    EXPECT_EQ(f.Height, frames[0].Height());
  }
  EXPECT_TRUE(FrameColors(got) == FrameColors(want)) << path << ": the pixels differ from the reduced source frames";
}

}  // namespace

// The clip the job tests read: 50 frames, every one different and carrying its number.
TEST(CaptureSchedule, TheTestClipNumbersItsFrames) {
  const auto& frames = ReferenceFrames(kLosslessClip);
  ASSERT_EQ(frames.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(FrameNumberOf(frames[std::size_t(i)]), i);
    EXPECT_EQ(FindReferenceFrame(kLosslessClip, frames[std::size_t(i)]), i);
  }
}

// Marks 30 .. 100 (300 ms .. 1 s): the seek shows frame 7 (280 ms), so the job's events show
// frames 8 .. 25, and the event of frame 25 (1 s, at the end mark) ends the job.
TEST(CaptureSchedule, EveryNthFrameAfterTheStartMark) {
  struct Case {
    const char* Step;
    std::vector<int> Frames;
  };
  for (const Case& c : {Case{"0", Every(8, 24)}, Case{"1", Every(8, 24)}, Case{"2", Every(9, 23, 2)},
                        Case{"3", Every(10, 22, 3)}}) {
    SCOPED_TRACE(std::string("Frame Step ") + c.Step);
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(30, 100);
    h.SetText(h.Form.EditStep, c.Step);
    ASSERT_TRUE(h.MakeGif());

    EXPECT_EQ(h.CapturedFrames(), c.Frames);
    EXPECT_EQ(h.CapturedPositions(), Times4(c.Frames));
    EXPECT_EQ(h.StepPositions, Times4(Every(8, 25)));
    EXPECT_TRUE(h.Errors.empty() && h.Warnings.empty() && h.Reported.empty());
    EXPECT_EQ(h.Ended, std::vector<bool>{true});
    EXPECT_EQ(h.Cursor, (std::vector<bool>{true, false}));
    EXPECT_EQ(h.PreviewAsks, 1);
    EXPECT_FALSE(h.Form.ProgressBar1->isVisible());
    EXPECT_EQ(h.Form.Job.FramesCaptured(), int(c.Frames.size()));
    ExpectGifOf(h.Out / "out.gif", Frames(c.Frames));
    const clipsmith::testing::DecodedGif gif = h.WrittenGif(h.Out / "out.gif");
    EXPECT_EQ(LoopCountOf(gif), 0);
    EXPECT_EQ(DelaysOf(gif), std::vector<int>(c.Frames.size(), 10));
  }
}

// The end test compares the seek-bar position of each event with the end mark: an event at the
// mark ends the job without capturing, one just before it still captures. A range to the end of
// the stream ends at the step that finds the position at the duration (200).
TEST(CaptureSchedule, EndMarkAndEndOfStream) {
  struct Case {
    int Start, End;
    std::vector<int> Frames;
    int LastPosition;
  };
  for (const Case& c : {Case{30, 96, Every(8, 23), 96}, Case{30, 97, Every(8, 24), 100},
                        Case{160, 200, Every(41, 49), 200}, Case{0, 10, Every(1, 2), 12}}) {
    SCOPED_TRACE("marks " + std::to_string(c.Start) + " .. " + std::to_string(c.End));
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(c.Start, c.End);
    h.SetText(h.Form.EditStep, "1");
    ASSERT_TRUE(h.MakeGif());
    EXPECT_EQ(h.CapturedFrames(), c.Frames);
    ASSERT_FALSE(h.StepPositions.empty());
    EXPECT_EQ(h.StepPositions.back(), c.LastPosition);
    EXPECT_EQ(h.Ended, std::vector<bool>{true});
    EXPECT_FALSE(h.Form.Job.IsConverting);
    ExpectGifOf(h.Out / "out.gif", Frames(c.Frames));
  }
}

// Marks 99 .. 100: the seek shows frame 24 (960 ms) and the first step lands on frame 25 at the
// end mark, so nothing is captured and writing the empty image fails with the codec's error.
// The same happens when every grab fails.
TEST(CaptureSchedule, NothingCapturedIsTheCodecsEmptyGifError) {
  for (bool grabsFail : {false, true}) {
    SCOPED_TRACE(grabsFail ? "every grab fails" : "first step at the end mark");
    TFormHarness h;
    if (grabsFail) h.Form.VideoWindow1->SetFilterGraph(nullptr);  // no fallback either
    h.Load(kLosslessClip);
    if (grabsFail) {
      h.Marks(30, 100);
      auto grabber = h.Form.SampleGrabber1.SampleGrabber();
      h.Spy->BeforeStep = [grabber](int) { grabber->SetBufferSamples(false); };
    } else {
      h.Marks(99, 100);
    }
    ASSERT_TRUE(h.MakeGif());
    EXPECT_TRUE(h.Captures.empty());
    EXPECT_EQ(h.Reported, std::vector<std::string>{"Cannot save empty GIF"});
    EXPECT_EQ(h.PreviewAsks, 0);
    EXPECT_FALSE(h.Form.Job.IsConverting);
    EXPECT_FALSE(h.Form.ProgressBar1->isVisible());
    EXPECT_TRUE(h.Errors.empty());
    EXPECT_EQ(h.Out.Entries(), std::vector<std::string>{});
  }
}

// A grab that fails leaves the step counter as it was, so the very next event captures and the
// rest of the schedule moves by one. Frame Step 2 over frames 8 .. 24 takes 9, 11, 13, ...; with
// the grab of the fourth event (frame 11) failing it takes 9, 12, 14, 16, ...
TEST(CaptureSchedule, AFailedGrabShiftsTheRest) {
  TFormHarness h;
  h.Form.VideoWindow1->SetFilterGraph(nullptr);  // the grabber is the only source of frames
  h.Load(kLosslessClip);
  h.Marks(30, 100);
  // The grabber keeps no frame while the fourth step's frame passes, and keeps them again from
  // the fifth step on.
  auto grabber = h.Form.SampleGrabber1.SampleGrabber();
  h.Spy->BeforeStep = [grabber](int step) {
    if (step == 4) grabber->SetBufferSamples(false);
    if (step == 5) grabber->SetBufferSamples(true);
  };
  ASSERT_TRUE(h.MakeGif());
  const std::vector<int> expected = {9, 12, 14, 16, 18, 20, 22, 24};
  EXPECT_EQ(h.CapturedFrames(), expected);
  EXPECT_TRUE(h.Reported.empty() && h.Errors.empty());
  ExpectGifOf(h.Out / "out.gif", Frames(expected));
}

// Without the frame grabber in the graph the job takes the frames from the video window's
// renderer, with the same result.
TEST(CaptureSchedule, GrabFallsBackToTheVideoWindow) {
  TFormHarness h;
  h.Form.SampleGrabber1.SetFilterGraph(nullptr);
  h.Load(kLosslessClip);
  EXPECT_EQ(h.Form.SourceVideoWidth, 64u);
  EXPECT_EQ(h.Form.SourceVideoHeight, 48u);
  EXPECT_TRUE(h.Errors.empty());
  h.Marks(30, 100);
  ASSERT_TRUE(h.MakeGif());
  EXPECT_EQ(h.CapturedFrames(), Every(9, 23, 2));
  ExpectGifOf(h.Out / "out.gif", Frames(Every(9, 23, 2)));
}

// Empty or non-numeric Frame Step, Loop and Delay fields: step 2, a GIF that plays once (no
// looping extension) and 100 ms per frame.
TEST(JobOptions, EmptyFieldsTakeTheirDefaults) {
  for (const char* text : {"", "x"}) {
    SCOPED_TRACE(std::string("fields \"") + text + "\"");
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(30, 100);
    h.SetText(h.Form.EditStep, text);
    h.SetText(h.Form.EditLooping, text);
    h.SetText(h.Form.EditDelay, text);
    ASSERT_TRUE(h.MakeGif());
    EXPECT_EQ(h.CapturedFrames(), Every(9, 23, 2));
    ASSERT_NE(h.Form.Job.Current(), nullptr);
    EXPECT_EQ(h.Form.Job.Current()->Loops, 1);
    EXPECT_EQ(h.Form.Job.Current()->Delay, 100u);
    const clipsmith::testing::DecodedGif gif = h.WrittenGif(h.Out / "out.gif");
    EXPECT_EQ(LoopCountOf(gif), -1);
    EXPECT_EQ(DelaysOf(gif), std::vector<int>(8, 10));
    ExpectGifOf(h.Out / "out.gif", Frames(Every(9, 23, 2)), 1, 100);
  }
}

// A crop or size field that is read as a number and does not hold one: the conversion error
// goes to the general error reporting and no job starts, but the file name is already taken.
TEST(JobOptions, ANonNumericCropOrSizeFieldStopsTheStart) {
  struct Case {
    bool Crop, Resize;
    QLineEdit* TFormMain::*Field;
    const char* Text;
  };
  for (const Case& c : {Case{true, false, &TFormMain::EditLeft, ""}, Case{true, false, &TFormMain::EditCropH, "4x"},
                        Case{false, true, &TFormMain::EditGIFW, ""}, Case{true, true, &TFormMain::EditGIFH, "-"}}) {
    SCOPED_TRACE(std::string("field text \"") + c.Text + "\"");
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(30, 100);
    h.Check(h.Form.CheckBoxCrop, c.Crop);
    h.Check(h.Form.CheckboxResize, c.Resize);
    h.SetText(h.Form.*c.Field, c.Text);
    h.Form.BtnMakeGIFClick();
    PumpFor(50);
    EXPECT_EQ(h.Reported, std::vector<std::string>{"'" + std::string(c.Text) + "' is not a valid integer value"});
    EXPECT_FALSE(h.Form.Job.IsConverting);
    EXPECT_FALSE(h.Form.ProgressBar1->isVisible());
    EXPECT_EQ(h.Spy->Steps, 0);
    EXPECT_TRUE(h.Cursor.empty());
    EXPECT_EQ(h.Form.Settings().GIFFileName, h.Out / "out.gif");
    EXPECT_EQ(h.Form.Settings().SaveGIFPath, h.Out.Path().string());
    EXPECT_EQ(h.Out.Entries(), std::vector<std::string>{});
  }
}

// Crop and resize: neither copies the whole frame at the source size, crop alone copies the
// rectangle at its own size, resize alone scales the whole frame, both scale the rectangle.
// A rectangle reaching outside the frame reads black there.
TEST(JobOptions, CropAndResizeCombinations) {
  struct Case {
    bool Crop;
    int X, Y, W, H;
    bool Resize;
    int GifW, GifH;
    int SrcX, SrcY, SrcW, SrcH, DstW, DstH;  // what the job records
  };
  const Case cases[] = {
      {false, 8, 4, 40, 30, false, 20, 10, 0, 0, 64, 48, 64, 48},
      {true, 8, 4, 40, 30, false, 20, 10, 8, 4, 40, 30, 40, 30},
      {false, 8, 4, 40, 30, true, 32, 24, 0, 0, 64, 48, 32, 24},
      {false, 8, 4, 40, 30, true, 100, 75, 0, 0, 64, 48, 100, 75},
      {true, 8, 4, 40, 30, true, 20, 45, 8, 4, 40, 30, 20, 45},
      {true, 48, 32, 32, 32, false, 1, 1, 48, 32, 32, 32, 32, 32},
      {true, 60, 40, 8, 12, true, 16, 24, 60, 40, 8, 12, 16, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("crop " + std::to_string(c.Crop) + " (" + std::to_string(c.X) + "," + std::to_string(c.Y) + "," +
                 std::to_string(c.W) + "," + std::to_string(c.H) + ") resize " + std::to_string(c.Resize) + " " +
                 std::to_string(c.GifW) + "x" + std::to_string(c.GifH));
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(30, 50);  // frames 9 and 11
    h.Check(h.Form.CheckBoxCrop, c.Crop);
    h.SetText(h.Form.EditLeft, std::to_string(c.X));
    h.SetText(h.Form.EditTop, std::to_string(c.Y));
    h.SetText(h.Form.EditCropW, std::to_string(c.W));
    h.SetText(h.Form.EditCropH, std::to_string(c.H));
    h.Check(h.Form.CheckboxResize, c.Resize);
    h.SetText(h.Form.EditGIFW, std::to_string(c.GifW));
    h.SetText(h.Form.EditGIFH, std::to_string(c.GifH));
    ASSERT_TRUE(h.MakeGif());
    const TSettings& s = h.Form.Settings();
    EXPECT_EQ((std::vector<int>{s.XSrc, s.YSrc, s.SrcW, s.SrcH, s.DstW, s.DstH}),
              (std::vector<int>{c.SrcX, c.SrcY, c.SrcW, c.SrcH, c.DstW, c.DstH}));
    EXPECT_EQ(h.CapturedFrames(), (std::vector<int>{9, 11}));
    std::vector<TBitmap> expected;
    for (const TBitmap& f : Frames({9, 11}))
      expected.push_back(CropAndScaleByHand(f, c.SrcX, c.SrcY, c.SrcW, c.SrcH, c.DstW, c.DstH));
    ExpectGifOf(h.Out / "out.gif", expected);
  }
}

// The save dialog starts in the last GIF folder with the video's name; the chosen name gets
// ".gif" unless its extension already is that, in any case. Every job makes its own builder.
TEST(JobOptions, OutputNameRule) {
  TFormHarness h;
  h.Load(kLosslessClip);
  struct Case {
    const char* Typed;
    const char* Written;
  };
  const Case cases[] = {{"clip", "clip.gif"}, {"CLIP.GIF", "CLIP.GIF"}, {"clip.gi", "clip.gi.gif"},
                        {"movie.Gif", "movie.Gif"}, {"a.gif.txt", "a.gif.txt.gif"}};
  std::vector<TSkGIF*> builders;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Typed);
    h.Marks(0, 10);
    h.Captures.clear();
    h.SaveAnswer = h.Out / c.Typed;
    ASSERT_TRUE(h.MakeGif());
    EXPECT_EQ(h.Form.Settings().GIFFileName, h.Out / c.Written);
    EXPECT_TRUE(fs::exists(h.Out / c.Written));
    EXPECT_EQ(h.CapturedFrames(), std::vector<int>{2});
    builders.push_back(h.Form.Job.Current());
  }
  const std::vector<std::string> files = {"CLIP.GIF", "a.gif.txt.gif", "clip.gi.gif", "clip.gif", "movie.Gif"};
  EXPECT_EQ(h.Out.Entries(), files);
  ASSERT_EQ(h.SaveDialogs.size(), std::size(cases));
  EXPECT_EQ(h.SaveDialogs[0], (std::pair<std::string, std::string>{"", "lossless.gif"}));
  EXPECT_EQ(h.SaveDialogs[1], (std::pair<std::string, std::string>{h.Out.Path().string(), "lossless.gif"}));
  std::sort(builders.begin(), builders.end());
  EXPECT_EQ(std::unique(builders.begin(), builders.end()), builders.end()) << "a builder was reused";
  EXPECT_EQ(WithGifExtension("dir.gif/clip"), "dir.gif/clip.gif");
}

// The save dialog cancelled: nothing starts.
TEST(JobStart, RefusalsBeforeTheJob) {
  TFormHarness h;
  h.Form.BtnMakeGIFClick();  // no video
  EXPECT_EQ(h.Warnings, (std::vector<TMessage>{{"Please click \"OPEN\" button to open a video file at first!", "Warning"}}));
  h.Load(kLosslessClip);
  h.Marks(50, 50);  // end not after start
  h.Form.BtnMakeGIFClick();
  h.Marks(60, 0);
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.RangeErrors, 2);
  h.Marks(30, 100);
  h.SaveAnswer.reset();  // cancelled
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.SaveDialogs.size(), 1u);
  EXPECT_FALSE(h.Form.Job.IsConverting);
  EXPECT_EQ(h.Spy->Steps, 0);
  EXPECT_TRUE(h.Form.Settings().GIFFileName.empty());
  EXPECT_EQ(h.Warnings.size(), 1u);
  EXPECT_TRUE(h.Errors.empty() && h.Reported.empty() && h.Cursor.empty());
}

// A second press of Make GIF while a job runs does nothing: no dialog, no second chain of steps.
TEST(JobStart, MakeGifIsRefusedWhileAJobRuns) {
  TFormHarness h;
  h.Load(kLosslessClip);
  h.Marks(30, 100);
  h.Spy->DeferSteps = true;
  int pressed = 0;
  h.OnCaptured = [&](int frames) {
    if (frames == 2) h.Later([&] {
        ASSERT_TRUE(h.Form.Job.IsConverting);
        h.Form.BtnMakeGIFClick();
        ++pressed;
      });
  };
  h.Form.BtnMakeGIFClick();
  ASSERT_TRUE(h.Form.Job.IsConverting);
  h.Form.BtnMakeGIFClick();
  ASSERT_TRUE(PumpUntil([&] { return !h.Form.Job.IsConverting; }));
  EXPECT_EQ(pressed, 1);
  EXPECT_EQ(h.SaveDialogs.size(), 1u);
  EXPECT_EQ(h.CapturedFrames(), Every(9, 23, 2));
  EXPECT_EQ(h.Spy->Steps, int(h.StepPositions.size()));
  EXPECT_EQ(h.Ended, std::vector<bool>{true});
  ExpectGifOf(h.Out / "out.gif", Frames(Every(9, 23, 2)));
}

// Stop during a job: the job ends without writing its GIF, the cursor and progress bar return
// to normal, the window holds no video any more.
// Runs a job over the lossless clip, every frame from 0 to 2 s, and does `interrupt` once three
// frames are captured; returns when the job no longer converts and the events have settled.
static void RunJobInterruptedAtTheThirdFrame(TFormHarness& h, std::function<void()> interrupt) {
  h.Load(kLosslessClip);
  h.Marks(0, 200);
  h.SetText(h.Form.EditStep, "1");
  h.Spy->DeferSteps = true;
  h.OnCaptured = [&h, interrupt](int frames) {
    if (frames == 3) h.Later(interrupt);
  };
  h.Form.BtnMakeGIFClick();
  ASSERT_TRUE(PumpUntil([&] { return !h.Form.Job.IsConverting; }));
  PumpFor(200);
}

TEST(JobEnd, StopDuringAJobWritesNoGif) {
  TFormHarness h;
  ASSERT_NO_FATAL_FAILURE(RunJobInterruptedAtTheThirdFrame(h, [&] { h.Form.BtnPlayerStopClick(); }));
  EXPECT_FALSE(h.Form.Job.IsConverting);
  EXPECT_EQ(h.Form.Job.StepCounter, 1);
  EXPECT_EQ(h.Ended, std::vector<bool>{false});
  ASSERT_FALSE(h.Cursor.empty());
  EXPECT_FALSE(h.Cursor.back());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(h.Form.ProgressBar1->isVisible());
  EXPECT_EQ(h.Form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(h.Form.ProgressBar1->maximum(), 0);
  EXPECT_EQ(h.Captures.size(), 3u);
  EXPECT_EQ(h.Out.Entries(), std::vector<std::string>{});
  EXPECT_EQ(h.PreviewAsks, 0);
  EXPECT_TRUE(h.Errors.empty() && h.Reported.empty());
  EXPECT_EQ(h.Form.TrackBar->SelEnd(), 0);
  h.Marks(0, 100);
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.Warnings, (std::vector<TMessage>{{"Please click \"OPEN\" button to open a video file at first!", "Warning"}}));
}

// A step request that fails stops the chain with "Step Error": the job stays converting with
// its busy cursor until the player reset, which restores the cursor.
TEST(JobEnd, StepErrorLeavesTheJobUntilTheReset) {
  TFormHarness h;
  h.Load(kLosslessClip);
  h.Marks(30, 100);
  h.Spy->FailCanStepFrom = 4;  // the start's step and those of events 1 and 2 go through
  h.Form.BtnMakeGIFClick();
  ASSERT_TRUE(PumpUntil([&] { return !h.Errors.empty(); }));
  PumpFor(100);
  EXPECT_EQ(h.Errors, (std::vector<TMessage>{{"Step Error", "Error"}}));
  EXPECT_EQ(h.StepPositions.size(), 3u);
  EXPECT_TRUE(h.Form.Job.IsConverting);
  EXPECT_FALSE(h.Form.ProgressBar1->isHidden());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  h.Form.BtnPlayerStopClick();
  EXPECT_FALSE(h.Form.Job.IsConverting);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(h.Cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(h.Ended, std::vector<bool>{false});
  EXPECT_EQ(h.Out.Entries(), std::vector<std::string>{});
}

// The graph gives up on a step (EC_ERRORABORT, here the code of a picture the scaler cannot
// take): no step completes after it, so the job ends at once with the reason and writes nothing.
TEST(JobEnd, AGraphErrorEndsTheJobWithItsReason) {
  TFormHarness h;
  ASSERT_NO_FATAL_FAILURE(RunJobInterruptedAtTheThirdFrame(
      h, [&] { h.Form.FilterGraph1.OnGraphErrorAbort(&h.Form.FilterGraph1, HRESULT(-38)); }));
  EXPECT_EQ(h.Errors, (std::vector<TMessage>{{"The video could not be read on: Function not implemented ($FFFFFFDA).", "Error"}}));
  EXPECT_EQ(h.Ended, std::vector<bool>{false});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(h.Form.ProgressBar1->isVisible());
  EXPECT_EQ(h.Captures.size(), 3u);
  EXPECT_EQ(h.Out.Entries(), std::vector<std::string>{});
}

// OK in the completion box writes the preview page and opens it.
TEST(JobEnd, CompletionBoxOpensThePreview) {
  TScratchDir temp("app-tmp");
  clipsmith::testing::ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  TFormHarness h;
  h.PreviewAnswer = true;
  h.Load(kLosslessClip);
  h.Marks(0, 10);
  ASSERT_TRUE(h.MakeGif());
  ASSERT_EQ(h.Opened.size(), 1u);
  EXPECT_EQ(fs::path(h.Opened[0]).filename(), kPreviewFileName);
  EXPECT_TRUE(fs::exists(h.Opened[0]));
}

// The name chosen in the save dialog is the video being read (a GIF plays as a video too): the
// job refuses it with a message naming it, and the file stays as it was.
TEST(JobStart, AnOutputThatIsTheInputIsRefused) {
  namespace fs = std::filesystem;
  TFormHarness h;
  const fs::path input = fs::path(h.Out / "clip.gif");
  fs::copy_file(ClipPath(kLosslessClip), input);
  fs::create_symlink(input, fs::path(h.Out / "link.gif"));
  const auto before = fs::file_size(input);
  ASSERT_TRUE(h.Form.LoadVideoFile(input.string()));
  h.Form.BtnPlayerPauseClick();
  h.Marks(30, 100);
  const std::string answers[] = {input.string(), (h.Out / "clip"), (h.Out / "link.gif")};
  for (const std::string& answer : answers) {
    SCOPED_TRACE(answer);
    h.Errors.clear();
    h.SaveAnswer = answer;
    h.Form.BtnMakeGIFClick();
    ASSERT_EQ(h.Errors.size(), 1u);
    EXPECT_EQ(h.Errors[0].Text, "The output file \"" + WithGifExtension(answer) + "\" is the input file itself.");
    EXPECT_FALSE(h.Form.Job.IsConverting);
    EXPECT_EQ(h.Spy->Steps, 0);
    EXPECT_EQ(fs::file_size(input), before);
    EXPECT_TRUE(fs::is_symlink(fs::path(h.Out / "link.gif")));
  }
}
