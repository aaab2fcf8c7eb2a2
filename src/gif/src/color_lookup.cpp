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
    FPacked[i] = (std::uint32_t(i) << 24) | (std::uint32_t(FBlue[i]) << 16) | (std::uint32_t(FGreen[i]) << 8) |
                 std::uint32_t(FRed[i]);
  }
  if (FSearch == TNearestSearch::Fast) {
    FCells.assign(std::size_t(kCellsPerAxis) * kCellsPerAxis * kCellsPerAxis, kUnknownCell);
    FCandidates.reserve(std::size_t(1) << 16);
    FBlocks.assign(std::size_t(kBlocksPerAxis) * kBlocksPerAxis * kBlocksPerAxis, kUnknownCell);
    FBlockCandidates.reserve(std::size_t(1) << 14);
    FScratch.reserve(256);
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

TSlowColorLookup::TBox TSlowColorLookup::BoxOf(std::uint32_t cell, int shift) {
  const std::uint32_t perAxis = 256u >> shift;
  const int span = (1 << shift) - 1;
  const int b = int(cell % perAxis) << shift;
  const int g = int((cell / perAxis) % perAxis) << shift;
  const int r = int(cell / (perAxis * perAxis)) << shift;
  return {r, r + span, g, g + span, b, b + span};
}

// A colour of a box is nearest to some entry whose distance from the box (its nearest point) is
// at most the smallest, over the entries, distance to the box's farthest point: any other entry
// is farther from every colour of the box than that entry is. Entries exactly as near are kept,
// so the candidates hold every entry that is nearest to some colour of the box, ties included,
// and a search over them in index order finds the lowest-index nearest entry. Taking the entries
// from the candidates of an enclosing box instead of the whole palette keeps all of those.
void TSlowColorLookup::SelectCandidates(const TBox& box, const std::uint8_t* from, int n,
                                        std::vector<std::uint8_t>& out) const {
  alignas(32) std::array<int, 256> minDist;
  int minMax = INT_MAX;
  for (int k = 0; k < n; ++k) {
    const std::size_t i = from[k];
    const int r = FRed[i], g = FGreen[i], b = FBlue[i];
    const int nr = std::max(box.RLo - r, 0) + std::max(r - box.RHi, 0);
    const int ng = std::max(box.GLo - g, 0) + std::max(g - box.GHi, 0);
    const int nb = std::max(box.BLo - b, 0) + std::max(b - box.BHi, 0);
    const int fr = std::max(r - box.RLo, box.RHi - r);
    const int fg = std::max(g - box.GLo, box.GHi - g);
    const int fb = std::max(b - box.BLo, box.BHi - b);
    minDist[std::size_t(k)] = nr * nr + ng * ng + nb * nb;
    minMax = std::min(minMax, fr * fr + fg * fg + fb * fb);
  }
  for (int k = 0; k < n; ++k)
    if (minDist[std::size_t(k)] <= minMax) out.push_back(from[k]);
}

std::uint32_t TSlowColorLookup::BuildBlock(std::uint32_t block) {
  static const std::array<std::uint8_t, 256> kAll = [] {
    std::array<std::uint8_t, 256> a{};
    for (int i = 0; i < 256; ++i) a[std::size_t(i)] = std::uint8_t(i);
    return a;
  }();
  const std::uint32_t offset = std::uint32_t(FBlockCandidates.size());
  if (FColors == 0)
    FBlockCandidates.push_back(0);  // an empty palette answers entry 0, black
  else
    SelectCandidates(BoxOf(block, kBlockShift), kAll.data(), FColors, FBlockCandidates);
  const std::uint32_t entry = (offset << 9) | (std::uint32_t(FBlockCandidates.size()) - offset);
  FBlocks[block] = entry;
  return entry;
}

std::uint32_t TSlowColorLookup::BuildCell(std::uint32_t cell) {
  const TBox box = BoxOf(cell, kCellShift);
  const std::uint32_t block =
      (std::uint32_t(box.RLo >> kBlockShift) * kBlocksPerAxis + std::uint32_t(box.GLo >> kBlockShift)) * kBlocksPerAxis +
      std::uint32_t(box.BLo >> kBlockShift);
  std::uint32_t b = FBlocks[block];
  if (b == kUnknownCell) b = BuildBlock(block);
  std::vector<std::uint8_t>& picked = FScratch;
  picked.clear();
  SelectCandidates(box, FBlockCandidates.data() + (b >> 9), int(b & 0x1FF), picked);
  FCandidateTotal += picked.size();
  // Repeating the last candidate changes no answer: same distance, same index.
  while (picked.size() % 4 != 0) picked.push_back(picked.back());
  const std::uint32_t offset = std::uint32_t(FCandidates.size());
  for (std::uint8_t i : picked) FCandidates.push_back(FPacked[i]);
  const std::uint32_t entry = ((offset / 4) << 7) | std::uint32_t(picked.size() / 4);
  FCells[cell] = entry;
  ++FBuiltCells;
  return entry;
}

}  // namespace clipsmith
