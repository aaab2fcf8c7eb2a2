// The block layout of a GIF file: signature, logical screen, colour tables, frames, trailer.
#include <algorithm>
#include <cmath>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "gif/lzw_encoder.h"

namespace clipsmith {

// ---- TGIFStream / TGIFWriter ----

std::size_t TGIFStream::Read(void*, std::size_t) { throw GIFException(gifmsg::sInvalidStream); }
std::size_t TGIFStream::Write(const void*, std::size_t) { throw GIFException(gifmsg::sInvalidStream); }
std::int64_t TGIFStream::Seek(std::int64_t, TSeekOrigin) { throw GIFException(gifmsg::sInvalidStream); }
std::int64_t TGIFStream::Size() { throw GIFException(gifmsg::sInvalidStream); }

void TGIFStream::Warning(TGIFSeverity severity, const std::string& msg) {
  if (FOnWarning) FOnWarning(nullptr, severity, msg);
}

TGIFWriter::~TGIFWriter() {
  try {
    FlushBuffer();
  } catch (...) {
    // Only reached while another error is already on its way out; that one is reported.
  }
}

std::size_t TGIFWriter::Write(const void* buffer, std::size_t count) {
  auto* p = static_cast<const std::uint8_t*>(buffer);
  std::size_t left = count;
  while (left > 0) {
    FNeedsFlush = true;
    std::size_t n = std::min<std::size_t>(left, std::size_t(256 - FBufferCount));
    std::copy_n(p, n, FBuffer.begin() + FBufferCount);
    FBufferCount += int(n);
    p += n;
    left -= n;
    if (FBufferCount == 256) FlushBuffer();
  }
  return count;
}

void TGIFWriter::FlushBuffer() {
  if (!FNeedsFlush || FBufferCount <= 1) return;
  FBuffer[0] = std::uint8_t(FBufferCount - 1);
  const int n = FBufferCount;
  FBufferCount = 1;
  FNeedsFlush = false;
  FStream.WriteBuffer(FBuffer.data(), std::size_t(n));
}

// ---- blocks ----

void TGIFHeader::SaveToStream(TStream& stream) {
  const TGIFVersion version = FImage ? FImage->Version() : Version();
  if (version == TGIFVersion::gvUnknown) throw GIFException(gifmsg::sNoFrames);
  stream.WriteBuffer(version == TGIFVersion::gv87a ? "GIF87a" : "GIF89a", 6);
  Prepare();
  stream.WriteBuffer(&FLogicalScreenDescriptor, sizeof FLogicalScreenDescriptor);
  if (FLogicalScreenDescriptor.PackedFields & lsdGlobalColorTable) FColorMap.SaveToStream(stream);
}

void TGIFImageList::SaveToStream(TStream& stream) {
  const int n = Count();
  const int imageBits = FImage && n > 0 ? FImage->BitsPerPixel() : 0;
  for (int i = 0; i < n; ++i) {
    Items(i)->SaveToStream(stream, imageBits);
    // (i + 1) * 100 / n, rounded to the nearest integer
    int percent = int((std::int64_t(i + 1) * 200 + n) / (2 * std::int64_t(n)));
    if (FImage) FImage->Progress(this, TProgressStage::psRunning, percent, false, {}, gifmsg::sProgressSaving);
  }
}

void TGIFFrame::SaveToStream(TStream& stream) {
  SaveToStream(stream, FColorMap.Count() == 0 && FImage ? FImage->BitsPerPixel() : 0);
}

void TGIFFrame::SaveToStream(TStream& stream, int imageBitsPerPixel) {
  FExtensions.SaveToStream(stream);
  // An empty frame's extensions stand in the file without an image.
  if (Empty()) return;
  PrepareDescriptor();
  stream.WriteBuffer(&FImageDescriptor, sizeof FImageDescriptor);
  FColorMap.SaveToStream(stream);

  int bits, colors;
  WriterCodeSize(imageBitsPerPixel, bits, colors);
  if (FEncoded) {
    const TEncodedRef& e = *FEncoded;
    if (e.Bits == bits && e.Colors == colors && e.Interlaced == Interlaced()) {
      // Encoded for exactly this: the stored bytes are what the encoder would write.
      constexpr std::size_t kChunk = 64 * 1024;
      std::vector<std::uint8_t> chunk(std::min(kChunk, e.Size));
      for (std::size_t done = 0; done < e.Size;) {
        const std::size_t n = std::min(chunk.size(), e.Size - done);
        e.Store->Read(e.Offset + done, std::span(chunk.data(), n));
        stream.WriteBuffer(chunk.data(), n);
        done += n;
      }
      return;
    }
    // The colour map or the interlacing changed since: encoded afresh from the pixels.
    Expand();
  }
  TDirectLZWEncoder encoder;
  if (FImage) {
    TGIFImage* image = FImage;
    encoder.FOnWarning = [image](TPersistent* sender, TGIFSeverity s, const std::string& m) {
      image->Warning(sender, s, m);
    };
  }
  encoder.Compress(stream, bits, Width(), Height(), Interlaced(), FData.get(), colors);
}

void TGIFTrailer::SaveToStream(TStream& stream) { stream.WriteByte(0x3B); }

void TGIFImage::SaveToStream(TStream& stream) {
  Progress(this, TProgressStage::psStarting, 0, false, {}, gifmsg::sProgressSaving);
  int percent = 0;
  try {
    FHeader.SaveToStream(stream);
    FImages.SaveToStream(stream);
    TGIFTrailer trailer(this);
    trailer.SaveToStream(stream);
    Modified = false;
    percent = 100;
  } catch (...) {
    Progress(this, TProgressStage::psEnding, percent, true, {}, gifmsg::sProgressSaving);
    throw;
  }
  Progress(this, TProgressStage::psEnding, percent, true, {}, gifmsg::sProgressSaving);
}

}  // namespace clipsmith
