// Colour lookups: for one wanted colour, which palette index to use and what colour that index
// really has. The dithering engines call them once per pixel.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"

namespace clipsmith {

// Which concrete lookup an object is, so that a row loop can be instantiated for it once per row
// instead of making a virtual call per pixel.
enum class TLookupKind { Slow, Netscape, GrayScale, Monochrome };

class TColorLookup {
 public:
  TColorLookup(const TColorLookup&) = delete;
  TColorLookup& operator=(const TColorLookup&) = delete;
  virtual ~TColorLookup() = default;

  // Red, Green, Blue: the wanted colour (0..255 each). R, G, B receive the colour of the entry.
  virtual std::uint8_t Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) = 0;

  TLookupKind Kind() const { return FKind; }
  // Number of colours the lookup can return; 0 means unusable.
  int FColors = 0;

 protected:
  explicit TColorLookup(TLookupKind kind) : FKind(kind) {}

 private:
  TLookupKind FKind;
};

// How the nearest palette entry is found. Both give the same index for every colour: the entry
// with the smallest sum of squared differences, the lowest index on ties.
enum class TNearestSearch {
  Fast,        // candidate lists per block of the colour cube, built on demand
  BruteForce,  // every entry for every colour: the reference
};

// Nearest entry of an arbitrary palette (at most 256 entries are used).
class TSlowColorLookup final : public TColorLookup {
 public:
  explicit TSlowColorLookup(const TPalette& palette, TNearestSearch search = TNearestSearch::Fast);
  ~TSlowColorLookup() override;

  std::uint8_t Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override {
    return LookupInline(Red, Green, Blue, R, G, B);
  }

  // The non-virtual form the row loops use.
  std::uint8_t LookupInline(int Red, int Green, int Blue, int& R, int& G, int& B) {
    int i = FSearch == TNearestSearch::Fast ? NearestFast(Red, Green, Blue) : NearestBruteForce(Red, Green, Blue);
    ColorOf(i, R, G, B);
    return std::uint8_t(i);
  }
  // The colour of entry i (black for an empty palette's entry 0).
  void ColorOf(int i, int& R, int& G, int& B) const {
    R = FRed[std::size_t(i)];
    G = FGreen[std::size_t(i)];
    B = FBlue[std::size_t(i)];
  }

  int NearestBruteForce(int red, int green, int blue) const;
  int NearestFast(int red, int green, int blue) {
    const std::uint32_t cell = CellOf(red, green, blue);
    std::uint32_t entry = FCells[cell];
    if (entry == kUnknownCell) entry = BuildCell(cell);
    const std::uint8_t* c = FCandidates.data() + (entry >> 9);
    const std::uint32_t n = entry & 0x1FF;
    int best = c[0];
    int bestDist = Distance(best, red, green, blue);
    for (std::uint32_t k = 1; k < n; ++k) {
      const int d = Distance(c[k], red, green, blue);
      // Candidates are in index order, so a strict comparison keeps the lowest index on ties.
      if (d < bestDist) {
        bestDist = d;
        best = c[k];
      }
    }
    return best;
  }

  TNearestSearch Search() const { return FSearch; }
  // Cells whose candidate lists have been built, and the candidates they hold (for measuring).
  int BuiltCells() const { return FBuiltCells; }
  std::size_t CandidateCount() const { return FCandidates.size(); }

  // The lookup's own copy of the entries.
  const TPalette& FPaletteEntries() const { return FEntries; }

  static constexpr int kCellShift = 3;  // cells of 8 x 8 x 8 colours
  static constexpr int kCellsPerAxis = 256 >> kCellShift;

 private:
  static constexpr std::uint32_t kUnknownCell = 0xFFFFFFFFu;
  static std::uint32_t CellOf(int r, int g, int b) {
    return (std::uint32_t(r >> kCellShift) * kCellsPerAxis + std::uint32_t(g >> kCellShift)) * kCellsPerAxis +
           std::uint32_t(b >> kCellShift);
  }
  int Distance(int i, int r, int g, int b) const {
    const int dr = FRed[std::size_t(i)] - r, dg = FGreen[std::size_t(i)] - g, db = FBlue[std::size_t(i)] - b;
    return dr * dr + dg * dg + db * db;
  }
  std::uint32_t BuildCell(std::uint32_t cell);

  TPalette FEntries;
  TNearestSearch FSearch;
  // The entries one channel at a time, padded to 256 so that the loops over them vectorise.
  alignas(32) std::array<int, 256> FRed{};
  alignas(32) std::array<int, 256> FGreen{};
  alignas(32) std::array<int, 256> FBlue{};
  // Per cell: (offset into FCandidates << 9) | candidate count, or kUnknownCell.
  std::vector<std::uint32_t> FCells;
  std::vector<std::uint8_t> FCandidates;
  int FBuiltCells = 0;
};

// The 216-colour cube, entry r*36 + g*6 + b = (51r, 51g, 51b).
class TNetscapeColorLookup final : public TColorLookup {
 public:
  explicit TNetscapeColorLookup(const TPalette&) : TColorLookup(TLookupKind::Netscape) { FColors = 216; }
  std::uint8_t Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override {
    return LookupInline(Red, Green, Blue, R, G, B);
  }
  static std::uint8_t LookupInline(int Red, int Green, int Blue, int& R, int& G, int& B) {
    const int kr = (Red + 3) / 51, kg = (Green + 3) / 51, kb = (Blue + 3) / 51;
    R = 51 * kr;
    G = 51 * kg;
    B = 51 * kb;
    return std::uint8_t(kr * 36 + kg * 6 + kb);
  }
};

// 256 greys, entry i = (i, i, i).
class TGrayScaleLookup final : public TColorLookup {
 public:
  explicit TGrayScaleLookup(const TPalette&) : TColorLookup(TLookupKind::GrayScale) { FColors = 256; }
  std::uint8_t Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override {
    return LookupInline(Red, Green, Blue, R, G, B);
  }
  static std::uint8_t LookupInline(int Red, int Green, int Blue, int& R, int& G, int& B) {
    const int y = (77 * Red + 150 * Green + 29 * Blue) >> 8;
    R = G = B = y;
    return std::uint8_t(y);
  }
};

// Black and white.
class TMonochromeLookup final : public TColorLookup {
 public:
  explicit TMonochromeLookup(const TPalette&) : TColorLookup(TLookupKind::Monochrome) { FColors = 2; }
  std::uint8_t Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override {
    return LookupInline(Red, Green, Blue, R, G, B);
  }
  static std::uint8_t LookupInline(int Red, int Green, int Blue, int& R, int& G, int& B) {
    if (77 * Red + 150 * Green + 29 * Blue > 32512) {
      R = G = B = 255;
      return 1;
    }
    R = G = B = 0;
    return 0;
  }
};

}  // namespace clipsmith
