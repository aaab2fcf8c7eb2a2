#include "gif/gif_color_map.h"

#include <algorithm>
#include <numeric>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"

namespace clipsmith {

int BitsForColorCount(int count) {
  if (count <= 0) return 0;
  int b = 1;
  while ((1 << b) < count) ++b;
  return b;
}

void TGIFColorMap::Warning(TGIFSeverity severity, const std::string& msg) {
  if (TGIFImage* image = Image()) image->Warning(this, severity, msg);
}

void TGIFColorMap::Clear() {
  FCount = 0;
  FOptimized = false;
}

int TGIFColorMap::Add(TColor color) {
  if (FCount >= kMaxColors) throw GIFException(gifmsg::sTooManyColors);
  FColorMap[std::size_t(FCount)] = TColor2TGIFColor(color);
  FOptimized = false;
  return FCount++;
}

int TGIFColorMap::AddUnique(TColor color) {
  int i = IndexOf(color);
  return i >= 0 ? i : Add(color);
}

int TGIFColorMap::IndexOf(TColor color) const {
  const TGIFColor c = TColor2TGIFColor(color);
  // A sorted map has its most used colours first, so the first match is the one to use.
  if (FOptimized) {
    for (int i = 0; i < FCount; ++i)
      if (FColorMap[std::size_t(i)] == c) return i;
  } else {
    for (int i = FCount - 1; i >= 0; --i)
      if (FColorMap[std::size_t(i)] == c) return i;
  }
  return -1;
}

void TGIFColorMap::Delete(int index) {
  if (index < 0 || index >= FCount) throw GIFException(gifmsg::sBadColorIndex);
  std::copy(FColorMap.begin() + index + 1, FColorMap.begin() + FCount, FColorMap.begin() + index);
  --FCount;
  FOptimized = false;
}

TColor TGIFColorMap::GetColor(int index) {
  if (index < 0 || index >= FCount) {
    Warning(TGIFSeverity::gsWarning, gifmsg::sBadColorIndex);
    if (FCount == 0) throw GIFException(gifmsg::sEmptyColorMap);
    index = 0;
  }
  return TGIFColor2TColor(FColorMap[std::size_t(index)]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
  if (index < 0 || index >= FCount) throw GIFException(gifmsg::sBadColorIndex);
  FColorMap[std::size_t(index)] = TColor2TGIFColor(color);
}

void TGIFColorMap::ImportPalette(const TPalette& palette) {
  Clear();
  FCount = int(std::min<std::size_t>(palette.size(), kMaxColors));
  for (int i = 0; i < FCount; ++i) {
    const auto& e = palette[std::size_t(i)];
    FColorMap[std::size_t(i)] = {e.peRed, e.peGreen, e.peBlue};
  }
}

void TGIFColorMap::ImportColorTable(std::span<const TRGBQuad> table) {
  Clear();
  FCount = int(std::min<std::size_t>(table.size(), kMaxColors));
  for (int i = 0; i < FCount; ++i) {
    const auto& q = table[std::size_t(i)];
    FColorMap[std::size_t(i)] = {q.rgbRed, q.rgbGreen, q.rgbBlue};
  }
}

void TGIFColorMap::ImportDIBColors(const TBitmap& bitmap) { ImportColorTable(bitmap.ColorTable()); }

void TGIFColorMap::ImportColorMap(std::span<const TGIFColor> map) {
  Clear();
  FCount = int(std::min<std::size_t>(map.size(), kMaxColors));
  std::copy_n(map.begin(), FCount, FColorMap.begin());
}

TPalette TGIFColorMap::ExportPalette() const {
  TPalette p;
  for (int i = 0; i < FCount; ++i) {
    const auto& c = FColorMap[std::size_t(i)];
    p.push_back({c.Red, c.Green, c.Blue, 0x04 /* no collapse */});
  }
  return p;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  if (&source == this) return;
  ImportColorMap(source.Data());
  FOptimized = source.FOptimized;
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
  if (FCount == 0) return;
  // The table always holds the 2^b entries its size code announces; the rest are black.
  std::size_t entries = std::size_t(1) << BitsPerPixel();
  std::array<TGIFColor, kMaxColors> table{};
  std::copy_n(FColorMap.begin(), FCount, table.begin());
  stream.WriteBuffer(table.data(), entries * sizeof(TGIFColor));
}

void TGIFColorMap::ApplyOptimization(const std::array<std::uint32_t, 256>& usage,
                                     std::array<std::uint8_t, 256>& remap) {
  std::array<int, 256> order{};
  std::iota(order.begin(), order.begin() + FCount, 0);
  std::stable_sort(order.begin(), order.begin() + FCount,
                   [&](int a, int b) { return usage[std::size_t(a)] > usage[std::size_t(b)]; });
  std::array<TGIFColor, kMaxColors> sorted{};
  int kept = 0;
  for (int i = 0; i < FCount; ++i) {
    int old = order[std::size_t(i)];
    if (usage[std::size_t(old)] == 0) continue;
    sorted[std::size_t(kept)] = FColorMap[std::size_t(old)];
    remap[std::size_t(old)] = std::uint8_t(kept);
    ++kept;
  }
  FColorMap = sorted;
  FCount = kept;
  FOptimized = true;
}

namespace {

void CountUsage(TGIFFrame& frame, std::array<std::uint32_t, 256>& usage) {
  const std::uint8_t* p = frame.Data();
  for (int i = 0; i < frame.DataSize(); ++i) ++usage[p[i]];
  // A transparent index counts as used even where no pixel shows it.
  if (frame.Transparent()) {
    auto& u = usage[std::size_t(frame.GraphicControlExtension()->TransparentColorIndex())];
    if (u == 0) u = 1;
  }
}

void Remap(TGIFFrame& frame, const std::array<std::uint8_t, 256>& remap) {
  std::uint8_t* p = frame.Data();
  for (int i = 0; i < frame.DataSize(); ++i) p[i] = remap[p[i]];
  if (frame.Transparent()) {
    auto* gce = frame.GraphicControlExtension();
    gce->FGCExtension.TransparentColorIndex = remap[std::size_t(gce->TransparentColorIndex())];
  }
}

}  // namespace

void TGIFLocalColorMap::Optimize() {
  if (FCount == 0) return;
  std::array<std::uint32_t, 256> usage{};
  CountUsage(*FFrame, usage);
  std::array<std::uint8_t, 256> remap{};
  ApplyOptimization(usage, remap);
  Remap(*FFrame, remap);
}

void TGIFGlobalColorMap::Optimize() {
  TGIFImage* image = Image();
  if (FCount == 0 || !image) return;
  std::array<std::uint32_t, 256> usage{};
  auto& frames = image->Images();
  for (int i = 0; i < frames.Count(); ++i)
    if (frames[i]->ColorMap().Count() == 0) CountUsage(*frames[i], usage);
  std::array<std::uint8_t, 256> remap{};
  ApplyOptimization(usage, remap);
  for (int i = 0; i < frames.Count(); ++i)
    if (frames[i]->ColorMap().Count() == 0) Remap(*frames[i], remap);
}

TGIFImage* TGIFGlobalColorMap::Image() const { return FHeader ? FHeader->Image() : nullptr; }
TGIFImage* TGIFLocalColorMap::Image() const { return FFrame ? FFrame->Image() : nullptr; }

}  // namespace clipsmith
