#include "app/conversion_job.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "app/main_window.h"
#include "graphics/stream.h"
#include "settings/settings.h"
#include "video/bmp_image.h"
#include "video/time_text.h"

namespace clipsmith {

namespace {

std::optional<int> ParseInt(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b < e && text[b] == '+') ++b;
  int v = 0;
  auto [p, ec] = std::from_chars(text.data() + b, text.data() + e, v);
  if (b == e || ec != std::errc() || p != text.data() + e) return std::nullopt;
  return v;
}

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

int StrToInt(const std::string& text) {
  auto v = ParseInt(text);
  if (!v) throw EConvertError("'" + text + "' is not a valid integer value");
  return *v;
}

int StrToIntDef(const std::string& text, int fallback) { return ParseInt(text).value_or(fallback); }

std::string WithGifExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".gif" ? path : path + ".gif";
}

void TConversionJob::BtnMakeGIFClick() {
  // A second press while a job runs would start another chain on the same graph.
  if (IsConverting) return;
  TSettings& settings = Form.Settings();
  settings.ClearGIFTempParameter();

  const TGraphState state = Form.FilterGraph1.State();
  if (state == TGraphState::gsUninitialized || state == TGraphState::gsStopped) {
    Form.Host.ShowWarningBox("Please click \"OPEN\" button to open a video file at first!", "Warning");
    return;
  }
  TDSTrackBar& bar = *Form.TrackBar;
  if (bar.SelEnd() == 0 || bar.SelEnd() <= bar.SelStart()) {
    Form.Host.ShowRangeError();
    return;
  }

  std::string initialName;
  if (!settings.AVIFileName.empty())
    initialName = std::filesystem::path(settings.AVIFileName).replace_extension(".gif").string();
  std::optional<std::string> chosen = Form.Host.AskSaveFileName(settings.SaveGIFPath, initialName);
  if (!chosen) return;
  settings.SaveGIFPath = std::filesystem::path(*chosen).parent_path().string();
  settings.GIFFileName = WithGifExtension(*chosen);
  // A GIF is a video too: writing over the file being read would destroy it.
  const std::string input = (std::filesystem::path(settings.OpenAVIPath) / settings.AVIFileName).string();
  if (!settings.AVIFileName.empty() && IsSameFile(settings.GIFFileName, input)) {
    Form.Host.ShowErrorBox("The output file \"" + settings.GIFFileName + "\" is the input file itself.", "Error");
    return;
  }

  if (Form.CheckBoxCrop->isChecked()) {
    settings.XSrc = StrToInt(Text(Form.EditLeft));
    settings.YSrc = StrToInt(Text(Form.EditTop));
    settings.SrcW = StrToInt(Text(Form.EditCropW));
    settings.SrcH = StrToInt(Text(Form.EditCropH));
  } else {
    settings.XSrc = 0;
    settings.YSrc = 0;
    settings.SrcW = int(Form.SourceVideoWidth);
    settings.SrcH = int(Form.SourceVideoHeight);
  }
  if (Form.CheckboxResize->isChecked()) {
    settings.DstW = StrToInt(Text(Form.EditGIFW));
    settings.DstH = StrToInt(Text(Form.EditGIFH));
  } else if (Form.CheckBoxCrop->isChecked()) {
    settings.DstW = StrToInt(Text(Form.EditCropW));
    settings.DstH = StrToInt(Text(Form.EditCropH));
  } else {
    settings.DstW = int(Form.SourceVideoWidth);
    settings.DstH = int(Form.SourceVideoHeight);
  }

  IsConverting = true;
  Form.ProgressBar1->show();
  Form.ProgressBar1->setMaximum(bar.SelEnd());
  Form.ProgressBar1->setMinimum(bar.SelStart());

  FBuilders.push_back(std::make_unique<TSkGIF>());
  TSkGIF& gif = *FBuilders.back();
  gif.Loops = StrToIntDef(Text(Form.EditLooping), 1);
  gif.Transparent = false;
  gif.TransColor = 0;
  gif.Delay = std::uint32_t(StrToIntDef(Text(Form.EditDelay), 100));
  gif.GIFFileName = settings.GIFFileName;
  gif.GIFWidth = settings.DstW;
  gif.GIFHeight = settings.DstH;
  // The reduction of captured frames runs on the other cores while the graph steps on.
  gif.ReduceAhead = true;
  if (Form.Host.ConfigureBuilder) Form.Host.ConfigureBuilder(gif);
  FFrames = 0;

  Form.Host.SetBusyCursor(true);
  StepCounter = 1;
  Form.BtnPlayerPauseClick();
  SeekToPosition(bar.SelStart());
  BtnPlayerNextFrameClick();
}

void TConversionJob::FilterGraph1GraphStepComplete() {
  if (!IsConverting) return;
  TDSTrackBar& bar = *Form.TrackBar;
  if (bar.Position() >= bar.SelEnd() || AtEndOfStream()) {
    Finish();
    return;
  }
  const int n = StrToIntDef(Text(Form.EditStep), 2);
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
      if (Form.Host.FrameCaptured) Form.Host.FrameCaptured(FFrames);
    }
  }
  Form.ProgressBar1->setValue(bar.Position());
  BtnPlayerNextFrameClick();
}

bool TConversionJob::AtEndOfStream() const {
  // A damaged file ends before the duration its header announced, and so before an end mark
  // set from that duration: the graph then shortens its duration to where the data ended and
  // stands there. Stepping on would capture that last frame again and again.
  auto seeking = Form.FilterGraph1.QueryInterface<IMediaSeeking>();
  REFERENCE_TIME position = 0, duration = 0;
  if (!seeking || FAILED(seeking->GetCurrentPosition(&position)) || FAILED(seeking->GetDuration(&duration))) return false;
  return duration > 0 && position >= duration;
}

void TConversionJob::CropAndScale(const TBitmap& grab, TBitmap& out) const {
  const TSettings& s = Form.Settings();
  out = TBitmap(s.DstW, s.DstH, TPixelFormat::pfDevice);
  // Pixels of the source rectangle outside the grabbed frame come out black.
  StretchCopy(out, 0, 0, out.Width(), out.Height(), grab, s.XSrc, s.YSrc, s.SrcW, s.SrcH);
}

void TConversionJob::BtnPlayerNextFrameClick() {
  auto step = Form.FilterGraph1.QueryInterface<IVideoFrameStep>();
  if (!step) {
    Form.Host.ShowErrorBox("Query IVideoFrameStep Interface Failed", "Error");
    return;
  }
  if (FAILED(step->CanStep(0, nullptr))) {
    Form.Host.ShowErrorBox("Step Error", "Error");
    return;
  }
  step->Step(1, nullptr);
  Form.ShowPlayButton();
}

void TConversionJob::SeekToPosition(int position) {
  REFERENCE_TIME current = UnitsToRefTime(position, Form.TrackBar->TimerInterval());
  REFERENCE_TIME stop = 0;
  if (auto seeking = Form.FilterGraph1.QueryInterface<IMediaSeeking>())
    seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
}

bool TConversionJob::GrabCurrentFrame(TBitmap& bitmap) {
  if (Form.SampleGrabber1.GetBitmap(bitmap)) return true;
  TMemoryStream stream;
  if (Form.VideoWindow1->VMRGetBitmap(stream)) {
    stream.SetPosition(0);
    return LoadBitmapFromBMP(stream, bitmap);
  }
  return false;
}

void TConversionJob::Finish() {
  IsConverting = false;
  Form.ProgressBar1->hide();
  Current()->SaveToDisk();
  Form.Host.SetBusyCursor(false);
  if (Form.Host.JobEnded) Form.Host.JobEnded(true);
  if (Form.Host.AskPreview()) Current()->MakeGIFPreview();
}

void TConversionJob::Reset() {
  const bool wasConverting = IsConverting;
  IsConverting = false;
  StepCounter = 1;
  // The reset also ends a chain that stopped on a step error, whose busy cursor nothing else
  // would restore.
  Form.Host.SetBusyCursor(false);
  if (wasConverting && Form.Host.JobEnded) Form.Host.JobEnded(false);
}

}  // namespace clipsmith
