// Loading and saving an image of very many frames must cost the same per frame whatever their
// number. The file is 1x1 frames without colour maps of their own (the worst case for anything
// that looks at every frame while handling one), 10 000 and 40 000 of them; the reported
// complexity fit should come out as O(N).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "gif/gif_image.h"
#include "graphics/stream.h"

using namespace clipsmith;

namespace {

std::vector<std::uint8_t> ManyFrameFile(int frames) {
  std::vector<std::uint8_t> f = {'G', 'I', 'F', '8', '9', 'a',
                                 1, 0, 1, 0,  // logical screen 1x1
                                 0x80,        // global colour table of two entries
                                 0, 0,        // background, aspect
                                 0, 0, 0, 255, 255, 255};
  const std::uint8_t frame[] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,  // descriptor: 1x1 at 0,0, no local map
                                2,                                // LZW code size
                                2, 0x44, 0x01,                    // clear, index 0, end of information
                                0};
  f.reserve(f.size() + std::size_t(frames) * sizeof frame + 1);
  for (int i = 0; i < frames; ++i) f.insert(f.end(), std::begin(frame), std::end(frame));
  f.push_back(0x3B);
  return f;
}

void Load(benchmark::State& state) {
  const auto bytes = ManyFrameFile(int(state.range(0)));
  for (auto _ : state) {
    TMemoryStream in(bytes);
    TGIFImage image;
    image.LoadFromStream(in);
    if (image.Images().Count() != state.range(0)) throw std::runtime_error("frames lost");
    benchmark::DoNotOptimize(image.Images().Count());
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void Save(benchmark::State& state) {
  const auto bytes = ManyFrameFile(int(state.range(0)));
  TMemoryStream in(bytes);
  TGIFImage image;
  image.LoadFromStream(in);
  for (auto _ : state) {
    TMemoryStream out;
    image.SaveToStream(out);
    if (std::size_t(out.Size()) != bytes.size()) throw std::runtime_error("unexpected size");
    benchmark::DoNotOptimize(out.Memory().data());
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(Load)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(Save)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity();

BENCHMARK_MAIN();
