#include "app/conversion_job.h"

#include <cstdio>
#include <filesystem>

#include "graphics/bmp_image.h"
#include "graphics/stage_times.h"
#include "graphics/stream.h"
#include "settings/settings.h"
#include "video/filter_graph.h"
#include "video/frame_image_source.h"
#include "video/sample_grabber.h"
#include "video/seek_bar_model.h"
#include "video/time_text.h"

namespace clipsmith {

void TConversionJob::BtnMakeGIFClick() {
  // A second press while a job runs would start another chain on the same graph.
  if (IsConverting) return;
  TSettings& settings = Host.Settings();
  settings.ClearGIFTempParameter();

  const TGraphState state = Parts.Graph->State();
  if (state == TGraphState::gsUninitialized || state == TGraphState::gsStopped) {
    Host.ShowWarningBox("Please click \"OPEN\" button to open a video file at first!", "Warning");
    return;
  }
  TSeekBarModel& bar = *Parts.SeekBar;
  if (bar.SelEnd() == 0 || bar.SelEnd() <= bar.SelStart()) {
    Host.ShowRangeError();
    return;
  }

  std::string initialName;
  if (!settings.AVIFileName.empty())
    initialName = std::filesystem::path(settings.AVIFileName).replace_extension(".gif").string();
  std::optional<std::string> chosen = Host.AskSaveFileName(settings.SaveGIFPath, initialName);
  if (!chosen) return;
  settings.SaveGIFPath = std::filesystem::path(*chosen).parent_path().string();
  settings.GIFFileName = WithGifExtension(*chosen);
  // A GIF is a video too: writing over the file being read would destroy it.
  const std::string input = (std::filesystem::path(settings.OpenAVIPath) / settings.AVIFileName).string();
  if (!settings.AVIFileName.empty() && IsSameFile(settings.GIFFileName, input)) {
    Host.ShowErrorBox("The output file \"" + settings.GIFFileName + "\" is the input file itself.", "Error");
    return;
  }

  // Crop and size are frozen here; a field that holds no integer stops the start.
  const bool crop = Values.Crop();
  if (crop) {
    settings.XSrc = Values.CropLeft();
    settings.YSrc = Values.CropTop();
    settings.SrcW = Values.CropWidth();
    settings.SrcH = Values.CropHeight();
  } else {
    settings.XSrc = 0;
    settings.YSrc = 0;
    settings.SrcW = int(Values.SourceWidth());
    settings.SrcH = int(Values.SourceHeight());
  }
  if (Values.Resize()) {
    settings.DstW = Values.ResizeWidth();
    settings.DstH = Values.ResizeHeight();
  } else if (crop) {
    settings.DstW = Values.CropWidth();
    settings.DstH = Values.CropHeight();
  } else {
    settings.DstW = int(Values.SourceWidth());
    settings.DstH = int(Values.SourceHeight());
  }

  IsConverting = true;
  Host.ShowProgress(bar.SelStart(), bar.SelEnd());

  FBuilders.push_back(std::make_unique<TSkGIF>());
  TSkGIF& gif = *FBuilders.back();
  gif.Loops = Values.Loops();
  gif.Transparent = false;
  gif.TransColor = 0;
  gif.Delay = std::uint32_t(Values.Delay());
  gif.GIFFileName = settings.GIFFileName;
  gif.GIFWidth = settings.DstW;
  gif.GIFHeight = settings.DstH;
  // The reduction of captured frames runs on the other cores while the graph steps on.
  gif.ReduceAhead = true;
  Host.ConfigureBuilder(gif);
  FFrames = 0;

  Host.SetBusy(true);
  StepCounter = 1;
  // Paused as the pause button pauses it.
  if (Parts.Graph->Active()) {
    Parts.Graph->Pause();
    Host.ShowPlayButton();
  }
  SeekToPosition(bar.SelStart());
  BtnPlayerNextFrameClick();
}

void TConversionJob::FilterGraph1GraphStepComplete() {
  if (!IsConverting) return;
  TSeekBarModel& bar = *Parts.SeekBar;
  if (bar.Position() >= bar.SelEnd() || AtEndOfStream()) {
    Finish();
    return;
  }
  const int n = Values.FrameStep();
  if (n > StepCounter) {
    ++StepCounter;
  } else {
    TBitmap grab;
    TBitmap out;
    if (GrabCurrentFrame(grab)) {
      CropAndScale(grab, out);
      Current()->AddFrame(std::move(out));
      ++FFrames;
      StepCounter = 1;
      Host.FrameCaptured(FFrames);
    }
  }
  Host.SetProgress(bar.Position());
  BtnPlayerNextFrameClick();
}

void TConversionJob::FilterGraph1GraphErrorAbort(HRESULT hr) {
  // No step completes after a failed one: a running conversion would wait for ever. It ends
  // without writing a GIF that lacks the frames the graph could not give.
  if (IsConverting) {
    Host.HideProgress();
    Reset();
  }
  char code[32];
  std::snprintf(code, sizeof code, " ($%X).", unsigned(hr));
  Host.ShowErrorBox("The video could not be read on: " + DSErrorText(hr) + code, "Error");
}

bool TConversionJob::AtEndOfStream() const {
  // A damaged file ends before the duration its header announced, and so before an end mark
  // set from that duration: the graph then shortens its duration to where the data ended and
  // stands there. Stepping on would capture that last frame again and again.
  auto seeking = Parts.Graph->QueryInterface<IMediaSeeking>();
  REFERENCE_TIME position = 0, duration = 0;
  if (!seeking || FAILED(seeking->GetCurrentPosition(&position)) || FAILED(seeking->GetDuration(&duration))) return false;
  return duration > 0 && position >= duration;
}

void TConversionJob::CropAndScale(const TBitmap& grab, TBitmap& out) const {
  TStageTimer timer(TStage::CropAndScale);
  const TSettings& s = Host.Settings();
  // Straight into the 24 bits per pixel the reduction reads: no 32-bit frame made and converted.
  out = TBitmap(s.DstW, s.DstH, TPixelFormat::pf24bit);
  // Pixels of the source rectangle outside the grabbed frame come out black.
  StretchCopy(out, 0, 0, out.Width(), out.Height(), grab, s.XSrc, s.YSrc, s.SrcW, s.SrcH);
}

void TConversionJob::BtnPlayerNextFrameClick() {
  auto step = Parts.Graph->QueryInterface<IVideoFrameStep>();
  if (!step) {
    Host.ShowErrorBox("Query IVideoFrameStep Interface Failed", "Error");
    return;
  }
  if (FAILED(step->CanStep(0, nullptr))) {
    Host.ShowErrorBox("Step Error", "Error");
    return;
  }
  step->Step(1, nullptr);
  Host.ShowPlayButton();
}

void TConversionJob::SeekToPosition(int position) {
  REFERENCE_TIME current = UnitsToRefTime(position, Parts.SeekBar->TimerInterval());
  REFERENCE_TIME stop = 0;
  if (auto seeking = Parts.Graph->QueryInterface<IMediaSeeking>())
    seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
}

bool TConversionJob::GrabCurrentFrame(TBitmap& bitmap) {
  TStageTimer timer(TStage::PixelConversion);
  if (Parts.Grabber && Parts.Grabber->GetBitmap(bitmap)) return true;
  if (!Parts.VideoWindow) return false;
  TMemoryStream stream;
  if (Parts.VideoWindow->VMRGetBitmap(stream)) {
    stream.SetPosition(0);
    return LoadBitmapFromBMP(stream, bitmap);
  }
  return false;
}

void TConversionJob::Finish() {
  IsConverting = false;
  Host.HideProgress();
  Current()->SaveToDisk();
  Host.SetBusy(false);
  Host.JobEnded(true);
  if (Host.AskPreview()) Current()->MakeGIFPreview();
}

void TConversionJob::Reset() {
  const bool wasConverting = IsConverting;
  IsConverting = false;
  StepCounter = 1;
  // The reset also ends a chain that stopped on a step error, whose busy cursor nothing else
  // would restore.
  Host.SetBusy(false);
  if (wasConverting) Host.JobEnded(false);
}

}  // namespace clipsmith
