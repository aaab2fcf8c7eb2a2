#include "gif/octree_quantizer.h"

#include <algorithm>
#include <stdexcept>

#include "gif/color_reduction.h"

namespace clipsmith {

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits)
    : FMaxColors(std::clamp(MaxColors, 1, 256)), FColorBits(std::clamp(ColorBits, 1, 8)) {
  FReducibleNodes.fill(kNone);
  FPath.fill(kNone);
  // Every node that is not a leaf has a leaf below it, and no more than FMaxColors + 1 leaves
  // exist at once, each with at most FColorBits ancestors: the pool never needs to grow.
  FPool.reserve(std::size_t(FMaxColors + 1) * std::size_t(FColorBits + 1) + 1);
}

TColorQuantizer::TNodeIndex TColorQuantizer::NewNode(int level) {
  TNodeIndex n;
  if (FFreeList != kNone) {
    n = FFreeList;
    FFreeList = FPool[n].Next;
  } else {
    if (FPool.size() >= kNone) throw std::length_error("octree node pool exhausted");
    n = TNodeIndex(FPool.size());
    FPool.emplace_back();
  }
  TOctreeNode& node = FPool[n];
  node = TOctreeNode{};
  node.Child.fill(kNone);
  node.Level = std::uint8_t(level);
  node.IsLeaf = level == FColorBits;
  if (node.IsLeaf) {
    ++FLeafCount;
  } else {
    node.Next = FReducibleNodes[std::size_t(level)];
    FReducibleNodes[std::size_t(level)] = n;
  }
  ++FLiveNodes;
  return n;
}

void TColorQuantizer::FreeNode(TNodeIndex n) {
  FPool[n].Next = FFreeList;
  FFreeList = n;
  --FLiveNodes;
}

TColorQuantizer::TNodeIndex TColorQuantizer::InsertColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                                         int level) {
  TNodeIndex n;
  if (level == 0) {
    if (FTree == kNone) FTree = NewNode(0);
    n = FTree;
  } else {
    n = FPath[std::size_t(level)];
  }
  for (;;) {
    FPath[std::size_t(level)] = n;
    TOctreeNode& node = FPool[n];
    if (node.IsLeaf) {
      ++node.PixelCount;
      node.RedSum += red;
      node.GreenSum += green;
      node.BlueSum += blue;
      FPathDepth = level;
      return n;
    }
    const int shift = 7 - level;
    const int mask = 0x80 >> level;
    const int slot = (((red & mask) >> shift) << 2) | (((green & mask) >> shift) << 1) | ((blue & mask) >> shift);
    TNodeIndex child = node.Child[std::size_t(slot)];
    if (child == kNone) {
      child = NewNode(level + 1);
      FPool[n].Child[std::size_t(slot)] = child;
    }
    n = child;
    ++level;
  }
}

void TColorQuantizer::MergeDeepestNode() {
  // Level 0 is taken without looking: it holds the root until the root itself is merged.
  int level = FColorBits - 1;
  while (level > 0 && FReducibleNodes[std::size_t(level)] == kNone) --level;
  const TNodeIndex n = FReducibleNodes[std::size_t(level)];
  if (n == kNone) return;
  TOctreeNode& node = FPool[n];
  FReducibleNodes[std::size_t(level)] = node.Next;
  node.Next = kNone;
  std::int64_t red = 0, green = 0, blue = 0;
  int children = 0;
  for (auto& link : node.Child) {
    if (link == kNone) continue;
    const TOctreeNode& child = FPool[link];
    red += child.RedSum;
    green += child.GreenSum;
    blue += child.BlueSum;
    node.PixelCount += child.PixelCount;
    FreeNode(link);
    link = kNone;
    ++children;
  }
  node.IsLeaf = true;
  node.RedSum = red;
  node.GreenSum = green;
  node.BlueSum = blue;
  FLeafCount -= children - 1;
}

void TColorQuantizer::CountFrom(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level) {
  InsertColor(red, green, blue, level);
  if (FLeafCount > FMaxColors) {
    while (FLeafCount > FMaxColors) {
      MergeDeepestNode();
      // Only a tree that is a single leaf has nothing left to merge.
      if (FPool[FTree].IsLeaf) break;
    }
    FPathDepth = -1;
  }
}

void TColorQuantizer::CollectLeafColors(TNodeIndex n, TRGBQuadArray& table, int& index) const {
  const TOctreeNode& node = FPool[n];
  if (node.IsLeaf) {
    if (index >= int(table.size())) return;
    TRGBQuad& q = table[std::size_t(index++)];
    if (node.PixelCount == 0) {
      q = {};
    } else {
      q.rgbRed = std::uint8_t(node.RedSum / node.PixelCount);
      q.rgbGreen = std::uint8_t(node.GreenSum / node.PixelCount);
      q.rgbBlue = std::uint8_t(node.BlueSum / node.PixelCount);
      q.rgbReserved = 0;
    }
    return;
  }
  for (TNodeIndex child : node.Child)
    if (child != kNone) CollectLeafColors(child, table, index);
}

int TColorQuantizer::GetColorTable(TRGBQuadArray& table) const {
  int index = 0;
  if (FTree != kNone) CollectLeafColors(FTree, table, index);
  return index;
}

void TColorQuantizer::CountPixels(const std::uint8_t* p, int count) {
  if (!UseLeafShortCut) {
    for (int i = 0; i < count; ++i, p += 3) CountColor(p[2], p[1], p[0]);
    return;
  }
  int i = 0;
  while (i < count) {
    if (FPathDepth < 0) {
      CountColor(p[2], p[1], p[0]);
      ++i, p += 3;
      continue;
    }
    // Pixels that fall into the last pixel's leaf, the common case in pictures, are summed here
    // and added to the leaf at once: their leading FPathDepth bits of every channel equal those
    // of the pixel before them.
    const int depth = FPathDepth;
    const std::uint32_t top = (0xFFu << (8 - depth)) & 0xFFu;
    const std::uint32_t mask = top | (top << 8) | (top << 16);
    std::uint32_t last = FLastKey;
    std::int64_t n = 0, red = 0, green = 0, blue = 0;
    std::uint32_t key = 0;
    for (; i < count; ++i, p += 3) {
      key = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | std::uint32_t(p[0]);
      if (((key ^ last) & mask) != 0) break;
      ++n;
      red += p[2];
      green += p[1];
      blue += p[0];
      last = key;
    }
    TOctreeNode& leaf = FPool[FPath[std::size_t(depth)]];
    leaf.PixelCount += n;
    leaf.RedSum += red;
    leaf.GreenSum += green;
    leaf.BlueSum += blue;
    FLastKey = last;
    if (i < count) {
      // Off the path: down from where it leaves the last pixel's path, as CountColor does.
      const std::uint32_t diff = key ^ last;
      const std::uint32_t any = ((diff >> 16) | (diff >> 8) | diff) & 0xFF;
      CountFrom(p[2], p[1], p[0], __builtin_clz(any) - 24);
      FLastKey = key;
      ++i, p += 3;
    }
  }
}

bool TDIBQuantizer::ProcessImage(TDIBReader& Reader) {
  const int width = Reader.Width();
  for (int y = 0; y < Reader.Height(); ++y) CountPixels(Reader.RowBits(y), width);
  return true;
}

}  // namespace clipsmith
