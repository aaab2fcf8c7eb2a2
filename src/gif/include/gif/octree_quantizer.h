// The octree colour quantizer: counts every pixel into a tree whose levels split the colour cube
// by successive bits of red, green and blue, merges nodes while counting so that no more than the
// requested number of leaves remain, and emits one colour per leaf, the average of its pixels.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"

namespace clipsmith {

class TDIBReader;

using TRGBQuadArray = std::array<TRGBQuad, 256>;

class TColorQuantizer {
 public:
  // MaxColors 1..256, ColorBits 1..8 (the depth at which nodes are created as leaves).
  TColorQuantizer(int MaxColors, int ColorBits);
  virtual ~TColorQuantizer() = default;

  void CountColor(std::uint8_t Red, std::uint8_t Green, std::uint8_t Blue) {
    const std::uint32_t key = (std::uint32_t(Red) << 16) | (std::uint32_t(Green) << 8) | Blue;
    int level = 0;
    if (UseLeafShortCut && FPathDepth >= 0) {
      // The pixel follows the last pixel's path for as many levels as their leading bits agree.
      const std::uint32_t diff = key ^ FLastKey;
      const std::uint32_t any = ((diff >> 16) | (diff >> 8) | diff) & 0xFF;
      level = any == 0 ? 8 : __builtin_clz(any) - 24;
      if (level >= FPathDepth) {
        TOctreeNode& leaf = FPool[FPath[std::size_t(FPathDepth)]];
        ++leaf.PixelCount;
        leaf.RedSum += Red;
        leaf.GreenSum += Green;
        leaf.BlueSum += Blue;
        FLastKey = key;
        return;
      }
    }
    CountFrom(Red, Green, Blue, level);
    FLastKey = key;
  }
  // CountColor for count pixels of blue, green, red bytes in a row, the same tree.
  void CountPixels(const std::uint8_t* bgr, int count);
  // One entry per leaf from entry 0 on, in tree order; later entries are left untouched.
  // Returns the number of entries written.
  int GetColorTable(TRGBQuadArray& table) const;

  int FLeafCount = 0;
  int FMaxColors;
  int FColorBits;

  // Counting starts a pixel's descent where its path leaves the path of the pixel before it (at
  // that pixel's leaf when both fall into the same one); the tree that results is the same. Off,
  // every pixel descends from the root.
  bool UseLeafShortCut = true;

  // Nodes live in a pool owned by the quantizer: links are pool indices, kNone for none.
  using TNodeIndex = std::uint16_t;
  static constexpr TNodeIndex kNone = 0xFFFF;

  struct TOctreeNode {
    // Sums are 64-bit so that a leaf may take any number of pixels a bitmap can hold.
    std::int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    std::int64_t PixelCount = 0;
    std::array<TNodeIndex, 8> Child;
    TNodeIndex Next = kNone;  // next node on the reducible list of its level
    std::uint8_t Level = 0;
    bool IsLeaf = false;
  };

  // Live nodes (for measuring).
  int NodeCount() const { return FLiveNodes; }

 private:
  // Counts a pixel from the node at `level` of the remembered path, merging as needed.
  void CountFrom(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level);
  TNodeIndex NewNode(int level);
  void FreeNode(TNodeIndex n);
  // Descends from the node at `level` of the remembered path; returns the leaf reached.
  TNodeIndex InsertColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int level);
  void MergeDeepestNode();
  void CollectLeafColors(TNodeIndex n, TRGBQuadArray& table, int& index) const;

  std::vector<TOctreeNode> FPool;
  TNodeIndex FFreeList = kNone;  // through Next
  int FLiveNodes = 0;
  TNodeIndex FTree = kNone;
  std::array<TNodeIndex, 8> FReducibleNodes;

  // The nodes the last pixel passed, level by level down to its leaf at FPathDepth; valid until
  // the next merge (FPathDepth -1: none). FLastKey holds that pixel's red, green and blue.
  std::array<TNodeIndex, 9> FPath;
  int FPathDepth = -1;
  std::uint32_t FLastKey = 0;
};

class TDIBQuantizer final : public TColorQuantizer {
 public:
  using TColorQuantizer::TColorQuantizer;
  // Counts every pixel of the reader's 24-bit image: rows from the top, pixels left to right.
  bool ProcessImage(TDIBReader& Reader);
};

}  // namespace clipsmith
