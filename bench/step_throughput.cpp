// Frame stepping as a conversion does it: on every step-complete event grab the frame into a
// bitmap and ask for the next step, through a 10-second 640x480 H.264 clip. Beside it, in the
// same run, the ffmpeg command decodes the same clip to bgra into a null sink; the "ratio"
// counter is stepping time over ffmpeg's time (the target is at most 1.5). A third benchmark
// plays the clip in real time and counts the frames the renderer had to drop.
//
//   build/bench/step_throughput [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "graphics/bitmap.h"
#include "video/filter_graph.h"
#include "video/sample_grabber.h"
#include "video/video_window.h"

namespace {

using namespace clipsmith;

// Blocks until events come, waking every 50 ms.
void WaitForEvents() {
  QTimer wake;
  wake.start(50);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string& Clip() {
  static const std::string path = [] {
    fs::path dir = fs::temp_directory_path() / "clipsmith-bench";
    fs::create_directories(dir);
    fs::path file = dir / "step_640x480_10s.mp4";
    if (!fs::exists(file)) {
      std::string tmp = (dir / "step_640x480_10s.tmp.mp4").string();
      std::string cmd = "ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=size=640x480:rate=25:duration=10 "
                        "-c:v libx264 -preset veryfast -pix_fmt yuv420p " + tmp;
      if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot make the clip with ffmpeg");
      fs::rename(tmp, file);
    }
    return file.string();
  }();
  return path;
}

double FfmpegDecodeSeconds() {
  std::string cmd = "ffmpeg -nostdin -y -loglevel error -i " + Clip() + " -f rawvideo -pix_fmt bgra /dev/null";
  auto start = Clock::now();
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("ffmpeg failed");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TPlayer {
  TFilterGraph Graph;
  TSampleGrabber Grabber;
  TVideoWindow Window;
  TPlayer() {
    Window.SetMode(TVideoMode::vmVMR);
    Window.VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
    Window.SetFilterGraph(&Graph);
    Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
    Grabber.SetFilterGraph(&Graph);
    Graph.SetActive(true);
  }
};

// Renders the clip and steps through every frame, grabbing each; returns the frame count.
int StepThrough(TPlayer& p) {
  p.Graph.RenderFile(Clip());
  auto step = p.Graph.QueryInterface<IVideoFrameStep>();
  auto seeking = p.Graph.QueryInterface<IMediaSeeking>();
  REFERENCE_TIME duration = 0;
  seeking->GetDuration(&duration);
  int frames = 0;
  bool done = false;
  TBitmap bitmap;
  // As the conversion does: the step that reaches the end mark (here the duration) ends it.
  p.Graph.OnGraphStepComplete = [&](TFilterGraph*) {
    REFERENCE_TIME position = 0;
    seeking->GetCurrentPosition(&position);
    if (position >= duration) {
      done = true;
      return;
    }
    if (p.Grabber.GetBitmap(bitmap)) ++frames;
    step->Step(1, nullptr);
  };
  step->Step(1, nullptr);
  while (!done) WaitForEvents();
  p.Graph.OnGraphStepComplete = nullptr;
  p.Graph.ClearGraph();
  return frames;
}

void BM_FfmpegDecodeToBgra(benchmark::State& state) {
  Clip();
  for (auto _ : state) state.SetIterationTime(FfmpegDecodeSeconds());
  state.counters["fps"] = benchmark::Counter(250, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FfmpegDecodeToBgra)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_StepAndGrabEveryFrame(benchmark::State& state) {
  Clip();
  TPlayer player;
  std::vector<double> ffmpeg;
  double stepping = 0;
  int frames = 0;
  for (auto _ : state) {
    ffmpeg.push_back(FfmpegDecodeSeconds());
    auto start = Clock::now();
    frames = StepThrough(player);
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    stepping += s;
    state.SetIterationTime(s);
  }
  std::sort(ffmpeg.begin(), ffmpeg.end());
  double ffmpegMedian = ffmpeg[ffmpeg.size() / 2];
  state.counters["frames"] = frames;
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["ffmpeg_ms"] = ffmpegMedian * 1000;
  state.counters["ratio"] = (stepping / double(state.iterations())) / ffmpegMedian;
}
BENCHMARK(BM_StepAndGrabEveryFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlayInRealTime(benchmark::State& state) {
  Clip();
  TPlayer player;
  player.Window.resize(640, 480);
  if (!std::getenv("STEP_BENCH_HIDDEN")) player.Window.show();
  if (const char* log = std::getenv("STEP_BENCH_LOG")) player.Graph.SetLogFile(log);
  int drawn = 0, dropped = 0;
  for (auto _ : state) {
    player.Graph.RenderFile(Clip());
    bool done = false;
    player.Graph.OnGraphComplete = [&](TFilterGraph*, HRESULT, IBaseFilter*) { done = true; };
    auto start = Clock::now();
    player.Graph.Play();
    while (!done) WaitForEvents();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    auto qual = player.Window.QueryInterface<IQualProp>();
    qual->get_FramesDrawn(&drawn);
    qual->get_FramesDroppedInRenderer(&dropped);
    player.Graph.OnGraphComplete = nullptr;
    player.Graph.ClearGraph();
  }
  // The first frame is cued by rendering, before playing starts.
  state.counters["drawn"] = drawn;
  state.counters["dropped"] = dropped;
}
BENCHMARK(BM_PlayInRealTime)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
