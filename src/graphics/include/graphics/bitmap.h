// The small stand-in for the platform's bitmaps: a raster with a pixel format, a colour table for
// the indexed formats, rows addressed through a signed stride, and the colour-on-colour stretch copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace clipsmith {

// 0x00BBGGRR, red in the low byte.
using TColor = std::uint32_t;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) { return std::uint8_t(c); }
constexpr std::uint8_t GetGValue(TColor c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t GetBValue(TColor c) { return std::uint8_t(c >> 16); }

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// One colour-table entry, in the byte order of a device-independent bitmap.
struct TRGBQuad {
  std::uint8_t rgbBlue = 0;
  std::uint8_t rgbGreen = 0;
  std::uint8_t rgbRed = 0;
  std::uint8_t rgbReserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// A palette entry: red, green, blue and a flags byte.
struct TPaletteEntry {
  std::uint8_t peRed = 0;
  std::uint8_t peGreen = 0;
  std::uint8_t peBlue = 0;
  std::uint8_t peFlags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
using TPalette = std::vector<TPaletteEntry>;

// Raised for impossible bitmap operations (the platform's invalid-graphic-operation error).
class EInvalidGraphicOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the first stored row of the buffer sits on the picture.
enum class TRowOrder { TopDown, BottomUp };

// Bits per pixel of a format; pfDevice is the display's 32-bit blue-green-red-unused format and
// pfCustom is stored the same way.
int BitsPerPixelOf(TPixelFormat pf);
// Bytes per stored row: rows are padded to a multiple of 4 bytes, as device-independent bitmaps are.
std::size_t BytesPerRow(int width, int bitsPerPixel);

// Growing a buffer with it leaves the new bytes as they come, for buffers that are written whole
// right away; sizes that are meant to be cleared say so (assign with a value).
template <class T>
struct TDefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TDefaultInitAllocator<U>;
  };
  TDefaultInitAllocator() = default;
  template <class U>
  TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept(noexcept(U())) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat pf = TPixelFormat::pfDevice,
          TRowOrder order = TRowOrder::TopDown);
  // A bitmap whose pixel bytes are not cleared, for a writer that sets every byte of Bits() at
  // once (as the frame grabber does): clearing 1.2 MB per frame only to overwrite it costs as
  // much as the copy.
  static TBitmap ForOverwrite(int width, int height, TPixelFormat pf, TRowOrder order);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  int BitsPerPixel() const { return BitsPerPixelOf(FPixelFormat); }
  TRowOrder RowOrder() const { return FRowOrder; }

  // New size; the pixels are reallocated and cleared to zero (black, or index 0).
  void SetSize(int width, int height);
  // Converts the pixels in place. Going to an indexed format maps every pixel to the nearest
  // entry of the colour table (the halftone palette when the table is empty).
  void SetPixelFormat(TPixelFormat pf);

  // Row y, counted from the top, whatever the storage order.
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  // Signed distance in bytes from row y to row y + 1.
  std::ptrdiff_t Stride() const;
  // The whole pixel buffer in storage order (first stored row first), for writers that fill it
  // in one go, such as the frame grabber with its bottom-up rows.
  std::span<std::uint8_t> Bits() { return FBits; }
  std::span<const std::uint8_t> Bits() const { return FBits; }

  // Colour table of the indexed formats (up to 2^bits entries); empty for the others.
  std::vector<TRGBQuad>& ColorTable() { return FColorTable; }
  const std::vector<TRGBQuad>& ColorTable() const { return FColorTable; }
  // The bitmap's palette: its colour table as palette entries (empty when it has none).
  TPalette Palette() const;

  // Reads and writes one pixel as a colour; for the indexed formats through the colour table.
  // Coordinates outside the bitmap read black and write nothing.
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);
  // Index value of an indexed pixel; 0 outside the bitmap or for direct-colour formats.
  int GetIndex(int x, int y) const;
  void SetIndex(int x, int y, int index);

  // Transparency as the colour reduction reads it: a transparent bitmap shows the pixels of
  // TransparentColor as see-through.
  bool Transparent = false;
  TColor TransparentColor = clNone;
  // One byte per pixel, top row first, non-zero where the pixel is see-through (empty when the
  // bitmap is not transparent).
  std::vector<std::uint8_t> TransparencyMask() const;

 private:
  // Takes the new size after checking it; returns the bytes its pixels need.
  std::size_t CheckedSize(int width, int height);

  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FPixelFormat = TPixelFormat::pfDevice;
  TRowOrder FRowOrder = TRowOrder::TopDown;
  std::vector<std::uint8_t, TDefaultInitAllocator<std::uint8_t>> FBits;
  std::vector<TRGBQuad> FColorTable;
};

// The colour-on-colour stretch copy: destination pixel (x, y) of the W x H destination rectangle
// takes source pixel (XSrc + floor((2x+1)·SrcW / (2W)), YSrc + floor((2y+1)·SrcH / (2H))), rows
// counted from the top. Source pixels outside the source read black; destination pixels outside
// the destination are skipped. Nothing is averaged.
void StretchCopy(TBitmap& dst, int xDst, int yDst, int wDst, int hDst, const TBitmap& src, int xSrc, int ySrc,
                 int wSrc, int hSrc);

// The same copy one pixel at a time through GetPixel/SetPixel: the reference the fast path is
// tested against.
void StretchCopySlow(TBitmap& dst, int xDst, int yDst, int wDst, int hDst, const TBitmap& src, int xSrc,
                     int ySrc, int wSrc, int hSrc);

// The platform palettes the colour reduction may ask for.
const TPalette& SystemPalette20();  // the 20 reserved system colours
const TPalette& HalftonePalette();  // 20 system colours, the 216 cube, 20 greys

// Nearest palette entry: smallest sum of squared differences, lowest index on ties; -1 for an
// empty palette.
int NearestPaletteIndex(const TPalette& palette, std::uint8_t r, std::uint8_t g, std::uint8_t b);

// The display's colour depth in bits per pixel.
constexpr int kDisplayBitsPerPixel = 32;

}  // namespace clipsmith
