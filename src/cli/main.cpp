// clipsmith-cli: the main window's conversion, run from the command line. The same form, the
// same components and the same job as in the window; only the options, the file names and the
// messages come from and go to the terminal.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "app/main_window.h"
#include "cli/cli_options.h"
#include "gifbuild/html_preview.h"
#include "graphics/stream.h"
#include "settings/settings.h"
#include "video/time_text.h"

using namespace clipsmith;

namespace {

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct TRun {
  std::string Error;  // the first failure, as the user reads it
  bool Done = false;
  bool Written = false;
  int Frames = 0;
};

void Fail(TRun& run, const std::string& message) {
  if (run.Error.empty()) run.Error = message;
  run.Done = true;
  QApplication::quit();
}

std::string DescribeException(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "unknown error";
  }
}

// The frame time the graph reports for its video stream, in 100-ns units (0 when unknown).
std::int64_t FrameTime(TFormMain& form) {
  auto grabber = form.SampleGrabber1.SampleGrabber();
  AM_MEDIA_TYPE type;
  if (!grabber || FAILED(grabber->GetConnectedMediaType(type)) || type.pbFormat.size() < 48) return 0;
  std::int64_t t;
  std::memcpy(&t, type.pbFormat.data() + 40, sizeof t);  // VIDEOINFOHEADER.AvgTimePerFrame
  return t;
}

void SetText(QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); }

}  // namespace

int main(int argc, char** argv) {
  // Ctrl-C, SIGTERM or SIGHUP while the GIF is written leave no hidden temporary file behind.
  RemoveTemporaryFileOnSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  TCliOptions opt;
  if (std::string err = ParseCommandLine(args, opt); !err.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s\nTry 'clipsmith-cli --help'.\n", err.c_str());
    return kExitUsage;
  }
  if (opt.Help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (opt.Version) {
    std::puts("clipsmith-cli 4.0");
    return kExitOk;
  }
  // No display is needed: without one the form lives on the offscreen platform.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's own notices (a missing runtime folder and the like) are not the user's business here.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
  });
  int qargc = 1;
  QApplication app(qargc, argv);

  TRun run;
  TFormMain form;
  form.Host.ShowErrorBox = [&](const std::string& text, const std::string&) { Fail(run, text); };
  form.Host.ShowWarningBox = [&](const std::string& text, const std::string&) { Fail(run, text); };
  form.Host.ShowRangeError = [&] { Fail(run, "the end mark must come after the start mark"); };
  form.Host.AskOpenFileName = [&](const std::string&) { return std::optional<std::string>(opt.Input); };
  form.Host.AskSaveFileName = [&](const std::string&, const std::string&) {
    return std::optional<std::string>(opt.Output);
  };
  form.Host.AskPreview = [&] { return opt.Preview; };
  form.Host.ReportError = [&](std::exception_ptr e) { Fail(run, DescribeException(e)); };
  form.Host.SetBusyCursor = [](bool) {};
  form.Host.ConfigureBuilder = [&](TSkGIF& gif) {
    if (opt.NoOpen) gif.Opener.Attempts.clear();
  };

  const bool progress = !opt.Quiet && !opt.Info && isatty(STDERR_FILENO);
  const auto started = std::chrono::steady_clock::now();
  std::uint32_t durationMs = 0;
  form.Host.FrameCaptured = [&](int frames) {
    run.Frames = frames;
    if (!progress) return;
    TProgress p;
    p.ElapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    p.PositionMs = std::int64_t(form.TrackBar->Position()) * form.TrackBar->TimerInterval();
    p.StartMs = std::int64_t(form.TrackBar->SelStart()) * form.TrackBar->TimerInterval();
    p.EndMs = std::int64_t(form.TrackBar->SelEnd()) * form.TrackBar->TimerInterval();
    p.DurationMs = durationMs;
    p.Frames = frames;
    // Redrawn in place: back to the start of the line, the rest of the old line erased.
    std::fprintf(stderr, "\r%s\x1b[K", ProgressLine(p).c_str());
    std::fflush(stderr);
  };
  form.Host.JobEnded = [&](bool written) {
    run.Written = written;
    run.Done = true;
    QApplication::quit();
  };

  // A name that leads nowhere, or to something that is no file, is no format problem: say what
  // is wrong with it. A FIFO would block the reader until someone writes to it, and a device
  // never ends.
  if (std::string why = NotAVideoFileReason(opt.Input); !why.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s: %s\n", opt.Input.c_str(), why.c_str());
    return kExitFailed;
  }
  if (!form.LoadVideoFile(opt.Input)) {
    std::fprintf(stderr, "clipsmith-cli: %s: %s\n", opt.Input.c_str(), run.Error.c_str());
    return kExitFailed;
  }
  if (!run.Error.empty()) {  // the size could not be read
    std::fprintf(stderr, "clipsmith-cli: %s: %s\n", opt.Input.c_str(), run.Error.c_str());
    return kExitFailed;
  }
  durationMs = form.FilterGraph1.Duration();

  if (opt.Info) {
    std::printf("Frame: %u x %u\n", form.SourceVideoWidth, form.SourceVideoHeight);
    std::printf("Duration: %s\n", TimeToText(durationMs, true).c_str());
    if (std::int64_t t = FrameTime(form); t > 0)
      std::printf("Frame rate: %.3f fps\n", 1e7 / double(t));
    else
      std::printf("Frame rate: unknown\n");
    return kExitOk;
  }

  if (std::string err = CheckCropInFrame(opt, int(form.SourceVideoWidth), int(form.SourceVideoHeight)); !err.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s\n", err.c_str());
    return kExitUsage;
  }

  // The marks, in seek-bar units as the mark buttons set them: milliseconds div the interval.
  const std::uint32_t unit = form.TrackBar->TimerInterval();
  const std::int64_t endMs = std::min<std::int64_t>(opt.EndMs.value_or(durationMs), durationMs);
  const int selStart = int(opt.StartMs / unit), selEnd = int(endMs / unit);
  if (selEnd <= selStart) {
    if (opt.EndMs && *opt.EndMs < durationMs)  // both marks inside the video, in the same unit
      std::fprintf(stderr, "clipsmith-cli: the end mark %s does not come after the start mark %s in steps of %u ms\n",
                   TimeToText(std::uint32_t(*opt.EndMs), true).c_str(),
                   TimeToText(std::uint32_t(opt.StartMs), true).c_str(), unsigned(unit));
    else
      std::fprintf(stderr, "clipsmith-cli: the start mark %s is not before the end of the video (%s)\n",
                   TimeToText(std::uint32_t(opt.StartMs), true).c_str(), TimeToText(durationMs, true).c_str());
    return kExitUsage;
  }

  // The fields, as the user would fill them in.
  SetText(form.EditStep, opt.Step);
  SetText(form.EditLooping, opt.Loop);
  SetText(form.EditDelay, opt.Delay);
  int refW = int(form.SourceVideoWidth), refH = int(form.SourceVideoHeight);
  if (opt.Crop) {
    form.CheckBoxCrop->setChecked(true);
    form.CheckBoxCropClick();
    SetText(form.EditLeft, std::to_string(opt.CropX));
    SetText(form.EditTop, std::to_string(opt.CropY));
    SetText(form.EditCropW, std::to_string(opt.CropW));
    SetText(form.EditCropH, std::to_string(opt.CropH));
    refW = opt.CropW, refH = opt.CropH;
  }
  if (opt.Resize) {
    std::optional<int> w = opt.SizeW, h = opt.SizeH;
    if (!h) h = ProportionalSize(*w, refW, refH);
    if (!w) w = ProportionalSize(*h, refH, refW);
    if (!w || !h || *w < 1 || *h < 1 || *w > 65535 || *h > 65535) {
      std::fprintf(stderr, "clipsmith-cli: the linked size of --size is out of range\n");
      return kExitUsage;
    }
    form.CheckboxResize->setChecked(true);
    form.CheckboxResizeClick();
    SetText(form.EditGIFW, std::to_string(*w));
    SetText(form.EditGIFH, std::to_string(*h));
  }

  form.BtnPlayerPauseClick();
  form.TrackBar->SetSelStart(selStart);
  form.TrackBar->SetSelEnd(selEnd);
  form.BtnMakeGIFClick();
  if (!run.Done) app.exec();
  if (progress) std::fputs("\r\x1b[K", stderr);

  const std::string gifName = form.Settings().GIFFileName;
  if (!run.Error.empty() || !run.Written) {
    std::fprintf(stderr, "clipsmith-cli: %s\n", run.Error.empty() ? "the conversion did not finish" : run.Error.c_str());
    return kExitFailed;
  }
  std::error_code ec;
  auto bytes = std::filesystem::file_size(gifName, ec);
  std::printf("%s: %d frames, %d x %d, %llu bytes\n", gifName.c_str(), form.Job.FramesCaptured(),
              form.Settings().DstW, form.Settings().DstH, static_cast<unsigned long long>(ec ? 0 : bytes));
  if (opt.Preview) std::printf("Preview: %s\n", PreviewPagePath().c_str());
  return kExitOk;
}
