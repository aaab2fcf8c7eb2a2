#include "gif/color_reduction.h"

#include <algorithm>
#include <new>
#include <optional>

#include "graphics/stage_times.h"

namespace clipsmith {

namespace {

TNearestSearch gDefaultNearestSearch = TNearestSearch::Fast;

}  // namespace

TNearestSearch DefaultNearestSearch() { return gDefaultNearestSearch; }
void SetDefaultNearestSearch(TNearestSearch search) { gDefaultNearestSearch = search; }

// ---------------------------------------------------------------------------------------------
// Row access.

TDIBReader::TDIBReader(TBitmap& Bitmap, TPixelFormat PixelFormat) : TDIB(&Bitmap, PixelFormat) {
  if (Bitmap.PixelFormat() != PixelFormat) Bitmap.SetPixelFormat(PixelFormat);
}

TDIBWriter::TDIBWriter(TBitmap& Bitmap, TPixelFormat PixelFormat, int Width, int Height, const TPalette* Palette)
    : TDIB(&Bitmap, PixelFormat), FPalette(Palette), FWidth(Width), FHeight(Height) {
  if (PixelFormat != TPixelFormat::pf8bit && PixelFormat != TPixelFormat::pf24bit)
    throw GIFException(gifmsg::sInvalidPixelFormat);
  if (Width <= 0 || Height <= 0) throw GIFException(gifmsg::sBadDimension);
  if (PixelFormat == TPixelFormat::pf8bit) {
    FColorTable.assign(256, TRGBQuad{});
    const std::size_t n = FPalette ? std::min<std::size_t>(FPalette->size(), 256) : 0;
    for (std::size_t i = 0; i < n; ++i) {
      const TPaletteEntry& e = (*FPalette)[i];
      FColorTable[i] = {e.peBlue, e.peGreen, e.peRed, 0};
    }
    FColorsImportant = int(n);
  }
}

TDIBWriter::~TDIBWriter() {
  try {
    UpdateBitmap();
  } catch (...) {
    // Only a refused allocation can fail here; the target then keeps what it had.
  }
}

void TDIBWriter::AllocateBits() {
  try {
    FDIBBits = TBitmap(FWidth, FHeight, FPixelFormat, TRowOrder::BottomUp);
  } catch (const std::bad_alloc&) {
    throw GIFException(gifmsg::sOutOfMemDIB);
  }
  FDIBBits.ColorTable() = FColorTable;
  FHasBits = true;
}

std::uint8_t* TDIBWriter::RowBits(int Y) {
  if (FHandedOver) throw GIFException(gifmsg::sNoDIB);
  if (!FHasBits) AllocateBits();
  if (Y < 0 || Y >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return FDIBBits.ScanLine(Y);
}

void TDIBWriter::UpdateBitmap() {
  if (FHandedOver) return;
  if (!FHasBits) AllocateBits();
  *FBitmap = std::move(FDIBBits);
  FHandedOver = true;
}

// ---------------------------------------------------------------------------------------------
// Palettes.

TPalette FixedPalette(TColorReduction ColorReduction, const TPalette* CustomPalette) {
  TPalette p;
  switch (ColorReduction) {
    case TColorReduction::rmWindows20:
      return SystemPalette20();
    case TColorReduction::rmWindows256:
      return HalftonePalette();
    case TColorReduction::rmWindowsGray:
      for (std::uint8_t g : {0, 128, 192, 255}) p.push_back({g, g, g, 0});
      return p;
    case TColorReduction::rmMonochrome:
      return {{0, 0, 0, 0}, {255, 255, 255, 0}};
    case TColorReduction::rmGrayScale:
      for (int i = 0; i < 256; ++i) p.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
      return p;
    case TColorReduction::rmNetscape:
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            p.push_back({std::uint8_t(51 * r), std::uint8_t(51 * g), std::uint8_t(51 * b), 0});
      return p;
    case TColorReduction::rmPalette:
      // An index is one byte: entries past 256 could never be used.
      if (CustomPalette)
        p.assign(CustomPalette->begin(), CustomPalette->begin() + std::ptrdiff_t(std::min<std::size_t>(CustomPalette->size(), 256)));
      if (p.empty()) throw GIFException(gifmsg::sInvalidPalette);
      return p;
    default:
      return p;
  }
}

TPalette PaletteFromQuads(std::span<const TRGBQuad> Quads, int Count, bool WithSystemColors) {
  Count = std::clamp(Count, 0, int(std::min<std::size_t>(Quads.size(), 256)));
  TPalette p;
  if (WithSystemColors) {
    Count = std::min(Count, 236);
    p = SystemPalette20();
  }
  p.reserve(p.size() + std::size_t(Count));
  for (int i = 0; i < Count; ++i) {
    const TRGBQuad& q = Quads[std::size_t(i)];
    p.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue, q.rgbReserved});
  }
  return p;
}

TPalette BuildOctreePalette(TDIBReader& Reader, int Colors, int ColorBits, bool WithSystemColors) {
  if (WithSystemColors) Colors = std::min(Colors, 236);
  TRGBQuadArray table{};
  int count;
  {
    TDIBQuantizer quantizer(Colors, ColorBits);
    quantizer.ProcessImage(Reader);
    quantizer.GetColorTable(table);
    count = quantizer.FLeafCount;
  }
  return PaletteFromQuads(table, count, WithSystemColors);
}

// ---------------------------------------------------------------------------------------------
// Lookups, engines and the reduction.

std::unique_ptr<TColorLookup> MakeColorLookup(const TPalette& Palette, TColorReduction ColorReduction) {
  switch (ColorReduction) {
    case TColorReduction::rmMonochrome: return std::make_unique<TMonochromeLookup>(Palette);
    case TColorReduction::rmGrayScale: return std::make_unique<TGrayScaleLookup>(Palette);
    case TColorReduction::rmNetscape: return std::make_unique<TNetscapeColorLookup>(Palette);
    default: return std::make_unique<TSlowColorLookup>(Palette, DefaultNearestSearch());
  }
}

std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode DitherMode, int Width, TColorLookup& Lookup) {
  switch (DitherMode) {
    case TDitherMode::dmNearest: return std::make_unique<TDitherEngine>(Width, Lookup);
    case TDitherMode::dmFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
    case TDitherMode::dmStucki: return std::make_unique<TStuckiDitherer>(Width, Lookup);
    case TDitherMode::dmSierra: return std::make_unique<TSierraDitherer>(Width, Lookup);
    case TDitherMode::dmJaJuNI: return std::make_unique<TJaJuNiDitherer>(Width, Lookup);
    case TDitherMode::dmSteveArche: return std::make_unique<TSteveArcheDitherer>(Width, Lookup);
    case TDitherMode::dmBurkes: return std::make_unique<TBurkesDitherer>(Width, Lookup);
  }
  return nullptr;
}

TBitmap QuantizeBitmap(TBitmap& Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode, int ReductionBits,
                       const TPalette* CustomPalette) {
  TBitmap result;
  if (ColorReduction == TColorReduction::rmNone) {
    result = Bitmap;
    result.SetPixelFormat(TPixelFormat::pf24bit);
    return result;
  }
  // More than 8 bits would ask for palettes whose indices do not fit in a byte.
  if (ReductionBits < 1 || ReductionBits > 8) throw GIFException(gifmsg::sInvalidBitSize);

  std::optional<TDIBReader> converted;
  {
    TStageTimer timer(TStage::Other);
    converted.emplace(Bitmap, TPixelFormat::pf24bit);
  }
  TDIBReader& reader = *converted;
  TPalette palette;
  {
    TStageTimer timer(TStage::Octree);
    switch (ColorReduction) {
      case TColorReduction::rmQuantize:
        palette = BuildOctreePalette(reader, 1 << ReductionBits, 6, false);
        break;
      case TColorReduction::rmQuantizeWindows:
        palette = BuildOctreePalette(reader, 1 << ReductionBits, 6, true);
        break;
      default:
        palette = FixedPalette(ColorReduction, CustomPalette);
        break;
    }
  }

  std::unique_ptr<TColorLookup> lookup = MakeColorLookup(palette, ColorReduction);
  if (lookup->FColors == 0) return result;
  std::unique_ptr<TDitherEngine> engine = MakeDitherer(DitherMode, reader.Width(), *lookup);
  if (!engine) return result;

  TStageTimer timer(TStage::Dithering);
  TDIBWriter writer(result, TPixelFormat::pf8bit, reader.Width(), reader.Height(), &palette);
  engine->Reset();
  for (int y = 0; y < reader.Height(); ++y) {
    const std::uint8_t* src = reader.RowBits(y);
    std::uint8_t* dst = writer.RowBits(y);
    engine->DitherRow(src, dst);
    engine->NextLine();
  }
  writer.UpdateBitmap();
  return result;
}

}  // namespace clipsmith
