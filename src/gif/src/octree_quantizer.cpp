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

bool TDIBQuantizer::ProcessImage(TDIBReader& Reader) {
  const int width = Reader.Width();
  for (int y = 0; y < Reader.Height(); ++y) {
    const std::uint8_t* p = Reader.RowBits(y);
    for (int x = 0; x < width; ++x, p += 3) CountColor(p[2], p[1], p[0]);
  }
  return true;
}

}  // namespace clipsmith
