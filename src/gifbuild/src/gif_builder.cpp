#include "gifbuild/gif_builder.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "gif/color_reduction.h"
#include "gifbuild/html_preview.h"
#include "graphics/stage_times.h"
#include "graphics/stream.h"
#include "replace_file.h"

namespace clipsmith {

// Worker threads that live as long as the builder: a thread per frame would be started and
// torn down for every frame, and each would build its own LZW string table again.
class TSkGIF::TReducer {
 public:
  explicit TReducer(std::size_t workers) {
    for (std::size_t i = 0; i < workers; ++i) FThreads.emplace_back([this] { Run(); });
  }
  ~TReducer() {
    {
      std::lock_guard lk(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    for (std::thread& t : FThreads) t.join();
  }
  TReducer(const TReducer&) = delete;
  TReducer& operator=(const TReducer&) = delete;

  std::size_t Workers() const { return FThreads.size(); }

  std::future<TReducedFrame> Submit(std::packaged_task<TReducedFrame()> task) {
    std::future<TReducedFrame> result = task.get_future();
    {
      std::lock_guard lk(FMutex);
      FQueue.push_back(std::move(task));
    }
    FWake.notify_one();
    return result;
  }

 private:
  void Run() {
    for (;;) {
      std::packaged_task<TReducedFrame()> task;
      {
        std::unique_lock lk(FMutex);
        FWake.wait(lk, [this] { return FStop || !FQueue.empty(); });
        // Tasks still queued at the end are dropped: their frames were never asked for.
        if (FStop) return;
        task = std::move(FQueue.front());
        FQueue.pop_front();
      }
      task();
    }
  }

  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::packaged_task<TReducedFrame()>> FQueue;
  bool FStop = false;
  std::vector<std::thread> FThreads;
};

TSkGIF::TSkGIF()
    : HtmlMemo(PreviewTemplate()), FGIFImg(std::make_unique<TGIFImage>()), Opener(DefaultBrowserOpener()) {
  FGIFImg->SetColorReduction(TColorReduction::rmQuantize);
  FGIFImg->SetDitherMode(TDitherMode::dmFloydSteinberg);
}

TSkGIF::~TSkGIF() {
  // Reductions still running finish before the image goes; their results are dropped.
  FReducer.reset();
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
  if (!FReducer) FReducer = std::make_unique<TReducer>(std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8));
  FPending.push_back(FReducer->Submit(std::packaged_task<TReducedFrame()>([source = std::move(Frame), reduction, dither, bits]() mutable {
    TReducedFrame out;
    out.Reduced = QuantizeBitmap(source, reduction, dither, bits, nullptr);
    source = TBitmap();
    // The frame's image data is encoded here too, from the very pixels the image takes from the
    // reduced bitmap (the same import into a frame of a scratch image). The frame checks that
    // they match before it uses them.
    TGIFImage scratch;
    TGIFFrame* frame;
    {
      TStageTimer timer(TStage::Other);
      frame = scratch.Add(out.Reduced);
    }
    if (!frame->Empty() && frame->ColorMap().Count() > 0)
      TGIFFrame::EncodeImageData(frame->Data(), frame->Width(), frame->Height(), frame->Interlaced(),
                                 frame->ColorMap().BitsPerPixel(), frame->ColorMap().Count(), out.Encoded);
    return out;
  })));
  // One frame waiting beyond those being reduced keeps every worker busy while the next frame is
  // decoded; no more are held, so memory stays at a few frames.
  const std::size_t inFlight = FReducer->Workers() + 1;
  while (FPending.size() > inFlight) AppendOldest();
}

void TSkGIF::SetGrayScale(bool gray) {
  FGIFImg->SetColorReduction(gray ? TColorReduction::rmGrayScale : TColorReduction::rmQuantize);
  FGIFImg->SetDitherMode(TDitherMode::dmFloydSteinberg);
}

void TSkGIF::Flush() {
  while (!FPending.empty()) AppendOldest();
}

void TSkGIF::AppendOldest() {
  std::future<TReducedFrame> next = std::move(FPending.front());
  FPending.pop_front();
  // An indexed bitmap is taken over as it is: the same indices and 256-entry colour table the
  // frame would have made from the true-colour one.
  TReducedFrame reduced = next.get();
  AppendFrame(reduced.Reduced, &reduced.Encoded);
}

void TSkGIF::AppendFrame(TBitmap& Frame, TEncodedImageData* encoded) {
  if (!FStoreChosen) {
    // Frames wait for the file in their encoded form on disk: beside the file to be, where the
    // room for it is needed anyway, else in the temporary folder, else in memory.
    std::vector<std::string> folders;
    if (!GIFFileName.empty()) {
      std::filesystem::path dir = std::filesystem::path(GIFFileName).parent_path();
      folders.push_back(dir.empty() ? std::string(".") : dir.string());
    }
    folders.push_back(GetTempDir());
    FGIFImg->SetFrameStore(MakeFrameStore(folders));
    FStoreChosen = true;
  }
  {
    TStageTimer timer(TStage::Other);
    FGIFFrame = FGIFImg->Add(Frame);
  }

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

  // From here on the frame costs its encoded bytes, not its pixels.
  if (encoded)
    FGIFFrame->Compact(std::move(*encoded));
  else
    FGIFFrame->Compact();
}

namespace detail {

std::size_t EncodedSizeBound(TGIFImage& image) {
  // One code per pixel at worst, a clear code each time the 4096 codes run out (at least 3838
  // codes apart), 12 bits each, and a length byte before every 255 bytes.
  constexpr std::size_t kCodesPerClear = 4096 - 258;
  std::size_t bound = 1024;  // header, global colour table, loop extension, trailer
  for (int i = 0; i < image.Images().Count(); ++i) {
    const std::size_t pixels = std::size_t(image.Images()[i]->DataSize());
    const std::size_t codes = pixels + pixels / kCodesPerClear + 3;
    const std::size_t lzw = (codes * 12 + 7) / 8;
    bound += lzw + lzw / 255 + 2 + 2048;
  }
  return bound;
}

}  // namespace detail

void TSkGIF::SaveToDisk() {
  Flush();
  // Nothing to write is told before any file is touched.
  if (FGIFImg->Version() == TGIFVersion::gvUnknown) throw GIFException(gifmsg::sNoFrames);
  // Written as it is encoded into a temporary file that takes the name only once complete; an
  // encoding or write error removes it, so neither leaves a trace.
  TStageTimer timer(TStage::Write);
  detail::ReplaceFileWith(GIFFileName, [this](TStream& out) { FGIFImg->SaveToStream(out); });
}

void TSkGIF::MakeGIFPreview() {
  Flush();
  std::string pagePath = PreviewPagePath();
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
