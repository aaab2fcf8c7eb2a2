// Colour reduction: turns a bitmap of any format into an 8-bit indexed bitmap on a fixed or an
// optimised palette, through a colour lookup and a dithering engine.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "gif/color_lookup.h"
#include "gif/dither.h"
#include "gif/gif_types.h"
#include "gif/octree_quantizer.h"
#include "graphics/bitmap.h"

namespace clipsmith {

// Row access to a bitmap in a fixed pixel format.
class TDIB {
 public:
  TDIB(const TDIB&) = delete;
  TDIB& operator=(const TDIB&) = delete;
  virtual ~TDIB() = default;
  // Address of row Y, the top row being 0.
  virtual std::uint8_t* RowBits(int Y) = 0;
  TPixelFormat PixelFormat() const { return FPixelFormat; }

 protected:
  TDIB(TBitmap* bitmap, TPixelFormat pixelFormat) : FBitmap(bitmap), FPixelFormat(pixelFormat) {}
  TBitmap* FBitmap;  // not owned
  TPixelFormat FPixelFormat;
};

// Reads an existing bitmap; the bitmap is converted in place to the requested format.
class TDIBReader final : public TDIB {
 public:
  TDIBReader(TBitmap& Bitmap, TPixelFormat PixelFormat);
  std::uint8_t* RowBits(int Y) override { return FBitmap->ScanLine(Y); }
  int Width() const { return FBitmap->Width(); }
  int Height() const { return FBitmap->Height(); }
  // Signed distance from one row to the next, for loops that walk rows by pointer.
  std::ptrdiff_t Stride() const { return FBitmap->Stride(); }
};

// Builds a new 8-bit or 24-bit image for a target bitmap. The 8-bit image has rows stored
// bottom-up, each padded to a multiple of 4 bytes, and a colour table of exactly 256 entries: the
// palette's entries in order, then black. Released, it hands the image to the target.
class TDIBWriter final : public TDIB {
 public:
  TDIBWriter(TBitmap& Bitmap, TPixelFormat PixelFormat, int Width, int Height, const TPalette* Palette);
  ~TDIBWriter() override;
  // Row Y of the new image; the pixel memory is allocated on the first call.
  std::uint8_t* RowBits(int Y) override;
  // Hands the image to the target bitmap (also done on release).
  void UpdateBitmap();

  // The header's counts: colours used (256 for 8 bits, 0 for 24) and colours important (the
  // palette's entries).
  int ColorsUsed() const { return int(FColorTable.size()); }
  int ColorsImportant() const { return FColorsImportant; }

 private:
  void AllocateBits();

  const TPalette* FPalette;  // not owned
  int FWidth;
  int FHeight;
  std::vector<TRGBQuad> FColorTable;
  int FColorsImportant = 0;
  TBitmap FDIBBits;
  bool FHasBits = false;
  bool FHandedOver = false;
};

// The reduced bitmap: 8 bits per pixel with the palette's colours, or a 24-bit copy for rmNone.
// The source is read as 24 bits per pixel and converted in place when it had another format.
// CustomPalette is read only for rmPalette.
TBitmap QuantizeBitmap(TBitmap& Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode, int ReductionBits,
                       const TPalette* CustomPalette);

// The palette of methods rmWindows20 .. rmNetscape and rmPalette; empty (no palette) for the others.
TPalette FixedPalette(TColorReduction ColorReduction, const TPalette* CustomPalette);

std::unique_ptr<TColorLookup> MakeColorLookup(const TPalette& Palette, TColorReduction ColorReduction);
// Null for a mode that has no engine.
std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode DitherMode, int Width, TColorLookup& Lookup);

// The octree palette of the reader's image: at most Colors leaf colours (236 with the system
// colours, which then come first).
TPalette BuildOctreePalette(TDIBReader& Reader, int Colors, int ColorBits, bool WithSystemColors);
TPalette PaletteFromQuads(std::span<const TRGBQuad> Quads, int Count, bool WithSystemColors);

// The search the default lookup class (TSlowColorLookup) is made with. Brute force serves only as
// the reference that tests and measurements compare the fast search with.
TNearestSearch DefaultNearestSearch();
void SetDefaultNearestSearch(TNearestSearch search);

}  // namespace clipsmith
