// The player side of the window: opening, the reset, the range marks and their texts, the
// position text, and playback that loops at the end of the stream.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "form_harness.h"

using namespace clipsmith;
using namespace clipsmith::apptest;

namespace {

constexpr REFERENCE_TIME kUnit = 10 * 10000;  // one seek-bar unit (10 ms) in 100-ns units

std::vector<std::string> OptionTexts(const TFormMain& f) {
  std::vector<std::string> t;
  for (QLineEdit* e : {f.EditStartFrame, f.EditEndFrame, f.EditStep, f.EditLeft, f.EditTop, f.EditCropW, f.EditCropH,
                       f.EditGIFW, f.EditGIFH, f.EditLooping, f.EditDelay})
    t.push_back(e->text().toStdString());
  return t;
}

// Moves the graph to a position and lets the seek bar take it, as its timer does.
void GoTo(TFormHarness& h, int position) {
  h.Form.SeekToPosition(position);
  h.Form.TrackBar->SeekBarTimer();
  ASSERT_EQ(h.Form.TrackBar->Position(), position);
}

}  // namespace

// Opening reads the frame size into the fields and the status bar; opening again first returns
// every option to its default and clears the marks. A file that is not a video is told in the
// window's caption's box, after the reset.
TEST(Player, OpenReadsTheSizeAndEveryOpenResets) {
  TFormHarness h;
  h.Form.OpenVideoFile(ClipPath(kLosslessClip));
  EXPECT_TRUE(h.Errors.empty());
  EXPECT_EQ(h.Form.FilterGraph1.State(), TGraphState::gsPlaying);
  EXPECT_EQ(h.Form.BtnPlayerPause->y(), 6);
  EXPECT_LT(h.Form.BtnPlayerPlay->y(), -100);
  EXPECT_EQ(h.Form.LabelSBCenter->text().toStdString(), "Frame: 64 x 48");
  EXPECT_EQ(OptionTexts(h.Form),
            (std::vector<std::string>{"0", "0", "2", "0", "0", "64", "48", "64", "48", "0", "100"}));
  EXPECT_EQ(h.Form.Settings().AVIFileName, kLosslessClip);

  for (QLineEdit* e : {h.Form.EditStep, h.Form.EditLeft, h.Form.EditTop, h.Form.EditLooping, h.Form.EditDelay})
    e->setText("7");
  h.Check(h.Form.CheckBoxCrop, true);
  h.Check(h.Form.CheckboxResize, true);
  EXPECT_TRUE(h.Form.EditCropW->isEnabled());
  h.Marks(20, 40);

  h.Form.OpenVideoFile(ClipPath(kNotAVideo));
  EXPECT_EQ(h.Errors,
            (std::vector<TMessage>{{"Cannot play back the file. The format is not supported.", "Clipsmith 4.0"}}));
  EXPECT_EQ(OptionTexts(h.Form),
            (std::vector<std::string>{"0", "0", "2", "0", "0", "1", "1", "1", "1", "0", "100"}));
  EXPECT_FALSE(h.Form.CheckBoxCrop->isChecked());
  EXPECT_FALSE(h.Form.CheckboxResize->isChecked());
  EXPECT_FALSE(h.Form.EditCropW->isEnabled());
  EXPECT_FALSE(h.Form.EditGIFW->isEnabled());
  EXPECT_EQ(h.Form.TrackBar->SelStart(), 0);
  EXPECT_EQ(h.Form.TrackBar->SelEnd(), 0);
  EXPECT_EQ(h.Form.Settings().AVIFileName, kNotAVideo);
  // The size of the last good file stays.
  EXPECT_EQ(h.Form.SourceVideoWidth, 64u);
  EXPECT_NE(h.Form.FilterGraph1.State(), TGraphState::gsPlaying);
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.Warnings.size(), 1u);
}

// The mark buttons take the seek bar's position; the start mark seeks there only when it lies
// before the end mark, the end mark jumps back to the start when it lies after it. Make GIF
// refuses a range whose end is not after its start.
TEST(Player, MarksAndTheirTexts) {
  TFormHarness h;
  h.Load(kLosslessClip);

  GoTo(h, 40);
  std::size_t seeks = h.Spy->Seeks.size();
  h.Form.BtnPlayerSMStartClick();  // no end mark yet: no seek
  EXPECT_EQ(h.Form.TrackBar->SelStart(), 40);
  EXPECT_EQ(h.Form.EditStartFrame->text().toStdString(), "00:00.400");
  EXPECT_EQ(h.Spy->Seeks.size(), seeks);

  GoTo(h, 160);
  seeks = h.Spy->Seeks.size();
  h.Form.BtnPlayerSMStopClick();  // after the start: back to the start mark
  EXPECT_EQ(h.Form.TrackBar->SelEnd(), 160);
  EXPECT_EQ(h.Form.EditEndFrame->text().toStdString(), "00:01.600");
  ASSERT_EQ(h.Spy->Seeks.size(), seeks + 1);
  EXPECT_EQ(h.Spy->Seeks.back(), 40 * kUnit);
  EXPECT_EQ(h.Spy->Position(), 40 * kUnit);

  GoTo(h, 100);
  seeks = h.Spy->Seeks.size();
  h.Form.BtnPlayerSMStartClick();  // before the end mark: seek to the new start
  EXPECT_EQ(h.Form.TrackBar->SelStart(), 100);
  ASSERT_EQ(h.Spy->Seeks.size(), seeks + 1);
  EXPECT_EQ(h.Spy->Seeks.back(), 100 * kUnit);

  GoTo(h, 180);
  seeks = h.Spy->Seeks.size();
  h.Form.BtnPlayerSMStartClick();  // after the end mark: taken, no seek, and refused by Make GIF
  EXPECT_EQ(h.Form.TrackBar->SelStart(), 180);
  EXPECT_EQ(h.Form.EditStartFrame->text().toStdString(), "00:01.800");
  EXPECT_EQ(h.Spy->Seeks.size(), seeks);
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.RangeErrors, 1);

  GoTo(h, 0);
  h.Form.BtnPlayerSMStartClick();
  h.Form.BtnPlayerSMStopClick();  // end mark at 0
  EXPECT_EQ(h.Form.TrackBar->SelEnd(), 0);
  EXPECT_EQ(h.Form.EditEndFrame->text().toStdString(), "00:00.000");
  h.Form.BtnMakeGIFClick();
  EXPECT_EQ(h.RangeErrors, 2);
  EXPECT_TRUE(h.SaveDialogs.empty());

  // A 75-second position is 7500 units; the mark text has no hours, the position text has.
  h.Form.TrackBar->SetMax(20000);
  h.Form.TrackBar->SetPosition(7500);
  h.Form.BtnPlayerSMStartClick();
  EXPECT_EQ(h.Form.EditStartFrame->text().toStdString(), "01:15.000");
  h.Form.TrackBarTimer(75250, 190000);
  EXPECT_EQ(h.Form.LabelSBLeft->text().toStdString(), "00:01:15.250 / 00:03:10.000");
  h.Form.TrackBar->SetMax(2000000);
  h.Form.TrackBar->SetPosition(360000 + 6100);  // one hour, one minute, one second
  h.Form.BtnPlayerSMStopClick();
  EXPECT_EQ(h.Form.EditEndFrame->text().toStdString(), "01:01:01.000");
}

// Playing into the end of the stream starts again from the start mark, or from the beginning
// when no range is marked; the graph keeps playing. Paused, or during a job, the end of the
// stream does nothing.
TEST(Player, PlaybackLoopsAtTheEndOfTheStream) {
  TFormHarness h;
  struct Seen {
    TGraphState State;
    REFERENCE_TIME Position;
    std::size_t Seeks;
  };
  std::vector<Seen> completes;
  h.Form.FilterGraph1.OnGraphComplete = [&](TFilterGraph*, HRESULT, IBaseFilter*) {
    h.Form.FilterGraph1GraphComplete();
    completes.push_back({h.Form.FilterGraph1.State(), h.Spy->Position(), h.Spy->Seeks.size()});
  };
  h.Form.OpenVideoFile(ClipPath(kShortClip));  // 0.4 s
  ASSERT_EQ(h.Form.FilterGraph1.State(), TGraphState::gsPlaying);
  h.Marks(10, 30);
  ASSERT_TRUE(PumpUntil([&] { return completes.size() >= 1; }, 5000));
  EXPECT_EQ(completes[0].State, TGraphState::gsPlaying);
  EXPECT_EQ(h.Spy->Seeks.at(completes[0].Seeks - 1), 10 * kUnit);
  EXPECT_EQ(h.Form.BtnPlayerPause->y(), 6);
  ASSERT_FALSE(h.Form.Job.IsConverting);

  h.Marks(0, 0);
  ASSERT_TRUE(PumpUntil([&] { return completes.size() >= 2; }, 5000));
  EXPECT_EQ(completes[1].State, TGraphState::gsPlaying);
  EXPECT_EQ(h.Spy->Seeks.at(completes[1].Seeks - 1), 0);

  // Direct end-of-stream notices: during a job, then paused.
  const std::size_t seeks = h.Spy->Seeks.size();
  h.Form.Job.IsConverting = true;
  h.Form.FilterGraph1GraphComplete();
  h.Form.Job.IsConverting = false;
  h.Form.BtnPlayerPauseClick();
  h.Form.FilterGraph1GraphComplete();
  EXPECT_EQ(h.Spy->Seeks.size(), seeks);
  EXPECT_EQ(h.Form.BtnPlayerPlay->y(), 6);
}

// The next-frame button outside a job steps one frame, shows the play button, and the step's
// event changes nothing else.
TEST(Player, NextFrameOutsideAJob) {
  TFormHarness h;
  h.Form.OpenVideoFile(ClipPath(kLosslessClip));
  h.Form.BtnPlayerPauseClick();
  h.Form.SeekToPosition(40);
  h.Form.BtnPlayerNextFrameClick();
  ASSERT_TRUE(PumpUntil([&] { return h.Form.TrackBar->Position() == 44; }));
  EXPECT_EQ(h.Form.BtnPlayerPlay->y(), 6);
  EXPECT_EQ(h.Spy->Steps, 1);
  PumpFor(50);
  EXPECT_EQ(h.Spy->Steps, 1);
  EXPECT_TRUE(h.Captures.empty());
  EXPECT_TRUE(h.Errors.empty() && h.Reported.empty());
}
