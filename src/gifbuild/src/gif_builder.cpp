#include "gifbuild/gif_builder.h"

#include <algorithm>
#include <thread>

#include "gif/color_reduction.h"
#include "gifbuild/html_preview.h"
#include "graphics/stream.h"
#include "replace_file.h"

namespace clipsmith {

TSkGIF::TSkGIF()
    : HtmlMemo(PreviewTemplate()), FGIFImg(std::make_unique<TGIFImage>()), Opener(DefaultBrowserOpener()) {
  FGIFImg->SetColorReduction(TColorReduction::rmQuantize);
  FGIFImg->SetDitherMode(TDitherMode::dmFloydSteinberg);
}

TSkGIF::~TSkGIF() {
  // Reductions still running finish before the image goes; their results are dropped.
  FPending.clear();
  FGIFFrame = nullptr;
  FLoopExt = nullptr;
  FCtrExt = nullptr;
  FGIFImg.reset();
}

void TSkGIF::AddFrame(TBitmap& Frame) {
  if (!ReduceAhead) {
    AppendFrame(Frame);
    return;
  }
  // The worker gets its own copy: the caller may reuse or release its bitmap right away.
  AddFrame(TBitmap(Frame));
}

void TSkGIF::AddFrame(TBitmap&& Frame) {
  if (!ReduceAhead) {
    AppendFrame(Frame);
    return;
  }
  const TColorReduction reduction = FGIFImg->ColorReduction();
  const TDitherMode dither = FGIFImg->DitherMode();
  const int bits = FGIFImg->ReductionBits();
  const bool indexed = Frame.PixelFormat() == TPixelFormat::pf1bit || Frame.PixelFormat() == TPixelFormat::pf4bit ||
                       Frame.PixelFormat() == TPixelFormat::pf8bit;
  if (Frame.Empty() || indexed || reduction == TColorReduction::rmNone || reduction == TColorReduction::rmPalette) {
    // Nothing to reduce ahead (or a reduction that needs the bitmap's own palette): in order, now.
    Flush();
    AppendFrame(Frame);
    return;
  }
  FPending.push_back(std::async(std::launch::async, [source = std::move(Frame), reduction, dither, bits]() mutable {
    return QuantizeBitmap(source, reduction, dither, bits, nullptr);
  }));
  const std::size_t inFlight = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
  while (FPending.size() > inFlight) AppendOldest();
}

void TSkGIF::Flush() {
  while (!FPending.empty()) AppendOldest();
}

void TSkGIF::AppendOldest() {
  std::future<TBitmap> next = std::move(FPending.front());
  FPending.pop_front();
  // An indexed bitmap is taken over as it is: the same indices and 256-entry colour table the
  // frame would have made from the true-colour one.
  TBitmap reduced = next.get();
  AppendFrame(reduced);
}

void TSkGIF::AppendFrame(TBitmap& Frame) {
  FGIFFrame = FGIFImg->Add(Frame);

  if (FGIFImg->Images().Count() == 1 && Loops != 1) {
    FLoopExt = TGIFExtension::Create<TGIFAppExtNSLoop>(FGIFFrame);
    // The file stores repetitions after the first play; 0 stays "forever".
    FLoopExt->SetLoops(Loops == 0 ? 0 : int(unsigned(Loops - 1) & 0xFFFFu));
    FGIFFrame->Extensions().Add(FLoopExt);
  }

  FCtrExt = TGIFExtension::Create<TGIFGraphicControlExtension>(FGIFFrame);
  FCtrExt->SetTransparent(Transparent);
  if (Transparent && FGIFFrame->ColorMap().IndexOf(TransColor) != -1) FCtrExt->SetTransparentColor(TransColor);
  FCtrExt->SetDelay(int((Delay / 10) & 0xFFFFu));
  FGIFFrame->Extensions().Add(FCtrExt);
}

void TSkGIF::SaveToDisk() {
  Flush();
  // The whole file is encoded before anything touches the disk, so an encoding error leaves no
  // trace there either.
  TMemoryStream encoded;
  // LZW output stays below the pixels plus an eighth; reserving that up front avoids copying a
  // growing buffer of many megabytes while every frame is still in memory.
  std::size_t bound = 1024;
  for (int i = 0; i < FGIFImg->Images().Count(); ++i)
    bound += std::size_t(FGIFImg->Images()[i]->DataSize()) * 9 / 8 + 2048;
  encoded.Reserve(bound);
  FGIFImg->SaveToStream(encoded);
  detail::ReplaceFileWith(GIFFileName, encoded.Memory());
}

void TSkGIF::MakeGIFPreview() {
  Flush();
  std::string pagePath = GetTempDir() + kPreviewFileName;
  TPreviewValues values;
  values.GIFFileName = GIFFileName;
  values.SizeText = GetGIFSizeText(*FGIFImg);
  values.GIFWidth = GIFWidth;
  values.GIFHeight = GIFHeight;
  values.Loops = Loops;
  values.TotalFrames = FGIFImg->Images().Count();
  WritePreviewPage(pagePath, FillPreviewTemplate(HtmlMemo, values));
  OpenInBrowser(Opener, pagePath);
}

}  // namespace clipsmith
