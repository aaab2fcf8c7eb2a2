// A bitmap becomes a frame: indexed bitmaps are copied with their colours, every other format is
// first reduced to 8 bits per pixel on a palette of at most 256 colours.
#include <algorithm>
#include <array>
#include <cstring>

#include "gif/color_reduction.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"

namespace clipsmith {

namespace {

// Progress is reported every this many rows.
constexpr int kProgressRows = 32;

void Progress(TGIFFrame& frame, TProgressStage stage, int percent) {
  if (TGIFImage* image = frame.Image())
    image->Progress(&frame, stage, percent, false, frame.ClientRect(), gifmsg::sProgressConverting);
}

class TRowImport {
 public:
  TRowImport(TGIFFrame& frame, TDIBReader& reader) : FFrame(frame), FReader(reader) {}

  void RowProgress(int y) {
    if (y % kProgressRows != 0) return;
    const int h = FFrame.Height();
    Progress(FFrame, TProgressStage::psRunning, int((std::int64_t(y) * 100 + h / 2) / h));
  }

  void CopyRows8(const TBitmap& bitmap) {
    // Our bitmaps are all device-independent: the colour table is what the pixels index.
    FFrame.ColorMap().ImportDIBColors(bitmap);
    const int w = FFrame.Width(), h = FFrame.Height();
    for (int y = 0; y < h; ++y) {
      RowProgress(y);
      std::memcpy(FFrame.Data() + std::size_t(y) * std::size_t(w), FReader.RowBits(y), std::size_t(w));
    }
    CheckIndices();
  }

  void UnpackRows4(const TBitmap& bitmap) {
    FFrame.ColorMap().ImportPalette(bitmap.Palette());
    const int w = FFrame.Width(), h = FFrame.Height();
    for (int y = 0; y < h; ++y) {
      RowProgress(y);
      const std::uint8_t* s = FReader.RowBits(y);
      std::uint8_t* d = FFrame.Data() + std::size_t(y) * std::size_t(w);
      for (int x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
    }
    CheckIndices();
  }

  void UnpackRows1(const TBitmap& bitmap) {
    FFrame.ColorMap().ImportPalette(bitmap.Palette());
    const int w = FFrame.Width(), h = FFrame.Height();
    for (int y = 0; y < h; ++y) {
      RowProgress(y);
      const std::uint8_t* s = FReader.RowBits(y);
      std::uint8_t* d = FFrame.Data() + std::size_t(y) * std::size_t(w);
      for (int x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
    }
    CheckIndices();
  }

  // Each distinct colour gets an entry, in order of first appearance. A cache of the last eight
  // colours seen saves the colour map search for runs of recent colours.
  void MapRows24() {
    TGIFColorMap& map = FFrame.ColorMap();
    map.Clear();
    struct Slot {
      TColor Color = 0;
      int Index = -1;  // -1: empty
    };
    std::array<Slot, 8> cache{};
    int last = 0;
    const int w = FFrame.Width(), h = FFrame.Height();
    for (int y = 0; y < h; ++y) {
      RowProgress(y);
      const std::uint8_t* s = FReader.RowBits(y);
      std::uint8_t* d = FFrame.Data() + std::size_t(y) * std::size_t(w);
      for (int x = 0; x < w; ++x, s += 3) {
        const TColor color = RGBColor(s[2], s[1], s[0]);
        int index = -1;
        int slot = last;
        do {
          if (cache[std::size_t(slot)].Index < 0) break;
          if (cache[std::size_t(slot)].Color == color) {
            index = cache[std::size_t(slot)].Index;
            last = slot;
            break;
          }
          slot = (slot + 7) & 7;
        } while (slot != last);
        if (index < 0) {
          index = map.AddUnique(color);
          last = (last + 1) & 7;
          cache[std::size_t(last)] = {color, index};
        }
        d[x] = std::uint8_t(index);
      }
    }
  }

 private:
  // Pixels that index past the colour map would make a file that decoders read differently:
  // they become 0, with a warning.
  void CheckIndices() {
    const int n = FFrame.ColorMap().Count();
    if (n >= 256) return;
    bool bad = false;
    std::uint8_t* p = FFrame.Data();
    for (int i = 0; i < FFrame.DataSize(); ++i)
      if (p[i] >= n) {
        p[i] = 0;
        bad = true;
      }
    if (bad)
      if (TGIFImage* image = FFrame.Image()) image->Warning(&FFrame, TGIFSeverity::gsWarning, gifmsg::sInvalidBitmap);
  }

  TGIFFrame& FFrame;
  TDIBReader& FReader;
};

bool IsIndexed(TPixelFormat pf) {
  return pf == TPixelFormat::pf1bit || pf == TPixelFormat::pf4bit || pf == TPixelFormat::pf8bit;
}

// The colour a transparent bitmap shows as see-through: its own, or that of the bottom-left pixel.
TColor TransparentColorOf(const TBitmap& bitmap) {
  if (bitmap.TransparentColor == clNone) return bitmap.GetPixel(0, bitmap.Height() - 1);
  return bitmap.TransparentColor & 0xFFFFFF;
}

// The entry of the transparent colour. A map may hold the colour more than once (a reduced
// bitmap's map ends in black fill entries that no pixel uses); the entry found first is kept
// when pixels use it, otherwise an equal entry that pixels do use is taken, so that the pixels
// of that colour really show as transparent.
int TransparentIndexOf(TGIFFrame& frame, TColor color) {
  TGIFColorMap& map = frame.ColorMap();
  const int found = map.IndexOf(color);
  if (found < 0) return found;
  std::array<bool, 256> used{};
  const std::uint8_t* p = frame.Data();
  for (int i = 0; i < frame.DataSize(); ++i) used[p[i]] = true;
  if (used[std::size_t(found)]) return found;
  const TGIFColor c = TColor2TGIFColor(color);
  for (int i = 0; i < map.Count(); ++i)
    if (used[std::size_t(i)] && map.Data()[std::size_t(i)] == c) return i;
  return found;
}

void MarkTransparent(TGIFFrame& frame, int index) {
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(&frame);
  gce->SetTransparentColorIndex(index);
  gce->SetTransparent(true);
}

// Pixels whose mask byte is non-zero take a new black entry as their index, which becomes the
// transparent index; without such a pixel the entry is taken back.
void ApplyMask(TGIFFrame& frame, const std::vector<std::uint8_t>& mask) {
  TGIFColorMap& map = frame.ColorMap();
  map.Optimize();
  if (map.Count() == 0 || map.Count() >= 256) return;
  const int candidate = map.Add(clBlack);
  bool marked = false;
  const std::size_t n = std::min(mask.size(), std::size_t(frame.DataSize()));
  std::uint8_t* p = frame.Data();
  for (std::size_t i = 0; i < n; ++i)
    if (mask[i] != 0) {
      p[i] = std::uint8_t(candidate);
      marked = true;
    }
  if (marked)
    MarkTransparent(frame, candidate);
  else
    map.Delete(candidate);
}

}  // namespace

void TGIFFrame::Assign(TBitmap& source) {
  Clear();
  if (source.Empty()) return;
  ChangeBounds(Left(), Top(), source.Width(), source.Height());

  // pfDevice is a 32-bit device-independent section on this platform, so it is reduced like any
  // other direct-colour format.
  TPixelFormat pf = source.PixelFormat();
  TBitmap reduced;
  TBitmap* rendered = &source;
  if (!IsIndexed(pf)) {
    TColorReduction reduction = FImage ? FImage->ColorReduction() : TColorReduction::rmQuantize;
    TDitherMode dither = FImage ? FImage->DitherMode() : TDitherMode::dmFloydSteinberg;
    int bits = FImage ? FImage->ReductionBits() : 8;
    TPalette custom;
    if (reduction == TColorReduction::rmPalette) custom = source.Palette();
    reduced = QuantizeBitmap(source, reduction, dither, bits,
                             reduction == TColorReduction::rmPalette ? &custom : nullptr);
    // A reduction without an engine for its dither mode yields nothing to import.
    if (reduced.Width() != Width() || reduced.Height() != Height()) throw GIFException(gifmsg::sInvalidBitmap);
    rendered = &reduced;
    pf = reduced.PixelFormat();
  }
  if (!IsIndexed(pf)) pf = TPixelFormat::pf24bit;

  NewPixelData();
  Progress(*this, TProgressStage::psStarting, 0);
  try {
    TDIBReader reader(*rendered, pf);
    TRowImport import(*this, reader);
    switch (pf) {
      case TPixelFormat::pf8bit: import.CopyRows8(*rendered); break;
      case TPixelFormat::pf4bit: import.UnpackRows4(*rendered); break;
      case TPixelFormat::pf1bit: import.UnpackRows1(*rendered); break;
      default: import.MapRows24(); break;
    }
    if (source.Transparent) {
      const TColor key = TransparentColorOf(source);
      if (pf != TPixelFormat::pf24bit) {
        const int index = TransparentIndexOf(*this, key);
        if (index >= 0) MarkTransparent(*this, index);
      } else {
        ApplyMask(*this, source.TransparencyMask());
        if (Transparent()) ActiveColorMap().SetColor(FGCE->TransparentColorIndex(), key);
      }
    }
  } catch (...) {
    Progress(*this, TProgressStage::psEnding, 0);
    throw;
  }
  Progress(*this, TProgressStage::psEnding, 100);
}

TGIFFrame* TGIFImage::Add(TBitmap& source) {
  const bool wasModified = Modified;
  TGIFFrame* frame = TGIFFrame::Create(this);
  try {
    frame->Assign(source);
  } catch (...) {
    delete frame;
    Modified = wasModified;
    throw;
  }
  Changed();
  return frame;
}

}  // namespace clipsmith
