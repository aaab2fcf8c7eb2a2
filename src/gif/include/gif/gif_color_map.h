// GIF colour tables: at most 256 red-green-blue entries that a frame's pixel bytes index.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "gif/gif_types.h"
#include "graphics/bitmap.h"
#include "graphics/stream.h"

namespace clipsmith {

class TGIFImage;
class TGIFHeader;
class TGIFFrame;

struct TGIFColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};
static_assert(sizeof(TGIFColor) == 3);

constexpr TGIFColor TColor2TGIFColor(TColor c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }
constexpr TColor TGIFColor2TColor(TGIFColor c) { return RGBColor(c.Red, c.Green, c.Blue); }

// 0 for no colours, otherwise the smallest b >= 1 with 2^b >= count.
int BitsForColorCount(int count);

class TGIFColorMap : public TPersistent {
 public:
  static constexpr int kMaxColors = 256;

  ~TGIFColorMap() override = default;

  void Clear();
  int Add(TColor color);
  int AddUnique(TColor color);
  int IndexOf(TColor color) const;
  void Delete(int index);

  // Colors[Index]: reading out of range warns and falls back to entry 0.
  TColor GetColor(int index);
  void SetColor(int index, TColor color);

  void ImportPalette(const TPalette& palette);
  void ImportColorTable(std::span<const TRGBQuad> table);
  // The colour table of an indexed bitmap, up to 256 entries.
  void ImportDIBColors(const TBitmap& bitmap);
  void ImportColorMap(std::span<const TGIFColor> map);
  TPalette ExportPalette() const;
  void Assign(const TGIFColorMap& source);

  // Sorts by decreasing use in the pixels that use this map, drops unused entries, remaps the
  // pixels (and transparent indices) and sets Optimized.
  virtual void Optimize() = 0;

  void SaveToStream(TStream& stream) const;
  // Reads count entries of three bytes.
  void LoadFromStream(TStream& stream, int count);

  int Count() const { return FCount; }
  bool Optimized() const { return FOptimized; }
  void SetOptimized(bool value) { FOptimized = value; }
  int BitsPerPixel() const { return BitsForColorCount(FCount); }
  std::span<const TGIFColor> Data() const { return {FColorMap.data(), std::size_t(FCount)}; }
  TGIFColor& Entry(int index) { return FColorMap[std::size_t(index)]; }

  // The image the map belongs to (for warnings); null while it has none.
  virtual TGIFImage* Image() const = 0;

 protected:
  void Warning(TGIFSeverity severity, const std::string& msg);
  // Rebuilds the entries from a usage count; shared by both kinds of map.
  void ApplyOptimization(const std::array<std::uint32_t, 256>& usage, std::array<std::uint8_t, 256>& remap);

  std::array<TGIFColor, kMaxColors> FColorMap{};
  int FCount = 0;
  bool FOptimized = false;
};

class TGIFGlobalColorMap final : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* header) : FHeader(header) {}
  void Optimize() override;
  TGIFImage* Image() const override;

 private:
  TGIFHeader* FHeader;
};

class TGIFLocalColorMap final : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFFrame* frame) : FFrame(frame) {}
  void Optimize() override;
  TGIFImage* Image() const override;

 private:
  TGIFFrame* FFrame;
};

}  // namespace clipsmith
