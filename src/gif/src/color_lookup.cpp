#include "gif/color_lookup.h"

#include <algorithm>
#include <climits>

namespace clipsmith {

TSlowColorLookup::TSlowColorLookup(const TPalette& palette, TNearestSearch search)
    : TColorLookup(TLookupKind::Slow), FSearch(search) {
  const std::size_t n = std::min<std::size_t>(palette.size(), 256);
  FEntries.assign(palette.begin(), palette.begin() + std::ptrdiff_t(n));
  FColors = int(n);
  for (std::size_t i = 0; i < n; ++i) {
    FRed[i] = FEntries[i].peRed;
    FGreen[i] = FEntries[i].peGreen;
    FBlue[i] = FEntries[i].peBlue;
  }
  if (FSearch == TNearestSearch::Fast) {
    FCells.assign(std::size_t(kCellsPerAxis) * kCellsPerAxis * kCellsPerAxis, kUnknownCell);
    FCandidates.reserve(std::size_t(1) << 16);
  }
}

TSlowColorLookup::~TSlowColorLookup() = default;

int TSlowColorLookup::NearestBruteForce(int red, int green, int blue) const {
  int best = 0;
  int bestDist = INT_MAX;
  for (int i = 0; i < FColors; ++i) {
    const int d = Distance(i, red, green, blue);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

// A colour of the cell is nearest to some entry whose distance from the cell (its nearest point)
// is at most the smallest over all entries of the distance to the cell's farthest point: any
// other entry is farther from every colour of the cell than that entry is. Ties among equally
// near entries are kept, so the candidates hold the lowest-index nearest entry of every colour.
std::uint32_t TSlowColorLookup::BuildCell(std::uint32_t cell) {
  const int span = (1 << kCellShift) - 1;
  const int bLo = int(cell % kCellsPerAxis) << kCellShift;
  const int gLo = int((cell / kCellsPerAxis) % kCellsPerAxis) << kCellShift;
  const int rLo = int(cell / (kCellsPerAxis * kCellsPerAxis)) << kCellShift;
  const int rHi = rLo + span, gHi = gLo + span, bHi = bLo + span;

  const std::uint32_t offset = std::uint32_t(FCandidates.size());
  const int n = FColors;
  if (n == 0) {
    // An empty palette answers entry 0, black.
    FCandidates.push_back(0);
  } else {
    alignas(32) std::array<int, 256> minDist;
    int minMax = INT_MAX;
    for (int i = 0; i < n; ++i) {
      const int r = FRed[std::size_t(i)], g = FGreen[std::size_t(i)], b = FBlue[std::size_t(i)];
      const int nr = std::max(rLo - r, 0) + std::max(r - rHi, 0);
      const int ng = std::max(gLo - g, 0) + std::max(g - gHi, 0);
      const int nb = std::max(bLo - b, 0) + std::max(b - bHi, 0);
      const int fr = std::max(r - rLo, rHi - r);
      const int fg = std::max(g - gLo, gHi - g);
      const int fb = std::max(b - bLo, bHi - b);
      minDist[std::size_t(i)] = nr * nr + ng * ng + nb * nb;
      minMax = std::min(minMax, fr * fr + fg * fg + fb * fb);
    }
    for (int i = 0; i < n; ++i)
      if (minDist[std::size_t(i)] <= minMax) FCandidates.push_back(std::uint8_t(i));
  }
  const std::uint32_t count = std::uint32_t(FCandidates.size()) - offset;
  const std::uint32_t entry = (offset << 9) | count;
  FCells[cell] = entry;
  ++FBuiltCells;
  return entry;
}

}  // namespace clipsmith
