// The in-memory form of a GIF file: an image owns a header and a list of frames; a frame owns its
// descriptor, local colour map, pixels and extensions.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gif/frame_store.h"
#include "gif/gif_color_map.h"
#include "gif/gif_list.h"
#include "gif/gif_types.h"
#include "graphics/bitmap.h"
#include "graphics/stream.h"

namespace clipsmith {

class TGIFImage;
class TGIFFrame;
class TGIFExtension;
class TGIFGraphicControlExtension;

#pragma pack(push, 1)
struct TLogicalScreenDescriptor {
  std::uint16_t ScreenWidth = 0;
  std::uint16_t ScreenHeight = 0;
  std::uint8_t PackedFields = 0;
  std::uint8_t BackgroundColorIndex = 0;
  std::uint8_t AspectRatio = 0;
};
struct TImageDescriptor {
  std::uint8_t Separator = 0x2C;
  std::uint16_t Left = 0;
  std::uint16_t Top = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint8_t PackedFields = 0;
};
#pragma pack(pop)
static_assert(sizeof(TLogicalScreenDescriptor) == 7);
static_assert(sizeof(TImageDescriptor) == 10);

// Flags of TLogicalScreenDescriptor::PackedFields.
inline constexpr std::uint8_t lsdGlobalColorTable = 0x80;
inline constexpr std::uint8_t lsdColorResolution = 0x70;
inline constexpr std::uint8_t lsdSort = 0x08;
inline constexpr std::uint8_t lsdColorTableSize = 0x07;
// Flags of TImageDescriptor::PackedFields.
inline constexpr std::uint8_t idLocalColorTable = 0x80;
inline constexpr std::uint8_t idInterlaced = 0x40;
inline constexpr std::uint8_t idSort = 0x20;
inline constexpr std::uint8_t idReserved = 0x18;
inline constexpr std::uint8_t idColorTableSize = 0x07;

// A frame's image data as the writer writes it (the minimum code size byte, the data sub-blocks
// and the terminator), with what it was encoded for.
struct TEncodedImageData {
  std::vector<std::uint8_t> Bytes;
  int Bits = 0;    // the code size the writer asks for
  int Colors = 0;  // the colour count the pixels were checked against
  int Width = 0;
  int Height = 0;
  bool Interlaced = false;
  std::uint64_t PixelHash = 0;  // FramePixelHash of the pixels encoded
};

// A 64-bit hash of pixel bytes, to tell that data encoded elsewhere came from these pixels.
std::uint64_t FramePixelHash(const std::uint8_t* pixels, std::size_t count);

// One stretch of a GIF stream.
class TGIFItem : public TPersistent {
 public:
  explicit TGIFItem(TGIFImage* image) : FImage(image) {}
  virtual TGIFVersion Version() const { return TGIFVersion::gv87a; }
  virtual void SaveToStream(TStream& stream) = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);
  TGIFImage* Image() const { return FImage; }

 protected:
  void Warning(TGIFSeverity severity, const std::string& msg);
  TGIFImage* FImage;
};

class TGIFHeader final : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* image);

  void Clear();
  void Prepare();
  void Assign(const TGIFHeader& source);
  void Assign(const TGIFColorMap& source);
  TGIFVersion Version() const override;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  int Width() const { return FLogicalScreenDescriptor.ScreenWidth; }
  int Height() const { return FLogicalScreenDescriptor.ScreenHeight; }
  void SetWidth(int value) { FLogicalScreenDescriptor.ScreenWidth = std::uint16_t(value); }
  void SetHeight(int value) { FLogicalScreenDescriptor.ScreenHeight = std::uint16_t(value); }
  int BackgroundColorIndex() const { return FLogicalScreenDescriptor.BackgroundColorIndex; }
  void SetBackgroundColorIndex(int value);
  TColor BackgroundColor();
  void SetBackgroundColor(TColor color);
  int AspectRatio() const { return FLogicalScreenDescriptor.AspectRatio; }
  void SetAspectRatio(int value) { FLogicalScreenDescriptor.AspectRatio = std::uint8_t(value); }
  TGIFGlobalColorMap& ColorMap() { return FColorMap; }
  const TGIFGlobalColorMap& ColorMap() const { return FColorMap; }
  int BitsPerPixel() const { return FColorMap.BitsPerPixel(); }
  int ColorResolution() const { return FColorMap.BitsPerPixel() - 1; }

  TLogicalScreenDescriptor FLogicalScreenDescriptor;

 private:
  TGIFGlobalColorMap FColorMap;
};

class TGIFExtensionList final : public TGIFList<TGIFExtension> {
 public:
  explicit TGIFExtensionList(TGIFFrame* frame);
  ~TGIFExtensionList() override;
  TGIFImage* Image() const;
  TGIFFrame* Frame() const { return FFrame; }
  void SaveToStream(TStream& stream);
  void LoadFromStream(TStream& stream);
  // Appends copies of the source's extensions (the list is not emptied first).
  void Assign(TGIFExtensionList& source);

 private:
  void Warning(TGIFSeverity severity, const std::string& msg);
  TGIFFrame* FFrame;
};

class TGIFFrame final : public TGIFItem {
 public:
  // Constructs a frame and appends it to image.Images(), which owns it.
  static TGIFFrame* Create(TGIFImage* image);
  ~TGIFFrame() override;
  TGIFFrame(const TGIFFrame&) = delete;
  TGIFFrame& operator=(const TGIFFrame&) = delete;

  void Clear();
  // From another frame: descriptor, pixels, the source's active colour map, extensions.
  void Assign(TGIFFrame* source);
  // From a bitmap: the colour reduction of the owning image.
  void Assign(TBitmap& source);

  void ChangeBounds(int left, int top, int width, int height);
  int Left() const { return FImageDescriptor.Left; }
  int Top() const { return FImageDescriptor.Top; }
  int Width() const { return FImageDescriptor.Width; }
  int Height() const { return FImageDescriptor.Height; }
  void SetLeft(int v) { ChangeBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { ChangeBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { ChangeBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { ChangeBounds(Left(), Top(), Width(), v); }
  TRect BoundsRect() const { return {Left(), Top(), Left() + Width(), Top() + Height()}; }
  TRect ClientRect() const { return {0, 0, Width(), Height()}; }
  bool Interlaced() const { return (FImageDescriptor.PackedFields & idInterlaced) != 0; }
  void SetInterlaced(bool value);

  void NewPixelData();
  void ClearPixelData();
  void FreePixelData();
  void NeedPixelData();
  std::uint8_t* RowData(int y);
  std::uint8_t& PixelAt(int x, int y);
  // The pixels; a compacted frame decodes them first and holds them from then on.
  std::uint8_t* Data() const {
    if (FEncoded) Expand();
    return FData.get();
  }
  int DataSize() const { return FDataSize; }

  // Keeps the frame in the form it is written in: its image data, encoded for the present colour
  // map, goes to the image's frame store and the pixels are released. Whatever asks for pixels
  // later gets them decoded, and they stay. A frame without a local colour map (its code size
  // follows the other frames), an empty frame, or one whose pixels lie outside its colour table
  // (the writer's warning belongs to the save) keeps its pixels.
  void Compact();
  // The same with image data that was encoded from this frame's pixels elsewhere (a worker
  // thread). Data that does not match the frame as it is now is not used: the frame encodes
  // itself.
  void Compact(TEncodedImageData&& encoded);
  bool Compacted() const { return FEncoded != nullptr; }
  // Encodes the pixels as the writer would with bits and colors; false (out left incomplete)
  // when the encoder warned.
  static bool EncodeImageData(const std::uint8_t* pixels, int width, int height, bool interlaced, int bits,
                              int colors, TEncodedImageData& out);

  bool Empty() const;
  bool Transparent() const;
  TGIFGraphicControlExtension* GraphicControlExtension() const { return FGCE; }
  TGIFVersion Version() const override;
  int BitsPerPixel() const { return FColorMap.BitsPerPixel(); }
  int ColorResolution() const { return FColorMap.BitsPerPixel() - 1; }
  TGIFLocalColorMap& ColorMap() { return FColorMap; }
  TGIFColorMap& ActiveColorMap();
  TGIFExtensionList& Extensions() { return FExtensions; }

  // The descriptor's packed byte as it is written: bits 6 and 4 kept, the colour table fields
  // from the local map.
  void PrepareDescriptor();
  void SaveToStream(TStream& stream) override;
  // The same bytes, for a caller that already knows the owning image's BitsPerPixel (the code
  // size of a frame without a colour map): saving an image of many frames asks for it once,
  // not once per frame over every frame.
  void SaveToStream(TStream& stream, int imageBitsPerPixel);
  void LoadFromStream(TStream& stream) override;

  TImageDescriptor FImageDescriptor;

 private:
  explicit TGIFFrame(TGIFImage* image);
  friend class TGIFGraphicControlExtension;

  struct TEncodedRef {
    std::shared_ptr<TFrameStore> Store;
    std::uint64_t Offset = 0;
    std::size_t Size = 0;
    int Bits = 0;
    int Colors = 0;
    bool Interlaced = false;
  };
  // The code size and colour count the writer takes for this frame now.
  void WriterCodeSize(int imageBitsPerPixel, int& bits, int& colors) const;
  // Decodes the compacted image data back into pixels.
  void Expand() const;
  void StoreEncoded(TEncodedImageData& encoded);

  mutable std::unique_ptr<std::uint8_t[]> FData;
  mutable std::unique_ptr<TEncodedRef> FEncoded;
  int FDataSize = 0;
  TGIFLocalColorMap FColorMap;
  TGIFExtensionList FExtensions;
  TGIFGraphicControlExtension* FGCE = nullptr;
};

class TGIFImageList final : public TGIFList<TGIFFrame> {
 public:
  explicit TGIFImageList(TGIFImage* image) : FImage(image) {}
  TGIFImage* Image() const { return FImage; }
  void SaveToStream(TStream& stream);
  void LoadFromStream(TStream& stream, TGIFImage* parent);

 private:
  TGIFImage* FImage;
};

class TGIFTrailer final : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;
};

class TGIFImage : public TPersistent {
 public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  void Clear();
  void Assign(TGIFImage& source);
  // Appends frames: every frame of an image, a copy of a frame, or a reduced bitmap.
  TGIFFrame* Add(TGIFImage& source);
  TGIFFrame* Add(TGIFFrame& source);
  TGIFFrame* Add(TBitmap& source);
  // Dispatch by kind, for callers that hold only the base ("Object type not supported for
  // operation" for anything but an image or a frame).
  TGIFFrame* Add(TPersistent* source);

  void SaveToStream(TStream& stream);
  void LoadFromStream(TStream& stream);
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);

  int Width() const { return FHeader.Width(); }
  int Height() const { return FHeader.Height(); }
  void SetWidth(int value);
  void SetHeight(int value);
  bool Empty() const { return FImages.Count() == 0; }
  TGIFVersion Version() const;
  int BitsPerPixel() const;
  int ColorResolution() const;
  TGIFGlobalColorMap& GlobalColorMap() { return FHeader.ColorMap(); }
  TGIFHeader& Header() { return FHeader; }
  TGIFImageList& Images() { return FImages; }
  int BackgroundColorIndex() const { return FHeader.BackgroundColorIndex(); }
  void SetBackgroundColorIndex(int value);
  TColor BackgroundColor() { return FHeader.BackgroundColor(); }
  void SetBackgroundColor(TColor color);
  int AspectRatio() const { return FHeader.AspectRatio(); }
  void SetAspectRatio(int value);
  bool IsTransparent() const;
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  TColor DrawBackgroundColor() const { return FDrawBackgroundColor; }
  void SetDrawBackgroundColor(TColor value) { FDrawBackgroundColor = value; }

  TColorReduction ColorReduction() const { return FColorReduction; }
  void SetColorReduction(TColorReduction value) { FColorReduction = value; }
  int ReductionBits() const { return FReductionBits; }
  void SetReductionBits(int value);
  TDitherMode DitherMode() const { return FDitherMode; }
  void SetDitherMode(TDitherMode value) { FDitherMode = value; }
  TGIFDithering Dithering() const { return FDithering; }
  void SetDithering(TGIFDithering value);
  bool ShouldDither() const;
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool value);
  TGIFAnimationLoop AnimateLoop() const { return FAnimateLoop; }
  void SetAnimateLoop(TGIFAnimationLoop value);
  int AnimationSpeed() const { return FAnimationSpeed; }
  void SetAnimationSpeed(int value);

  void Pack();
  // Where compacted frames keep their image data; a memory store unless one was set.
  std::shared_ptr<TFrameStore> FrameStore();
  void SetFrameStore(std::shared_ptr<TFrameStore> store) { FFrameStore = std::move(store); }

  void Warning(TPersistent* sender, TGIFSeverity severity, const std::string& msg);
  void Progress(TPersistent* sender, TProgressStage stage, int percentDone, bool redrawNow, const TRect& r,
                const std::string& msg);
  // Sets Modified and raises OnChange.
  void Changed();

  bool Modified = false;
  TGIFWarning OnWarning;
  TProgressEvent OnProgress;
  TNotifyEvent OnChange;

 private:
  std::shared_ptr<TFrameStore> FFrameStore;
  TGIFImageList FImages;
  TGIFHeader FHeader;
  TColorReduction FColorReduction = TColorReduction::rmQuantize;
  int FReductionBits = 8;
  TDitherMode FDitherMode = TDitherMode::dmFloydSteinberg;
  bool FAnimate = false;
  TGIFAnimationLoop FAnimateLoop = TGIFAnimationLoop::glEnabled;
  TGIFDithering FDithering = TGIFDithering::gdDisabled;
  int FAnimationSpeed = 100;
  TColor FDrawBackgroundColor = clNone;
  bool FTransparent = true;
};

}  // namespace clipsmith
