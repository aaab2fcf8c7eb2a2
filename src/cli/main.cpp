// clipsmith-cli: the window's conversion, run from the command line. The same job over the same
// video components, under a bare QCoreApplication: no widgets, no platform plugin, no display.
// The options come from the command line, the messages go to the terminal.
#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "app/conversion_job.h"
#include "app/version.h"
#include "cli/cli_options.h"
#include "gifbuild/html_preview.h"
#include "graphics/stage_times.h"
#include "graphics/stream.h"
#include "settings/settings.h"
#include "video/exception_report.h"
#include "video/filter_graph.h"
#include "video/media_type.h"
#include "video/sample_grabber.h"
#include "video/seek_bar_model.h"
#include "video/time_text.h"

using namespace clipsmith;

namespace {

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct TRun {
  std::string Error;  // the first failure, as the user reads it
  bool Done = false;
  bool Written = false;
};

void Fail(TRun& run, const std::string& message) {
  if (run.Error.empty()) run.Error = message;
  run.Done = true;
  QCoreApplication::quit();
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

// The components the window has, less the widgets: the graph, the grabber and the seek bar.
struct TPlayer {
  TFilterGraph Graph;
  TSampleGrabber Grabber;
  TSeekBarModel Bar;
  TPlayer() {
    Grabber.MediaType().SetMajorType(MEDIATYPE_Video);
    Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
    Grabber.MediaType().SetFormatType(FORMAT_VideoInfo);
    Grabber.SetFilterGraph(&Graph);
    Bar.SetTimerInterval(10);
    Bar.SetFilterGraph(&Graph);
  }
  ~TPlayer() {
    // The graph deactivates before the components that listen to it go.
    Graph.SetActive(false);
  }
};

// The frame time the graph reports for its video stream, in 100-ns units (0 when unknown).
std::int64_t FrameTime(TSampleGrabber& grabber) {
  auto g = grabber.SampleGrabber();
  AM_MEDIA_TYPE type;
  if (!g || FAILED(g->GetConnectedMediaType(type)) || type.pbFormat.size() < 48) return 0;
  std::int64_t t;
  std::memcpy(&t, type.pbFormat.data() + 40, sizeof t);  // VIDEOINFOHEADER.AvgTimePerFrame
  return t;
}

// The job's host: answers from the command line, messages end the run.
class TCliHost final : public IConversionHost {
 public:
  TCliHost(const TCliOptions& opt, TRun& run, TSeekBarModel& bar) : Opt(opt), Run(run), Bar(bar) {}

  TSettings& Settings() override { return FSettings; }
  void ShowErrorBox(const std::string& text, const std::string&) override { Fail(Run, text); }
  void ShowWarningBox(const std::string& text, const std::string&) override { Fail(Run, text); }
  void ShowRangeError() override { Fail(Run, "the end mark must come after the start mark"); }
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&) override { return Opt.Output; }
  bool AskPreview() override { return Opt.Preview; }
  void ShowProgress(int, int) override {}
  void SetProgress(int) override {}
  void HideProgress() override {}
  void SetBusy(bool) override {}
  void ConfigureBuilder(TSkGIF& gif) override {
    gif.SetGrayScale(Opt.Gray);
    if (Opt.NoOpen) gif.Opener.Attempts.clear();
  }
  void FrameCaptured(int frames) override {
    if (!Progress) return;
    TProgress p;
    p.ElapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    p.PositionMs = std::int64_t(Bar.Position()) * Bar.TimerInterval();
    p.StartMs = std::int64_t(Bar.SelStart()) * Bar.TimerInterval();
    p.EndMs = std::int64_t(Bar.SelEnd()) * Bar.TimerInterval();
    p.DurationMs = DurationMs;
    p.Frames = frames;
    // Redrawn in place: back to the start of the line, the rest of the old line erased.
    std::fprintf(stderr, "\r%s\x1b[K", ProgressLine(p).c_str());
    std::fflush(stderr);
  }
  void JobEnded(bool written) override {
    Run.Written = written;
    Run.Done = true;
    QCoreApplication::quit();
  }

  bool Progress = false;
  std::chrono::steady_clock::time_point Started = std::chrono::steady_clock::now();
  std::uint32_t DurationMs = 0;

 private:
  const TCliOptions& Opt;
  TRun& Run;
  TSeekBarModel& Bar;
  // In memory only: the command line touches no settings file.
  TSettings FSettings{std::string()};
};

// The option values: the parsed options, read as the window reads its fields.
class TCliValues final : public IConversionValues {
 public:
  explicit TCliValues(const TCliOptions& opt) : Opt(opt) {}
  int FrameStep() override { return Opt.Step; }
  bool Crop() override { return Opt.Crop; }
  int CropLeft() override { return Opt.CropX; }
  int CropTop() override { return Opt.CropY; }
  int CropWidth() override { return Opt.CropW; }
  int CropHeight() override { return Opt.CropH; }
  bool Resize() override { return Opt.Resize; }
  int ResizeWidth() override { return SizeW; }
  int ResizeHeight() override { return SizeH; }
  int Loops() override { return Opt.Loop; }
  int Delay() override { return Opt.Delay; }
  unsigned SourceWidth() override { return Width; }
  unsigned SourceHeight() override { return Height; }

  unsigned Width = 0, Height = 0;
  int SizeW = 0, SizeH = 0;  // --size with its linked side filled in

 private:
  const TCliOptions& Opt;
};

// Everything opening a file does in the window up to playback: a fresh graph, the file
// rendered, the frame size read. "" on success, else the message the window would show.
std::string Load(TPlayer& player, TConversionJob& job, TCliValues& values, const std::string& fileName) {
  std::filesystem::path p(fileName);
  TSettings& settings = job.Host.Settings();
  settings.OpenAVIPath = p.parent_path().string();
  settings.AVIFileName = p.filename().string();
  job.Reset();
  player.Graph.ClearGraph();
  player.Graph.SetActive(false);
  player.Graph.SetActive(true);
  player.Bar.SetSelStart(0);
  player.Bar.SetSelEnd(0);
  player.Bar.SetPosition(0);
  HRESULT hr;
  try {
    hr = player.Graph.RenderFile(fileName);
  } catch (const std::exception&) {
    return "Cannot play back the file. The format is not supported.";
  }
  if (hr != S_OK) return "Render Video Failure, Result: " + std::to_string(hr);
  TBitmap frame;
  if (!job.GrabCurrentFrame(frame)) return "GetFrameFailer";
  values.Width = unsigned(frame.Width());
  values.Height = unsigned(frame.Height());
  return "";
}

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
    std::puts("clipsmith-cli " CLIPSMITH_VERSION);
    return kExitOk;
  }
  // Qt's own notices are not the user's business here; only its critical messages are.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
  });
  int qargc = 1;
  QCoreApplication app(qargc, argv);

  TRun run;
  TPlayer player;
  TCliValues values(opt);
  TCliHost host(opt, run, player.Bar);
  TConversionJob job(host, values, {&player.Graph, &player.Grabber, &player.Bar, nullptr});
  // Errors that escape a handler (a codec error while adding a frame or writing) end the run.
  auto guarded = [&](auto&& handler) {
    try {
      handler();
    } catch (...) {
      Fail(run, DescribeException(std::current_exception()));
    }
  };
  SetExceptionReporter([&](std::exception_ptr e) { Fail(run, DescribeException(e)); });
  player.Graph.OnGraphStepComplete = [&](TFilterGraph*) { guarded([&] { job.FilterGraph1GraphStepComplete(); }); };
  player.Graph.OnGraphErrorAbort = [&](TFilterGraph*, HRESULT hr) { guarded([&] { job.FilterGraph1GraphErrorAbort(hr); }); };

  host.Progress = !opt.Quiet && !opt.Info && isatty(STDERR_FILENO);

  // A name that leads nowhere, or to something that is no file, is no format problem: say what
  // is wrong with it. A FIFO would block the reader until someone writes to it, and a device
  // never ends.
  if (std::string why = NotAVideoFileReason(opt.Input); !why.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s: %s\n", opt.Input.c_str(), why.c_str());
    return kExitFailed;
  }
  if (std::string err = Load(player, job, values, opt.Input); !err.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s: %s\n", opt.Input.c_str(), err.c_str());
    return kExitFailed;
  }
  const std::uint32_t durationMs = player.Graph.Duration();
  host.DurationMs = durationMs;

  if (opt.Info) {
    std::printf("Frame: %u x %u\n", values.Width, values.Height);
    std::printf("Duration: %s\n", TimeToText(durationMs, true).c_str());
    if (std::int64_t t = FrameTime(player.Grabber); t > 0)
      std::printf("Frame rate: %.3f fps\n", 1e7 / double(t));
    else
      std::printf("Frame rate: unknown\n");
    return kExitOk;
  }

  if (std::string err = CheckCropInFrame(opt, int(values.Width), int(values.Height)); !err.empty()) {
    std::fprintf(stderr, "clipsmith-cli: %s\n", err.c_str());
    return kExitUsage;
  }

  // The marks, in seek-bar units as the mark buttons set them: milliseconds div the interval.
  const std::uint32_t unit = player.Bar.TimerInterval();
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

  if (opt.Resize) {
    // A missing side follows the proportions of the crop, else of the source.
    const int refW = opt.Crop ? opt.CropW : int(values.Width), refH = opt.Crop ? opt.CropH : int(values.Height);
    std::optional<int> w = opt.SizeW, h = opt.SizeH;
    if (!h) h = ProportionalSize(*w, refW, refH);
    if (!w) w = ProportionalSize(*h, refH, refW);
    if (!w || !h || *w < 1 || *h < 1 || *w > 65535 || *h > 65535) {
      std::fprintf(stderr, "clipsmith-cli: the linked size of --size is out of range\n");
      return kExitUsage;
    }
    values.SizeW = *w;
    values.SizeH = *h;
  }

  // Paused as the window's pause button leaves it, then the marks and Make GIF.
  if (player.Graph.Active()) player.Graph.Pause();
  player.Bar.SetSelStart(selStart);
  player.Bar.SetSelEnd(selEnd);
  const auto converting = std::chrono::steady_clock::now();
  guarded([&] { job.BtnMakeGIFClick(); });
  if (!run.Done) app.exec();
  if (host.Progress) std::fputs("\r\x1b[K", stderr);
  // Measuring runs (CLIPSMITH_STAGE_TIMES=file) get the cost of each stage per frame.
  WriteStageTimes(job.FramesCaptured(),
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - converting).count());

  const TSettings& settings = host.Settings();
  if (!run.Error.empty() || !run.Written) {
    std::fprintf(stderr, "clipsmith-cli: %s\n", run.Error.empty() ? "the conversion did not finish" : run.Error.c_str());
    return kExitFailed;
  }
  std::error_code ec;
  auto bytes = std::filesystem::file_size(settings.GIFFileName, ec);
  std::printf("%s: %d frames, %d x %d, %llu bytes\n", settings.GIFFileName.c_str(), job.FramesCaptured(), settings.DstW,
              settings.DstH, static_cast<unsigned long long>(ec ? 0 : bytes));
  if (opt.Preview) std::printf("Preview: %s\n", PreviewPagePath().c_str());
  return kExitOk;
}
