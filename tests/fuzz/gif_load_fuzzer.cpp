// Feeds arbitrary bytes to TGIFImage::LoadFromStream. Whatever the bytes, loading either succeeds
// or raises GIFException with the stream back at the start; the image it leaves is consistent,
// can be written when its pixels fit its colours, and what is written reads back the same.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "graphics/stream.h"

using namespace clipsmith;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "gif_load_fuzzer: %s\n", what);
  std::abort();
}

void CheckConsistent(TGIFImage& image) {
  for (int i = 0; i < image.Images().Count(); ++i) {
    TGIFFrame* f = image.Images()[i];
    const std::int64_t pixels = std::int64_t(f->Width()) * f->Height();
    if (f->DataSize() != 0 && f->DataSize() != pixels) Fail("pixel buffer does not match the frame size");
    if (f->DataSize() != 0 && !f->Data()) Fail("pixel buffer missing");
    if (f->Left() + f->Width() > 65535 || f->Top() + f->Height() > 65535) Fail("frame beyond the 16-bit plane");
    if (!f->Empty() && (f->Left() + f->Width() > image.Width() || f->Top() + f->Height() > image.Height()))
      Fail("frame outside the logical screen");
    if (f->ColorMap().Count() > 256) Fail("colour map overflow");
    if (f->Empty() && f->Extensions().Count() == 0) Fail("an empty frame without extensions was kept");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Keep each input's memory small so the fuzzer stays fast; the limits themselves are tested.
  SetGIFReadLimits({std::uint64_t(4) << 20, std::uint64_t(16) << 20});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
  TGIFImage image;
  image.OnWarning = [](TPersistent*, TGIFSeverity, const std::string&) {};
  image.OnProgress = [](TPersistent*, TProgressStage, int percent, bool, const TRect&, const std::string&) {
    if (percent < 0 || percent > 100) Fail("progress out of range");
  };
  try {
    image.LoadFromStream(stream);
  } catch (const GIFException&) {
    if (stream.Position() != 0) Fail("stream not put back after an error");
  }
  CheckConsistent(image);
  if (image.Empty()) return 0;
  // Encoding megapixels under the sanitizers takes seconds; the round trip wants variety, not size.
  std::int64_t pixels = 0;
  for (int i = 0; i < image.Images().Count(); ++i) pixels += image.Images()[i]->DataSize();
  if (pixels > (1 << 20)) return 0;
  // Whatever was read, writing it either succeeds or raises a codec error, and what is written
  // reads back to the same frames.
  TMemoryStream out;
  try {
    image.SaveToStream(out);
  } catch (const GIFException&) {
    return 0;
  }
  out.SetPosition(0);
  TGIFImage again;
  again.OnWarning = image.OnWarning;
  try {
    again.LoadFromStream(out);
  } catch (const GIFException& e) {
    std::fprintf(stderr, "reload: %s\n", e.what());
    Fail("a file we wrote does not read back");
  }
  // Extension-only frames next to each other, or in front of a frame with pixels, cannot be told
  // apart in the file, so only the frames with pixels and the number of extensions must survive.
  auto withPixels = [](TGIFImage& im) {
    std::vector<TGIFFrame*> out;
    for (int i = 0; i < im.Images().Count(); ++i)
      if (!im.Images()[i]->Empty()) out.push_back(im.Images()[i]);
    return out;
  };
  auto extensions = [](TGIFImage& im) {
    int n = 0;
    for (int i = 0; i < im.Images().Count(); ++i) n += im.Images()[i]->Extensions().Count();
    return n;
  };
  std::vector<TGIFFrame*> before = withPixels(image), after = withPixels(again);
  if (before.size() != after.size()) Fail("frame count changed in the round trip");
  if (extensions(image) != extensions(again)) Fail("extension count changed in the round trip");
  for (std::size_t i = 0; i < before.size(); ++i) {
    TGIFFrame* f = before[i];
    TGIFFrame* g = after[i];
    if (f->Width() != g->Width() || f->Height() != g->Height() || f->Left() != g->Left() || f->Top() != g->Top())
      Fail("frame bounds changed in the round trip");
    for (int p = 0; p < f->DataSize(); ++p)
      if (f->Data()[p] != g->Data()[p]) Fail("pixels changed in the round trip");
  }
  return 0;
}
