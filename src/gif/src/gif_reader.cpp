// Reading a GIF file into the image model: signature and screen, colour tables, frames with their
// extensions and descriptors, and the trailer. Most defects are warnings and reading goes on;
// only what makes further reading meaningless raises.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif_reader_budget.h"

namespace clipsmith {

namespace {

// Reads one byte; false at the end of the stream.
bool ReadByte(TStream& stream, std::uint8_t& b) { return stream.Read(&b, 1) == 1; }

// Skips the zero bytes some writers leave between blocks; false at the end of the stream.
bool ReadNonZero(TStream& stream, std::uint8_t& b) {
  while (ReadByte(stream, b))
    if (b != 0) return true;
  return false;
}

void StepBack(TStream& stream) { stream.Seek(-1, TSeekOrigin::soCurrent); }

std::uint16_t Word(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

bool IsGIFSignature(const std::uint8_t* sig, std::size_t count) {
  return count >= 3 && std::toupper(sig[0]) == 'G' && std::toupper(sig[1]) == 'I' && std::toupper(sig[2]) == 'F';
}

// Position x 100 / size, rounded, within 0..100.
int Percent(std::int64_t pos, std::int64_t size) {
  if (size <= 0) return 0;
  return int(std::clamp<std::int64_t>(std::llround(double(pos) * 100.0 / double(size)), 0, 100));
}

// The entry count a colour table size code announces: 2 to the power (code + 1).
int ColorTableEntries(std::uint8_t packed) { return 1 << ((packed & 0x07) + 1); }

}  // namespace

// ---------------------------------------------------------------------------------------------

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
  if (count < 0 || count > kMaxColors) throw GIFException(gifmsg::sTooManyColors);
  Clear();
  std::uint8_t bytes[kMaxColors * 3];
  ReadExact(stream, bytes, std::size_t(count) * 3);
  for (int i = 0; i < count; ++i) FColorMap[std::size_t(i)] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  FCount = count;
}

void TGIFHeader::LoadFromStream(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t sig[6];
  std::size_t got = stream.Read(sig, sizeof sig);
  if (!IsGIFSignature(sig, got)) {
    // Some containers store the GIF behind a 4-byte length.
    stream.SetPosition(start + 4);
    got = stream.Read(sig, sizeof sig);
    if (!IsGIFSignature(sig, got)) throw GIFException(gifmsg::sBadSignature);
  }
  if (got < sizeof sig) throw GIFException(gifmsg::sOutOfData);

  std::uint8_t lsd[7];
  ReadExact(stream, lsd, sizeof lsd);
  FLogicalScreenDescriptor.ScreenWidth = Word(lsd);
  FLogicalScreenDescriptor.ScreenHeight = Word(lsd + 2);
  FLogicalScreenDescriptor.PackedFields = lsd[4];
  FLogicalScreenDescriptor.BackgroundColorIndex = lsd[5];
  FLogicalScreenDescriptor.AspectRatio = lsd[6];

  if (lsd[4] & lsdGlobalColorTable)
    FColorMap.LoadFromStream(stream, ColorTableEntries(lsd[4]));
  else
    FColorMap.Clear();
}

void TGIFImageList::LoadFromStream(TStream& stream, TGIFImage* parent) {
  TGIFImage* image = parent ? parent : FImage;
  // Pixel memory is counted over the whole list, frames already in it included.
  gifread::TPixelBudget budget;
  for (int i = 0; i < Count(); ++i) budget.Used += std::uint64_t(Items(i)->DataSize());
  gifread::TBudgetScope scope(budget);
  const std::int64_t size = stream.Size();

  std::uint8_t b = 0;
  if (!ReadNonZero(stream, b)) return;
  while (b != ';') {
    StepBack(stream);
    if (b != '!' && b != ',') {
      // Left in front of the stray byte, which the trailer then reports.
      image->Warning(this, TGIFSeverity::gsWarning, gifmsg::sBadBlock);
      return;
    }
    TGIFFrame* frame = TGIFFrame::Create(image);
    try {
      frame->LoadFromStream(stream);
    } catch (...) {
      Delete(IndexOf(frame));
      throw;
    }
    image->Progress(this, TProgressStage::psRunning, Percent(stream.Position(), size), false, TRect{},
                    gifmsg::sProgressLoading);
    if (frame->Empty() && frame->Extensions().Count() == 0) Delete(IndexOf(frame));
    if (!ReadNonZero(stream, b)) return;
  }
  StepBack(stream);
}

void TGIFFrame::LoadFromStream(TStream& stream) {
  Clear();
  FExtensions.LoadFromStream(stream);

  std::uint8_t b = 0;
  if (!ReadByte(stream, b)) return;
  StepBack(stream);
  // Extensions with no image after them.
  if (b == ';' || b == 0) return;

  std::uint8_t id[10];
  ReadExact(stream, id, sizeof id);
  if (id[0] != ',') throw GIFException(gifmsg::sInvalidData);
  FImageDescriptor.Separator = id[0];
  FImageDescriptor.Left = Word(id + 1);
  FImageDescriptor.Top = Word(id + 3);
  FImageDescriptor.Width = Word(id + 5);
  FImageDescriptor.Height = Word(id + 7);
  FImageDescriptor.PackedFields = id[9];

  TImageDescriptor& d = FImageDescriptor;
  bool badSize = false;
  if (d.Left + d.Width > 0xFFFF) {
    d.Width = std::uint16_t((d.Left + d.Width) % 0x10000);
    badSize = true;
  }
  if (d.Top + d.Height > 0xFFFF) {
    d.Height = std::uint16_t((d.Top + d.Height) % 0x10000);
    badSize = true;
  }
  if (badSize) Warning(TGIFSeverity::gsWarning, gifmsg::sBadImageSize);
  if (d.Width == 0 || d.Height == 0) {
    d.Width = std::uint16_t(FImage->Width());
    d.Height = std::uint16_t(FImage->Height());
    Warning(TGIFSeverity::gsWarning, gifmsg::sScreenSizeExceeded);
  }
  // Wrapping the size round does not always bring the far edge back into the 16-bit plane (a
  // frame at 65535 wrapped from width 2 to 1 still ends at 65536), and neither does taking the
  // screen size; such a frame is cut at the edge instead of failing later in ChangeBounds.
  bool clipped = false;
  if (d.Left + d.Width > 0xFFFF) {
    d.Width = std::uint16_t(0xFFFF - d.Left);
    clipped = true;
  }
  if (d.Top + d.Height > 0xFFFF) {
    d.Height = std::uint16_t(0xFFFF - d.Top);
    clipped = true;
  }
  if (clipped && !badSize) Warning(TGIFSeverity::gsWarning, gifmsg::sBadImageSize);

  if (d.PackedFields & idLocalColorTable) FColorMap.LoadFromStream(stream, ColorTableEntries(d.PackedFields));

  DecodeImageData(*this, stream);
  if (Empty()) return;

  // The screen grows to take the frame in, as ChangeBounds would make it, but through the header:
  // the image's own setters look at every frame, which made a file of many frames load in
  // quadratic time. The frames read so far all lie on the screen, so nothing else can widen it.
  TGIFHeader& header = FImage->Header();
  const int right = d.Left + d.Width, bottom = d.Top + d.Height;
  bool grown = false;
  if (header.Width() < right) {
    grown = header.Width() > 0;
    header.SetWidth(right);
  }
  if (header.Height() < bottom) {
    grown = grown || header.Height() > 0;
    header.SetHeight(bottom);
  }
  // Same size, so the pixels stay.
  ChangeBounds(d.Left, d.Top, d.Width, d.Height);
  if (grown) Warning(TGIFSeverity::gsWarning, gifmsg::sScreenSizeExceeded);
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
  std::uint8_t b = 0;
  if (ReadByte(stream, b) && b != ';') Warning(TGIFSeverity::gsWarning, gifmsg::sBadTrailer);
}

void TGIFImage::LoadFromStream(TStream& stream) {
  Progress(this, TProgressStage::psStarting, 0, false, TRect{}, gifmsg::sProgressLoading);
  int percent = 0;
  try {
    // What Clear does, without telling anyone yet: the content changes once, at the end.
    FImages.Clear();
    FHeader.ColorMap().Clear();
    FHeader.SetWidth(0);
    FHeader.SetHeight(0);
    FHeader.Prepare();
    const std::int64_t start = stream.Position();
    try {
      FHeader.LoadFromStream(stream);
      FImages.LoadFromStream(stream, this);
      TGIFTrailer trailer(this);
      trailer.LoadFromStream(stream);
      Changed();
    } catch (...) {
      // The caller may try the bytes as something else.
      stream.SetPosition(start);
      throw;
    }
    percent = 100;
  } catch (...) {
    Progress(this, TProgressStage::psEnding, 0, true, TRect{}, gifmsg::sProgressLoading);
    throw;
  }
  Progress(this, TProgressStage::psEnding, percent, true, TRect{}, gifmsg::sProgressLoading);
}

}  // namespace clipsmith
