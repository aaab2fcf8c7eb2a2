// The animated image under construction during one conversion: frames from bitmaps, the looping
// and timing extensions, the file, and the preview page.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gifbuild/browser_opener.h"
#include "graphics/bitmap.h"

namespace clipsmith {

class TSkGIF {
 public:
  // Sets up an empty image reduced with the octree quantiser and Floyd-Steinberg dithering.
  TSkGIF();
  // Drops the references into the image, then releases the image with all its frames.
  ~TSkGIF();
  TSkGIF(const TSkGIF&) = delete;
  TSkGIF& operator=(const TSkGIF&) = delete;

  // Appends a frame made from the bitmap. The first frame gets the NETSCAPE2.0 looping extension
  // unless Loops is 1; every frame gets a graphic control extension with Delay. A failure leaves
  // the image without that frame and propagates.
  void AddFrame(TBitmap& Frame);
  // The same with a bitmap the caller is done with (no copy is made for the worker).
  void AddFrame(TBitmap&& Frame);
  // With ReduceAhead, AddFrame hands the colour reduction of each bitmap to a worker thread and
  // returns at once; the reduced frames join the image in the order they were added, with the
  // same bytes as without. A reduction error then comes out of a later AddFrame or of Flush.
  bool ReduceAhead = false;
  // Appends every frame still being reduced.
  void Flush();

  // Frames added from now on are reduced to the 256 greys (rmGrayScale) with Floyd-Steinberg
  // dithering instead of the octree palette; false returns to the octree.
  void SetGrayScale(bool gray);
  bool GrayScale() const { return FGIFImg->ColorReduction() == TColorReduction::rmGrayScale; }

  // Every frame, once added, is kept as its encoded image data in an unnamed temporary file
  // (beside GIFFileName, else in the temporary folder, else in memory), so that memory does not
  // grow with the clip; its pixels are decoded again when asked for.
  //
  // Writes the image to GIFFileName. The file appears, or replaces an earlier one, only once the
  // whole image was written; a failure leaves any existing file as it was and no temporary file.
  void SaveToDisk();

  // Writes the preview page into the temporary folder and opens it with Opener.
  void MakeGIFPreview();

  // The preview template, one line per string.
  std::vector<std::string> HtmlMemo;
  std::unique_ptr<TGIFImage> FGIFImg;
  // References into FGIFImg, not owned.
  TGIFFrame* FGIFFrame = nullptr;
  TGIFAppExtNSLoop* FLoopExt = nullptr;
  TGIFGraphicControlExtension* FCtrExt = nullptr;

  int Loops = 0;  // 0 repeats forever, 1 plays once, n plays n times
  bool Transparent = false;
  TColor TransColor = 0;
  std::uint32_t Delay = 0;  // milliseconds per frame
  std::string GIFFileName;
  int GIFWidth = 0;
  int GIFHeight = 0;

  // How the preview page is shown; the application puts its desktop opener in front.
  TBrowserOpener Opener;

 private:
  struct TReducedFrame {
    TBitmap Reduced;
    TEncodedImageData Encoded;  // empty when the worker could not encode it
  };
  void AppendFrame(TBitmap& Frame, TEncodedImageData* encoded = nullptr);
  void AppendOldest();
  // Frames wait in FPending in the order they were added; the workers, started with the first
  // frame reduced ahead and kept for the builder's life, take them from FReducer's queue.
  class TReducer;
  std::unique_ptr<TReducer> FReducer;
  std::deque<std::future<TReducedFrame>> FPending;
  bool FStoreChosen = false;
};

namespace detail {
// What the saved file of image can take at most: every frame's pixels LZW-coded at the worst
// (12-bit codes of one pixel each, with the clear codes and the sub-block lengths), plus room
// for the descriptor, the colour table and the extensions the builder writes. Random pixels
// come out at about 1.4 bytes each, well above the pixels themselves.
std::size_t EncodedSizeBound(TGIFImage& image);
}  // namespace detail

}  // namespace clipsmith
