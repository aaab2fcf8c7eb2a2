#include "gif/gif_image.h"

#include <cstring>

#include "gif/gif_extensions.h"

namespace clipsmith {

// ---- TGIFItem ----

void TGIFItem::Warning(TGIFSeverity severity, const std::string& msg) {
  if (FImage) FImage->Warning(this, severity, msg);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileMode::fmCreate);
  SaveToStream(stream);
  stream.Close();
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

// ---- TGIFHeader ----

TGIFHeader::TGIFHeader(TGIFImage* image) : TGIFItem(image), FColorMap(this) { Clear(); }

void TGIFHeader::Clear() {
  FColorMap.Clear();
  FLogicalScreenDescriptor = {};
}

void TGIFHeader::Prepare() {
  std::uint8_t packed = 0;
  if (FColorMap.Count() > 0) {
    packed |= lsdGlobalColorTable;
    if (FColorMap.Optimized()) packed |= lsdSort;
  }
  // With an empty map b is 0 and both fields wrap round to 7.
  int bits = (FColorMap.BitsPerPixel() - 1) & 7;
  packed |= std::uint8_t(bits << 4) | std::uint8_t(bits);
  FLogicalScreenDescriptor.PackedFields = packed;
}

void TGIFHeader::Assign(const TGIFHeader& source) {
  if (&source == this) return;
  FColorMap.Assign(source.FColorMap);
  FLogicalScreenDescriptor = source.FLogicalScreenDescriptor;
}

void TGIFHeader::Assign(const TGIFColorMap& source) {
  Clear();
  FColorMap.Assign(source);
}

TGIFVersion TGIFHeader::Version() const {
  return (FColorMap.Optimized() || AspectRatio() != 0) ? TGIFVersion::gv89a : TGIFVersion::gv87a;
}

void TGIFHeader::SetBackgroundColorIndex(int value) {
  if (FColorMap.Count() > 0 && value >= FColorMap.Count()) {
    Warning(TGIFSeverity::gsWarning, gifmsg::sBadColorIndex);
    value = 0;
  }
  FLogicalScreenDescriptor.BackgroundColorIndex = std::uint8_t(value);
  if (FImage) FImage->Changed();
}

TColor TGIFHeader::BackgroundColor() { return FColorMap.GetColor(BackgroundColorIndex()); }

void TGIFHeader::SetBackgroundColor(TColor color) { SetBackgroundColorIndex(FColorMap.AddUnique(color)); }

// ---- TGIFFrame ----

TGIFFrame::TGIFFrame(TGIFImage* image) : TGIFItem(image), FColorMap(this), FExtensions(this) {}

TGIFFrame* TGIFFrame::Create(TGIFImage* image) {
  auto frame = std::unique_ptr<TGIFFrame>(new TGIFFrame(image));
  TGIFFrame* raw = frame.get();
  image->Images().AddNew(frame.release());
  return raw;
}

TGIFFrame::~TGIFFrame() {
  if (FImage) FImage->Images().Extract(this);
  FExtensions.Clear();
  FColorMap.Clear();
  FreePixelData();
  FGCE = nullptr;
}

void TGIFFrame::Clear() {
  FExtensions.Clear();
  FColorMap.Clear();
  FreePixelData();
  ChangeBounds(0, 0, 0, 0);
  FGCE = nullptr;
}

void TGIFFrame::Assign(TGIFFrame* source) {
  if (source == this) return;
  Clear();
  if (!source) return;
  if (!source->Empty()) {
    FImageDescriptor = source->FImageDescriptor;
    if (source->FEncoded) {
      // A compacted frame's image data serves its copy too: same pixels, same colour map.
      FreePixelData();
      FDataSize = source->FDataSize;
      FEncoded = std::make_unique<TEncodedRef>(*source->FEncoded);
    } else {
      NewPixelData();
      std::memcpy(FData.get(), source->FData.get(), std::size_t(FDataSize));
    }
    FColorMap.Assign(source->ActiveColorMap());
    FExtensions.Assign(source->FExtensions);
  }
}

void TGIFFrame::ChangeBounds(int left, int top, int width, int height) {
  if (left < 0 || top < 0 || width < 0 || height < 0 || left + width > 65535 || top + height > 65535)
    throw GIFException(gifmsg::sBadImageSize);
  const bool sizeChanged = width != Width() || height != Height();
  FImageDescriptor.Left = std::uint16_t(left);
  FImageDescriptor.Top = std::uint16_t(top);
  FImageDescriptor.Width = std::uint16_t(width);
  FImageDescriptor.Height = std::uint16_t(height);
  if (sizeChanged) {
    NewPixelData();
    ClearPixelData();
  }
  if (!FImage) return;
  bool warn = false;
  if (FImage->Width() < left + width) {
    warn = FImage->Width() > 0;
    FImage->SetWidth(left + width);
  }
  if (FImage->Height() < top + height) {
    warn = warn || FImage->Height() > 0;
    FImage->SetHeight(top + height);
  }
  if (warn) Warning(TGIFSeverity::gsWarning, gifmsg::sScreenSizeExceeded);
}

void TGIFFrame::SetInterlaced(bool value) {
  if (value)
    FImageDescriptor.PackedFields |= idInterlaced;
  else
    FImageDescriptor.PackedFields &= std::uint8_t(~idInterlaced);
}

void TGIFFrame::NewPixelData() {
  FreePixelData();
  std::int64_t size = std::int64_t(Width()) * Height();
  // The descriptor limits a frame to 65535 x 65535; a buffer beyond 1 GiB is never a real frame.
  if (size > (std::int64_t(1) << 30)) throw GIFException(gifmsg::sBadImageSize);
  if (size > 0) FData.reset(new std::uint8_t[std::size_t(size)]);
  FDataSize = int(size);
}

void TGIFFrame::ClearPixelData() {
  if (FEncoded) Expand();
  if (!FData || FDataSize == 0) return;
  std::uint8_t fill = Transparent() ? std::uint8_t(FGCE->TransparentColorIndex()) : 0;
  std::memset(FData.get(), fill, std::size_t(FDataSize));
}

void TGIFFrame::FreePixelData() {
  FData.reset();
  FEncoded.reset();
  FDataSize = 0;
}

void TGIFFrame::NeedPixelData() {
  if (FEncoded) Expand();
  if (!FData) {
    NewPixelData();
    ClearPixelData();
  }
  if (FDataSize == 0) throw GIFException(gifmsg::sEmptyImage);
}

std::uint8_t* TGIFFrame::RowData(int y) {
  if (y < 0 || y >= Height()) throw GIFException(gifmsg::sBadPixelCoordinates);
  NeedPixelData();
  return FData.get() + std::size_t(y) * std::size_t(Width());
}

std::uint8_t& TGIFFrame::PixelAt(int x, int y) {
  if (x < 0 || x >= Width()) throw GIFException(gifmsg::sBadPixelCoordinates);
  return RowData(y)[x];
}

bool TGIFFrame::Empty() const { return (!FData && !FEncoded) || FDataSize == 0 || Height() == 0 || Width() == 0; }

bool TGIFFrame::Transparent() const { return FGCE && FGCE->Transparent(); }

TGIFVersion TGIFFrame::Version() const {
  return (FColorMap.Optimized() || FExtensions.Count() > 0) ? TGIFVersion::gv89a : TGIFVersion::gv87a;
}

TGIFColorMap& TGIFFrame::ActiveColorMap() {
  if (FColorMap.Count() > 0) return FColorMap;
  if (FImage && FImage->GlobalColorMap().Count() > 0) return FImage->GlobalColorMap();
  return FColorMap;
}

void TGIFFrame::PrepareDescriptor() {
  std::uint8_t packed = FImageDescriptor.PackedFields & (idInterlaced | 0x10);
  if (FColorMap.Count() > 0) {
    packed |= idLocalColorTable;
    if (FColorMap.Optimized()) packed |= idSort;
    packed |= std::uint8_t((FColorMap.BitsPerPixel() - 1) & 7);
  }
  FImageDescriptor.PackedFields = packed;
}

// ---- TGIFExtensionList ----

TGIFExtensionList::TGIFExtensionList(TGIFFrame* frame) : FFrame(frame) {}
TGIFExtensionList::~TGIFExtensionList() { Clear(); }

TGIFImage* TGIFExtensionList::Image() const { return FFrame ? FFrame->Image() : nullptr; }

void TGIFExtensionList::Warning(TGIFSeverity severity, const std::string& msg) {
  if (TGIFImage* image = Image()) image->Warning(this, severity, msg);
}

void TGIFExtensionList::SaveToStream(TStream& stream) {
  for (int i = 0; i < Count(); ++i) Items(i)->SaveToStream(stream);
}

void TGIFExtensionList::Assign(TGIFExtensionList& source) {
  if (&source == this) return;
  TMemoryStream memory;
  source.SaveToStream(memory);
  memory.SetPosition(0);
  LoadFromStream(memory);
}

void TGIFExtensionList::LoadFromStream(TStream& stream) {
  std::uint8_t b;
  if (stream.Read(&b, 1) != 1) return;
  while (b != 0x2C && b != 0x3B) {
    if (b != 0x21) {
      Warning(TGIFSeverity::gsWarning, gifmsg::sBadExtensionLabel);
      stream.Seek(-1, TSeekOrigin::soCurrent);
      return;
    }
    const TGIFExtensionClass* cls = TGIFExtension::FindExtension(stream);
    if (!cls) throw GIFException(gifmsg::sUnknownExtension);
    stream.Seek(-1, TSeekOrigin::soCurrent);
    TGIFExtension* ext = cls->Create(FFrame);
    try {
      ext->LoadFromStream(stream);
    } catch (...) {
      delete ext;
      throw;
    }
    Add(ext);
    if (stream.Read(&b, 1) != 1) return;
  }
  stream.Seek(-1, TSeekOrigin::soCurrent);
}

// ---- TGIFImage ----

TGIFImage::TGIFImage() : FImages(this), FHeader(this) {
  FHeader.Prepare();
}

TGIFImage::~TGIFImage() {
  // Frames leave the list one by one while it is still whole.
  FImages.Clear();
}

void TGIFImage::Clear() {
  FImages.Clear();
  FHeader.ColorMap().Clear();
  FHeader.SetWidth(0);
  FHeader.SetHeight(0);
  FHeader.Prepare();
  Changed();
}

void TGIFImage::Assign(TGIFImage& source) {
  if (&source == this) return;
  Clear();
  FHeader.Assign(source.FHeader);
  FDrawBackgroundColor = source.FDrawBackgroundColor;
  FAnimate = source.FAnimate;
  FAnimationSpeed = source.FAnimationSpeed;
  FTransparent = source.FTransparent;
  FDithering = source.FDithering;
  FAnimateLoop = source.FAnimateLoop;
  FColorReduction = source.FColorReduction;
  FDitherMode = source.FDitherMode;
  const int n = source.Images().Count();
  source.Progress(&source, TProgressStage::psStarting, 0, false, {}, gifmsg::sProgressCopying);
  int percent = 0;
  try {
    for (int i = 0; i < n; ++i) {
      Add(*source.Images()[i]);
      percent = int((std::int64_t(i + 1) * 200 + n) / (2 * n));
      source.Progress(&source, TProgressStage::psRunning, percent, false, {}, gifmsg::sProgressCopying);
    }
  } catch (...) {
    source.Progress(&source, TProgressStage::psEnding, percent, true, {}, gifmsg::sProgressCopying);
    throw;
  }
  source.Progress(&source, TProgressStage::psEnding, 100, true, {}, gifmsg::sProgressCopying);
  Changed();
}

TGIFFrame* TGIFImage::Add(TGIFImage& source) {
  TGIFFrame* last = nullptr;
  // Adding an image to itself copies the frames it had when the call began.
  const int n = source.Images().Count();
  for (int i = 0; i < n; ++i) {
    TGIFFrame* frame = TGIFFrame::Create(this);
    try {
      frame->Assign(source.Images()[i]);
    } catch (...) {
      delete frame;
      throw;
    }
    last = frame;
  }
  Changed();
  return last;
}

TGIFFrame* TGIFImage::Add(TGIFFrame& source) {
  TGIFFrame* frame = TGIFFrame::Create(this);
  try {
    frame->Assign(&source);
  } catch (...) {
    delete frame;
    throw;
  }
  Changed();
  return frame;
}

TGIFFrame* TGIFImage::Add(TPersistent* source) {
  if (auto* image = dynamic_cast<TGIFImage*>(source)) return Add(*image);
  if (auto* frame = dynamic_cast<TGIFFrame*>(source)) return Add(*frame);
  throw GIFException(gifmsg::sUnsupportedClass);
}

void TGIFImage::SetWidth(int value) {
  if (value < 0 || value > 65535) value = 0;
  for (int i = 0; i < FImages.Count(); ++i) value = std::max(value, FImages[i]->Left() + FImages[i]->Width());
  if (value == Width()) return;
  FHeader.SetWidth(value);
  Changed();
}

void TGIFImage::SetHeight(int value) {
  if (value < 0 || value > 65535) value = 0;
  for (int i = 0; i < FImages.Count(); ++i) value = std::max(value, FImages[i]->Top() + FImages[i]->Height());
  if (value == Height()) return;
  FHeader.SetHeight(value);
  Changed();
}

TGIFVersion TGIFImage::Version() const {
  TGIFVersion v = TGIFVersion::gvUnknown;
  for (int i = 0; i < FImages.Count() && v != TGIFVersion::gv89a; ++i) v = std::max(v, FImages[i]->Version());
  return v;
}

int TGIFImage::BitsPerPixel() const {
  int b = FHeader.BitsPerPixel();
  for (int i = 0; i < FImages.Count(); ++i) b = std::max(b, FImages[i]->BitsPerPixel());
  return b;
}

int TGIFImage::ColorResolution() const {
  int r = FHeader.ColorResolution();
  for (int i = 0; i < FImages.Count(); ++i) r = std::max(r, FImages[i]->ColorResolution());
  return r;
}

void TGIFImage::SetBackgroundColorIndex(int value) {
  if (value == BackgroundColorIndex()) return;
  FHeader.SetBackgroundColorIndex(value);
  Pack();
  Changed();
}

void TGIFImage::SetBackgroundColor(TColor color) {
  if (FHeader.ColorMap().Count() > 0 && FHeader.BackgroundColor() == color) return;
  FHeader.SetBackgroundColor(color);
  Pack();
  Changed();
}

void TGIFImage::SetAspectRatio(int value) {
  if (value == AspectRatio()) return;
  FHeader.SetAspectRatio(value);
  Pack();
  Changed();
}

bool TGIFImage::IsTransparent() const {
  for (int i = 0; i < FImages.Count(); ++i)
    if (FImages[i]->Transparent()) return true;
  return false;
}

void TGIFImage::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed();
}

void TGIFImage::SetReductionBits(int value) {
  if (value < 3 || value > 8) throw GIFException(gifmsg::sInvalidBitSize);
  FReductionBits = value;
}

void TGIFImage::SetDithering(TGIFDithering value) {
  if (value == FDithering) return;
  FDithering = value;
  Pack();
  Changed();
}

bool TGIFImage::ShouldDither() const {
  return FDithering == TGIFDithering::gdEnabled || (FDithering == TGIFDithering::gdAuto && kDisplayBitsPerPixel <= 8);
}

void TGIFImage::SetAnimate(bool value) {
  if (value == FAnimate) return;
  FAnimate = value;
  Changed();
}

void TGIFImage::SetAnimateLoop(TGIFAnimationLoop value) {
  if (value == FAnimateLoop) return;
  FAnimateLoop = value;
  Changed();
}

void TGIFImage::SetAnimationSpeed(int value) { FAnimationSpeed = std::clamp(value, 0, 1000); }

void TGIFImage::Pack() {
  if (FHeader.ColorMap().Count() == 0 && FImages.Count() == 1) {
    TGIFFrame* only = FImages[0];
    FHeader.ColorMap().Assign(only->ColorMap());
    only->ColorMap().Clear();
    Changed();
  }
}

void TGIFImage::Warning(TPersistent* sender, TGIFSeverity severity, const std::string& msg) {
  if (OnWarning)
    OnWarning(sender, severity, msg);
  else if (severity == TGIFSeverity::gsError)
    throw GIFException(msg);
}

void TGIFImage::Progress(TPersistent* sender, TProgressStage stage, int percentDone, bool redrawNow, const TRect& r,
                         const std::string& msg) {
  if (OnProgress) OnProgress(sender, stage, percentDone, redrawNow, r, msg);
}

void TGIFImage::Changed() {
  Modified = true;
  if (OnChange) OnChange(this);
}

void TGIFImage::SaveToFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileMode::fmCreate);
  SaveToStream(stream);
  stream.Close();
}

void TGIFImage::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

}  // namespace clipsmith
