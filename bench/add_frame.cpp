// Adding one captured 640x480 frame to a GIF image: the octree palette, the dithering with its
// colour lookups, and the whole TGIFImage::Add, which is where a conversion spends its time. The
// frames come from real clips: the ffmpeg command generates a short video from one of its test
// sources, then decodes a frame of it scaled to 640x480 bgra. The whole Add is also measured
// with the brute-force nearest search, the reference the fast search replaces.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "gif/color_reduction.h"
#include "gif/gif_image.h"

using namespace clipsmith;

namespace {

constexpr int kWidth = 640, kHeight = 480;

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// A frame of the clip made from the lavfi source, in the display's native 32-bit format.
const TBitmap& ClipFrame(const std::string& source) {
  static std::map<std::string, TBitmap> frames;
  auto it = frames.find(source);
  if (it != frames.end()) return it->second;

  const auto dir = std::filesystem::temp_directory_path() / ("clipsmith-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto clip = (dir / "clip.mp4").string();
  const auto raw = (dir / "frame.bgra").string();
  Run("ffmpeg -nostdin -y -v error -f lavfi -i '" + source + "=size=800x600:rate=25' -t 2 -c:v libx264 " +
      "-pix_fmt yuv420p '" + clip + "'");
  Run("ffmpeg -nostdin -y -v error -ss 1 -i '" + clip + "' -frames:v 1 -vf scale=640:480 -pix_fmt bgra -f rawvideo '" +
      raw + "'");
  std::ifstream in(raw, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove_all(dir);
  if (bytes.size() != std::size_t(kWidth) * kHeight * 4) throw std::runtime_error("unexpected frame size");

  TBitmap b(kWidth, kHeight, TPixelFormat::pfDevice);
  for (int y = 0; y < kHeight; ++y) std::memcpy(b.ScanLine(y), bytes.data() + std::size_t(y) * kWidth * 4, kWidth * 4);
  return frames.emplace(source, std::move(b)).first->second;
}

void SetFrameCounters(benchmark::State& state) {
  state.SetItemsProcessed(std::int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_Octree(benchmark::State& state, const std::string& source) {
  TBitmap frame = ClipFrame(source);
  frame.SetPixelFormat(TPixelFormat::pf24bit);
  TDIBReader reader(frame, TPixelFormat::pf24bit);
  std::size_t colors = 0;
  for (auto _ : state) {
    TPalette p = BuildOctreePalette(reader, 256, 6, false);
    colors = p.size();
    benchmark::DoNotOptimize(p.data());
  }
  state.counters["colors"] = double(colors);
  SetFrameCounters(state);
}

// The lookup is made anew for every frame, as the reduction does: its candidate lists are built
// on demand within the frame.
void BM_Dither(benchmark::State& state, const std::string& source, TNearestSearch search) {
  TBitmap frame = ClipFrame(source);
  frame.SetPixelFormat(TPixelFormat::pf24bit);
  TDIBReader reader(frame, TPixelFormat::pf24bit);
  const TPalette palette = BuildOctreePalette(reader, 256, 6, false);
  std::vector<std::uint8_t> out(std::size_t(kWidth) * kHeight);
  int cells = 0;
  std::size_t candidates = 0;
  for (auto _ : state) {
    TSlowColorLookup lookup(palette, search);
    TFloydSteinbergDitherer engine(kWidth, lookup);
    engine.Reset();
    for (int y = 0; y < kHeight; ++y) {
      engine.DitherRow(reader.RowBits(y), out.data() + std::size_t(y) * kWidth);
      engine.NextLine();
    }
    benchmark::DoNotOptimize(out.data());
    cells = lookup.BuiltCells();
    candidates = lookup.CandidateCount();
  }
  if (search == TNearestSearch::Fast) {
    state.counters["cells"] = cells;
    state.counters["cand/cell"] = cells ? double(candidates) / cells : 0.0;
  }
  SetFrameCounters(state);
}

// The engine with the arithmetic colour-cube lookup: what the diffusion itself costs.
void BM_DitherCube(benchmark::State& state, const std::string& source) {
  TBitmap frame = ClipFrame(source);
  frame.SetPixelFormat(TPixelFormat::pf24bit);
  TDIBReader reader(frame, TPixelFormat::pf24bit);
  std::vector<std::uint8_t> out(std::size_t(kWidth) * kHeight);
  for (auto _ : state) {
    TNetscapeColorLookup lookup({});
    TFloydSteinbergDitherer engine(kWidth, lookup);
    engine.Reset();
    for (int y = 0; y < kHeight; ++y) {
      engine.DitherRow(reader.RowBits(y), out.data() + std::size_t(y) * kWidth);
      engine.NextLine();
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetFrameCounters(state);
}

void BM_Add(benchmark::State& state, const std::string& source, TNearestSearch search) {
  const TBitmap& original = ClipFrame(source);
  SetDefaultNearestSearch(search);
  TGIFImage image;
  for (auto _ : state) {
    state.PauseTiming();
    TBitmap frame = original;  // Add converts its source in place
    image.Clear();
    state.ResumeTiming();
    benchmark::DoNotOptimize(image.Add(frame));
  }
  SetDefaultNearestSearch(TNearestSearch::Fast);
  SetFrameCounters(state);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Octree, testsrc2, std::string("testsrc2"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Octree, mandelbrot, std::string("mandelbrot"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dither, testsrc2_fast, std::string("testsrc2"), TNearestSearch::Fast)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dither, mandelbrot_fast, std::string("mandelbrot"), TNearestSearch::Fast)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DitherCube, mandelbrot, std::string("mandelbrot"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Add, testsrc2_fast, std::string("testsrc2"), TNearestSearch::Fast)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Add, mandelbrot_fast, std::string("mandelbrot"), TNearestSearch::Fast)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Add, testsrc2_bruteforce, std::string("testsrc2"), TNearestSearch::BruteForce)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Add, mandelbrot_bruteforce, std::string("mandelbrot"), TNearestSearch::BruteForce)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
