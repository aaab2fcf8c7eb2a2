// LZW encoding of one 640x480 frame of natural-looking indices (a smooth gradient with noise,
// 256 colours), ours beside giflib's encoder on the same indices. Reports pixels in per second.
// BM_Clipsmith is the direct-table encoder the writer uses; BM_ClipsmithHashed the hashed one.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <random>
#include <vector>

#include "gif/lzw_encoder.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

const std::vector<std::uint8_t>& Indices() {
  static const std::vector<std::uint8_t> pixels = [] {
    std::vector<std::uint8_t> p(std::size_t(kWidth) * kHeight);
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        double v = 128 + 90 * std::sin(x / 97.0) * std::cos(y / 61.0) + 30.0 * x / kWidth + noise(rng);
        p[std::size_t(y) * kWidth + x] = std::uint8_t(std::clamp(v, 0.0, 255.0));
      }
    return p;
  }();
  return pixels;
}

// A stream that counts bytes: the cost of the sink stays out of both measurements.
class TNullStream : public clipsmith::TStream {
 public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t count) override {
    written += count;
    return count;
  }
  std::int64_t Seek(std::int64_t, clipsmith::TSeekOrigin) override { return std::int64_t(written); }
  std::size_t written = 0;
};

template <typename Encoder>
void BM_Ours(benchmark::State& state) {
  const auto& px = Indices();
  std::size_t bytes = 0;
  for (auto _ : state) {
    TNullStream out;
    Encoder enc;
    enc.Compress(out, 8, kWidth, kHeight, false, px.data(), 256);
    bytes = out.written;
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(px.size()));
  state.counters["out_bytes"] = double(bytes);
}

int GiflibSink(GifFileType* gif, const GifByteType*, int len) {
  *static_cast<std::size_t*>(gif->UserData) += std::size_t(len);
  return len;
}

void BM_Giflib(benchmark::State& state) {
  const auto& px = Indices();
  std::vector<GifColorType> colors(256);
  for (int i = 0; i < 256; ++i) colors[std::size_t(i)] = {GifByteType(i), GifByteType(i), GifByteType(i)};
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::size_t written = 0;
    int err = 0;
    GifFileType* gif = EGifOpen(&written, GiflibSink, &err);
    ColorMapObject* map = GifMakeMapObject(256, colors.data());
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, nullptr);
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, map);
    for (int y = 0; y < kHeight; ++y)
      EGifPutLine(gif, const_cast<GifPixelType*>(px.data()) + std::size_t(y) * kWidth, kWidth);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    bytes = written;
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(px.size()));
  state.counters["out_bytes"] = double(bytes);
}

void BM_Clipsmith(benchmark::State& state) { BM_Ours<clipsmith::TDirectLZWEncoder>(state); }
void BM_ClipsmithHashed(benchmark::State& state) { BM_Ours<clipsmith::TLZWEncoder>(state); }

}  // namespace

BENCHMARK(BM_Clipsmith)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClipsmithHashed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Giflib)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
