// Decoding speed of the GIF reader beside giflib's DGifSlurp, on the same file in the same run:
// 50 frames of 640 x 480 written by our writer, the shape of a converted clip (256-colour local
// table and a graphic control extension on every frame, the looping extension on the first).
// Bytes/s counts pixels out.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "graphics/stream.h"

using namespace clipsmith;

namespace {

constexpr int kWidth = 640, kHeight = 480, kFrames = 50;

// Smooth gradients moving from frame to frame with a little dither noise, like a reduced video
// frame: LZW finds runs but no long ones.
const std::vector<std::uint8_t>& TestFile() {
  static const std::vector<std::uint8_t> file = [] {
    TGIFImage image;
    std::uint32_t noise = 1;
    for (int f = 0; f < kFrames; ++f) {
      TGIFFrame* frame = TGIFFrame::Create(&image);
      for (int c = 0; c < 256; ++c) frame->ColorMap().Add(RGBColor(std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(c * 3)));
      frame->ChangeBounds(0, 0, kWidth, kHeight);
      if (f == 0) TGIFExtension::Create<TGIFAppExtNSLoop>(frame);
      TGIFExtension::Create<TGIFGraphicControlExtension>(frame)->SetDelay(4);
      std::uint8_t* p = frame->Data();
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          noise = noise * 1664525u + 1013904223u;
          int v = (x + 2 * f) / 5 + (y * y) / 900 + int((noise >> 29) & 3);
          *p++ = std::uint8_t(v & 255);
        }
    }
    TMemoryStream out;
    image.SaveToStream(out);
    return out.Bytes();
  }();
  return file;
}

void OurReader(benchmark::State& state) {
  const auto& file = TestFile();
  TMemoryStream stream(file);
  for (auto _ : state) {
    stream.SetPosition(0);
    TGIFImage image;
    image.LoadFromStream(stream);
    if (image.Images().Count() != kFrames) state.SkipWithError("wrong frame count");
    benchmark::DoNotOptimize(image.Images()[kFrames - 1]->Data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kFrames * kWidth * kHeight);
  state.counters["file_bytes"] = double(file.size());
}

struct MemoryReader {
  const std::vector<std::uint8_t>* Bytes;
  std::size_t Pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buf, int len) {
  auto* r = static_cast<MemoryReader*>(gif->UserData);
  std::size_t n = std::min<std::size_t>(std::size_t(len), r->Bytes->size() - r->Pos);
  std::memcpy(buf, r->Bytes->data() + r->Pos, n);
  r->Pos += n;
  return int(n);
}

void GiflibSlurp(benchmark::State& state) {
  const auto& file = TestFile();
  for (auto _ : state) {
    MemoryReader reader{&file};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount != kFrames) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(gif->SavedImages[kFrames - 1].RasterBits);
    DGifCloseFile(gif, &error);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kFrames * kWidth * kHeight);
}

// Many tiny frames, each a pixel further right: the time per frame should not grow with the
// number of frames (it did while the screen was widened through a setter that scans every frame).
void ManyTinyFrames(benchmark::State& state) {
  const int frames = int(state.range(0));
  std::vector<std::uint8_t> file = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
  for (int i = 0; i < frames; ++i) {
    const std::uint8_t d[] = {0x2C, std::uint8_t(i), std::uint8_t(i >> 8), 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0};
    file.insert(file.end(), std::begin(d), std::end(d));
  }
  file.push_back(';');
  TMemoryStream stream(file);
  for (auto _ : state) {
    stream.SetPosition(0);
    TGIFImage image;
    image.LoadFromStream(stream);
    if (image.Images().Count() != frames) state.SkipWithError("wrong frame count");
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * frames);
}

}  // namespace

BENCHMARK(ManyTinyFrames)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(OurReader)->Unit(benchmark::kMillisecond);
BENCHMARK(GiflibSlurp)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
