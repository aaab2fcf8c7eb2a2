#include "gif/color_lookup.h"

#include <algorithm>
#include <climits>

namespace clipsmith {

TSlowColorLookup::TSlowColorLookup(const TPalette& palette, TNearestSearch search)
    : TColorLookup(TLookupKind::Slow), FSearch(search) {
  const std::size_t n = std::min<std::size_t>(palette.size(), 256);
  FEntries.assign(palette.begin(), palette.begin() + std::ptrdiff_t(n));
  FColors = int(n);
  // Past the last entry the channel arrays repeat it, which no search can tell from the entry.
  for (std::size_t i = n; i < 256 && n > 0; ++i) {
    FRed[i] = FEntries[n - 1].peRed;
    FGreen[i] = FEntries[n - 1].peGreen;
    FBlue[i] = FEntries[n - 1].peBlue;
  }
  for (std::size_t i = 0; i < n; ++i) {
    FRed[i] = FEntries[i].peRed;
    FGreen[i] = FEntries[i].peGreen;
    FBlue[i] = FEntries[i].peBlue;
    FPacked[i] = (std::uint32_t(i) << 24) | (std::uint32_t(FBlue[i]) << 16) | (std::uint32_t(FGreen[i]) << 8) |
                 std::uint32_t(FRed[i]);
  }
  if (FSearch == TNearestSearch::Fast) {
    FRecent.assign(std::size_t(1) << kRecentBits, ~std::uint64_t(0));
    FCells.assign(std::size_t(kCellsPerAxis) * kCellsPerAxis * kCellsPerAxis, kUnknownCell);
    FCandidates.reserve(std::size_t(1) << 16);
    FBlocks.assign(std::size_t(kBlocksPerAxis) * kBlocksPerAxis * kBlocksPerAxis, kUnknownCell);
    for (auto* v : {&FBlockRed, &FBlockGreen, &FBlockBlue}) v->reserve(std::size_t(1) << 13);
    FBlockIndex.reserve(std::size_t(1) << 13);
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
int TSlowColorLookup::SelectCandidates(const TBox& box, const int* red, const int* green, const int* blue,
                                       const std::uint8_t* index, int n, std::uint8_t* out) {
  // The entries are read in fours (the arrays hold a repeat of an entry up to the next multiple
  // of four, which changes neither bound), so that the loop runs four entries side by side.
  alignas(16) std::array<int, 256> minDist;
  alignas(16) std::array<int, 4> minMax4 = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
  const int n4 = (n + 3) & ~3;
  for (int k = 0; k < n4; k += 4) {
    for (int j = 0; j < 4; ++j) {
      const int r = red[k + j], g = green[k + j], b = blue[k + j];
      const int nr = std::max(box.RLo - r, 0) + std::max(r - box.RHi, 0);
      const int ng = std::max(box.GLo - g, 0) + std::max(g - box.GHi, 0);
      const int nb = std::max(box.BLo - b, 0) + std::max(b - box.BHi, 0);
      const int fr = std::max(r - box.RLo, box.RHi - r);
      const int fg = std::max(g - box.GLo, box.GHi - g);
      const int fb = std::max(b - box.BLo, box.BHi - b);
      minDist[std::size_t(k + j)] = nr * nr + ng * ng + nb * nb;
      minMax4[std::size_t(j)] = std::min(minMax4[std::size_t(j)], fr * fr + fg * fg + fb * fb);
    }
  }
  const int minMax = std::min(std::min(minMax4[0], minMax4[1]), std::min(minMax4[2], minMax4[3]));
  int count = 0;
  for (int k = 0; k < n; ++k) {
    out[count] = index[k];
    count += minDist[std::size_t(k)] <= minMax ? 1 : 0;
  }
  return count;
}

std::uint32_t TSlowColorLookup::BuildBlock(std::uint32_t block) {
  static const std::array<std::uint8_t, 256> kAll = [] {
    std::array<std::uint8_t, 256> a{};
    for (int i = 0; i < 256; ++i) a[std::size_t(i)] = std::uint8_t(i);
    return a;
  }();
  std::array<std::uint8_t, 256> picked;
  int count = 1;
  picked[0] = 0;  // an empty palette answers entry 0, black
  if (FColors > 0)
    count = SelectCandidates(BoxOf(block, kBlockShift), FRed.data(), FGreen.data(), FBlue.data(), kAll.data(), FColors,
                             picked.data());
  // The block's candidates one channel at a time, so that building its cells runs over them in
  // straight lines.
  const std::uint32_t offset = std::uint32_t(FBlockIndex.size());
  for (int k = 0; k < ((count + 3) & ~3); ++k) {
    const std::uint8_t i = picked[std::size_t(std::min(k, count - 1))];
    FBlockIndex.push_back(i);
    FBlockRed.push_back(FRed[i]);
    FBlockGreen.push_back(FGreen[i]);
    FBlockBlue.push_back(FBlue[i]);
  }
  const std::uint32_t entry = (offset << 9) | std::uint32_t(count);
  FBlocks[block] = entry;
  return entry;
}

// An entry that another entry is strictly nearer to at every colour of the box is never the
// answer there, not even on a tie. |x - e|^2 - |x - f|^2 is linear in x, so its smallest value
// over the box is at the corner picked channel by channel; when that is positive, f dominates
// e. The nearest entry of a colour is dominated by none, so dropping every dominated entry keeps
// it (and dominance is transitive, so it does not matter that a dominating entry goes too).
std::size_t TSlowColorLookup::DropDominated(const TBox& box, std::uint8_t* picked, std::size_t count) const {
  if (count < 2) return count;
  std::array<bool, 256> dominated{};
  for (std::size_t i = 0; i < count; ++i) {
    const int er = FRed[picked[i]], eg = FGreen[picked[i]], eb = FBlue[picked[i]];
    for (std::size_t j = 0; j < count && !dominated[i]; ++j) {
      if (j == i) continue;
      const int fr = FRed[picked[j]], fg = FGreen[picked[j]], fb = FBlue[picked[j]];
      const int dr = fr - er, dg = fg - eg, db = fb - eb;
      const int xr = dr >= 0 ? box.RLo : box.RHi, xg = dg >= 0 ? box.GLo : box.GHi, xb = db >= 0 ? box.BLo : box.BHi;
      const int least = 2 * (xr * dr + xg * dg + xb * db) + (er * er + eg * eg + eb * eb) - (fr * fr + fg * fg + fb * fb);
      dominated[i] = least > 0;
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (!dominated[i]) picked[kept++] = picked[i];
  return kept;
}

std::uint32_t TSlowColorLookup::BuildCell(std::uint32_t cell) {
  const TBox box = BoxOf(cell, kCellShift);
  const std::uint32_t block =
      (std::uint32_t(box.RLo >> kBlockShift) * kBlocksPerAxis + std::uint32_t(box.GLo >> kBlockShift)) * kBlocksPerAxis +
      std::uint32_t(box.BLo >> kBlockShift);
  std::uint32_t b = FBlocks[block];
  if (b == kUnknownCell) b = BuildBlock(block);
  const std::size_t from = b >> 9;
  std::array<std::uint8_t, 256 + 3> picked;
  std::size_t count = std::size_t(SelectCandidates(box, FBlockRed.data() + from, FBlockGreen.data() + from,
                                                   FBlockBlue.data() + from, FBlockIndex.data() + from,
                                                   int(b & 0x1FF), picked.data()));
  count = DropDominated(box, picked.data(), count);
  FCandidateTotal += count;
  // Repeating the last candidate changes no answer: same distance, same index.
  std::size_t padded = count;
  while (padded % 4 != 0) picked[padded++] = picked[count - 1];
  const std::uint32_t offset = std::uint32_t(FCandidates.size());
  for (std::size_t k = 0; k < padded; ++k) FCandidates.push_back(FPacked[picked[k]]);
  const std::uint32_t entry = ((offset / 4) << 7) | std::uint32_t(count <= 3 ? 0 : padded / 4);
  FCells[cell] = entry;
  ++FBuiltCells;
  return entry;
}

}  // namespace clipsmith
