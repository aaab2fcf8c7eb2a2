// Colour lookups: for one wanted colour, which palette index to use and what colour that index
// really has. The dithering engines call them once per pixel.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    if (FSearch == TNearestSearch::Fast) {
      const std::uint32_t e = NearestFastEntry(Red, Green, Blue);
      R = int(e & 0xFF), G = int((e >> 8) & 0xFF), B = int((e >> 16) & 0xFF);
      return std::uint8_t(e >> 24);
    }
    const int i = NearestBruteForce(Red, Green, Blue);
    ColorOf(i, R, G, B);
    return std::uint8_t(i);
  }
  // The colour of entry i (black for an empty palette's entry 0).
  void ColorOf(int i, int& R, int& G, int& B) const {
    R = FRed[std::size_t(i)];
    G = FGreen[std::size_t(i)];
    B = FBlue[std::size_t(i)];
  }

  // Every entry, the lowest index kept on ties: the reference.
  int NearestBruteForce(int red, int green, int blue) const;
  // The same entry from the candidates of the colour's cell.
  int NearestFast(int red, int green, int blue) { return int(NearestFastEntry(red, green, blue) >> 24); }
  // The nearest entry packed as index << 24 | blue << 16 | green << 8 | red.
  std::uint32_t NearestFastEntry(int red, int green, int blue) {
    return NearestFastEntryOf(std::uint32_t(red) | (std::uint32_t(green) << 8) | (std::uint32_t(blue) << 16));
  }
  // The same for the colour packed as blue << 16 | green << 8 | red.
  std::uint32_t NearestFastEntryOf(std::uint32_t key) { return std::uint32_t(*RecentSlotOf(key)); }
  // Dithered pixels come back to the same few colours again and again: the answers of recent
  // colours are remembered, each under its whole colour, so a hit is the answer itself. The slot
  // of the colour packed as above, key << 32 | packed entry, the answer put in first on a miss
  // (a row loop reads the entry from it straight into its vector registers).
  const std::uint64_t* RecentSlotOf(std::uint32_t key) {
    std::uint64_t& slot = FRecent[(key * 0x9E3779B1u) >> (32 - kRecentBits)];
    if (std::uint32_t(slot >> 32) != key) [[unlikely]]
      slot = (std::uint64_t(key) << 32) | NearestOfCell(int(key & 0xFF), int((key >> 8) & 0xFF), int(key >> 16));
    return &slot;
  }
  // The same from the candidates of the colour's cell, remembering nothing.
  std::uint32_t NearestOfCell(int red, int green, int blue) {
    const std::uint32_t cell = CellOf(red, green, blue);
    std::uint32_t entry = FCells[cell];
    if (entry == kUnknownCell) entry = BuildCell(cell);
    const std::uint32_t* c = FCandidates.data() + std::size_t(entry >> 7) * 4;
    const std::uint32_t groups = entry & 0x7F;
    if (groups == 0) {
      // At most three candidates: the distances side by side, no vector round trip.
      const std::uint32_t e0 = c[0], e1 = c[1], e2 = c[2];
      const int r0 = int(e0 & 0xFF) - red, g0 = int((e0 >> 8) & 0xFF) - green, b0 = int((e0 >> 16) & 0xFF) - blue;
      const int r1 = int(e1 & 0xFF) - red, g1 = int((e1 >> 8) & 0xFF) - green, b1 = int((e1 >> 16) & 0xFF) - blue;
      const int r2 = int(e2 & 0xFF) - red, g2 = int((e2 >> 8) & 0xFF) - green, b2 = int((e2 >> 16) & 0xFF) - blue;
      const int d0 = r0 * r0 + g0 * g0 + b0 * b0, d1 = r1 * r1 + g1 * g1 + b1 * b1, d2 = r2 * r2 + g2 * g2 + b2 * b2;
      // Earlier candidates have lower indices: they win ties.
      const std::uint32_t e01 = d1 < d0 ? e1 : e0;
      const int d01 = d1 < d0 ? d1 : d0;
      return d2 < d01 ? e2 : e01;
    }
    return FPacked[BestOfGroups(c, groups, red, green, blue)];
  }

  TNearestSearch Search() const { return FSearch; }
  // Cells whose candidate lists have been built, and the candidates they hold (for measuring).
  int BuiltCells() const { return FBuiltCells; }
  std::size_t CandidateCount() const { return FCandidateTotal; }

  // The lookup's own copy of the entries.
  const TPalette& FPaletteEntries() const { return FEntries; }

  static constexpr int kCellShift = 4;  // cells of 16 x 16 x 16 colours
  static constexpr int kCellsPerAxis = 256 >> kCellShift;
  // Cells are built from the candidates of the block of 32 x 32 x 32 colours they lie in, which
  // are built from the whole palette.
  static constexpr int kBlockShift = 5;
  static constexpr int kBlocksPerAxis = 256 >> kBlockShift;

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
  // The index of the nearest, then lowest-index, candidate among groups of four packed entries.
  static std::uint8_t BestOfGroups(const std::uint32_t* c, std::uint32_t groups, int red, int green, int blue);
  std::uint32_t BuildBlock(std::uint32_t block);
  struct TBox {
    int RLo, RHi, GLo, GHi, BLo, BHi;
  };
  static TBox BoxOf(std::uint32_t cell, int shift);
  // Writes to out the candidates of the box among n entries (colours and indices) and returns
  // how many there are.
  std::size_t DropDominated(const TBox& box, std::uint8_t* picked, std::size_t count) const;
  static int SelectCandidates(const TBox& box, const int* red, const int* green, const int* blue,
                              const std::uint8_t* index, int n, std::uint8_t* out);

  TPalette FEntries;
  TNearestSearch FSearch;
  // The entries one channel at a time, padded to 256 so that the loops over them vectorise.
  alignas(32) std::array<int, 256> FRed{};
  alignas(32) std::array<int, 256> FGreen{};
  alignas(32) std::array<int, 256> FBlue{};
  // The entries packed as index << 24 | blue << 16 | green << 8 | red.
  std::array<std::uint32_t, 256> FPacked{};
  // Recent answers: colour << 32 | packed entry, at a hash of the colour; an empty slot holds a
  // colour no wanted colour has (all ones).
  static constexpr int kRecentBits = 12;
  std::vector<std::uint64_t> FRecent;
  // Per cell: (offset into FCandidates / 4) << 7 | number of groups of four (0 for one group of
  // at most three candidates), or kUnknownCell.
  std::vector<std::uint32_t> FCells;
  // Candidate entries packed as in NearestFastEntry, in index order, in groups of four.
  std::vector<std::uint32_t> FCandidates;
  int FBuiltCells = 0;
  std::size_t FCandidateTotal = 0;
  // The same for the blocks.
  std::vector<std::uint32_t> FBlocks;
  std::vector<std::uint8_t> FBlockIndex;
  std::vector<int> FBlockRed, FBlockGreen, FBlockBlue;
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

// Candidates are kept in index order, groups of four padded with a repeat of the last one. The
// key orders by distance, then by index, so its minimum is the nearest entry with the lowest
// index; a cell of at most four candidates (the common case) costs no data-dependent branch.
inline std::uint8_t TSlowColorLookup::BestOfGroups(const std::uint32_t* c, std::uint32_t groups, int red, int green,
                                                   int blue) {
#if defined(__SSE2__)
  const __m128i want = _mm_set_epi16(0, short(blue), short(green), short(red), 0, short(blue), short(green), short(red));
  const __m128i channels = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
  const __m128i zero = _mm_setzero_si128();
  __m128i best = _mm_set1_epi32(INT_MAX);
  do {
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    // Entries 0, 1 and 2, 3 as 16-bit red, green, blue, 0 each, minus the wanted colour.
    const __m128i d01 = _mm_sub_epi16(_mm_and_si128(_mm_unpacklo_epi8(e, zero), channels), want);
    const __m128i d23 = _mm_sub_epi16(_mm_and_si128(_mm_unpackhi_epi8(e, zero), channels), want);
    // dr*dr + dg*dg and db*db per entry.
    const __m128 s01 = _mm_castsi128_ps(_mm_madd_epi16(d01, d01));
    const __m128 s23 = _mm_castsi128_ps(_mm_madd_epi16(d23, d23));
    const __m128i rg = _mm_castps_si128(_mm_shuffle_ps(s01, s23, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i b = _mm_castps_si128(_mm_shuffle_ps(s01, s23, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i key = _mm_or_si128(_mm_slli_epi32(_mm_add_epi32(rg, b), 8), _mm_srli_epi32(e, 24));
    const __m128i less = _mm_cmplt_epi32(key, best);
    best = _mm_or_si128(_mm_and_si128(less, key), _mm_andnot_si128(less, best));
    c += 4;
  } while (--groups != 0);
  __m128i other = _mm_shuffle_epi32(best, _MM_SHUFFLE(1, 0, 3, 2));
  __m128i less = _mm_cmplt_epi32(other, best);
  best = _mm_or_si128(_mm_and_si128(less, other), _mm_andnot_si128(less, best));
  other = _mm_shuffle_epi32(best, _MM_SHUFFLE(2, 3, 0, 1));
  less = _mm_cmplt_epi32(other, best);
  best = _mm_or_si128(_mm_and_si128(less, other), _mm_andnot_si128(less, best));
  return std::uint8_t(_mm_cvtsi128_si32(best));
#else
  int best = INT_MAX;
  do {
    for (int k = 0; k < 4; ++k) {
      const std::uint32_t e = c[k];
      const int dr = int(e & 0xFF) - red, dg = int((e >> 8) & 0xFF) - green, db = int((e >> 16) & 0xFF) - blue;
      const int key = ((dr * dr + dg * dg + db * db) << 8) | int(e >> 24);
      best = key < best ? key : best;
    }
    c += 4;
  } while (--groups != 0);
  return std::uint8_t(best);
#endif
}

}  // namespace clipsmith
