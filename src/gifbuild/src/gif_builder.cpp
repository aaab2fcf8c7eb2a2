#include "gifbuild/gif_builder.h"

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
  FGIFFrame = nullptr;
  FLoopExt = nullptr;
  FCtrExt = nullptr;
  FGIFImg.reset();
}

void TSkGIF::AddFrame(TBitmap& Frame) {
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
  // The whole file is encoded before anything touches the disk, so an encoding error leaves no
  // trace there either.
  TMemoryStream encoded;
  FGIFImg->SaveToStream(encoded);
  detail::ReplaceFileWith(GIFFileName, encoded.Memory());
}

void TSkGIF::MakeGIFPreview() {
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
