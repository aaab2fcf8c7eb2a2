// The reading half of the image data: sub-block unpacking, code extraction, LZW decoding and the
// pixel walk of one frame.
#include <algorithm>
#include <cstring>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif_reader_budget.h"
#include "interlaced_rows.h"

namespace clipsmith {

namespace {

TGIFReadLimits& Limits() {
  static TGIFReadLimits limits;
  return limits;
}

// Skips up to count bytes by reading them, so that a length byte pointing past the end of the
// stream never moves the position beyond it. False when the stream ended first.
bool SkipBytes(TStream& stream, std::size_t count) {
  std::uint8_t scratch[256];
  while (count > 0) {
    std::size_t n = std::min(count, sizeof scratch);
    std::size_t got = stream.Read(scratch, n);
    if (got < n) return false;
    count -= got;
  }
  return true;
}

}  // namespace

const TGIFReadLimits& GIFReadLimits() { return Limits(); }
void SetGIFReadLimits(const TGIFReadLimits& limits) { Limits() = limits; }

namespace gifread {
TPixelBudget*& ActiveBudget() {
  thread_local TPixelBudget* budget = nullptr;
  return budget;
}
}  // namespace gifread

// ---------------------------------------------------------------------------------------------
// TGIFReader

TGIFReader::TGIFReader(TStream& stream, int bufferSize, TGIFWarning onWarning)
    : TGIFStream(std::move(onWarning), stream), FBufferSize(std::max(bufferSize, 255)) {
  FBuffer = std::make_unique<std::uint8_t[]>(std::size_t(FBufferSize));
  FData = FBuffer.get();
}

void TGIFReader::FillBuffer() {
  if (FBufferCount > 0 && FData != FBuffer.get()) std::memmove(FBuffer.get(), FData, std::size_t(FBufferCount));
  FData = FBuffer.get();
  while (!FEOF && FBufferCount < FBufferSize) {
    int length = FPendingLength;
    FPendingLength = 0;
    if (length == 0) {
      std::uint8_t b = 0;
      if (FStream.Read(&b, 1) != 1 || b == 0) {
        FEOF = true;
        break;
      }
      length = b;
    }
    if (length > FBufferSize - FBufferCount) {
      FPendingLength = length;
      break;
    }
    std::size_t got = FStream.Read(FBuffer.get() + FBufferCount, std::size_t(length));
    FBufferCount += int(got);
    // The stream ended inside the sub-block: what is there counts, the next length read ends it.
    if (got < std::size_t(length)) Warning(TGIFSeverity::gsWarning, gifmsg::sOutOfData);
  }
}

std::size_t TGIFReader::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (FBufferCount == 0) {
      if (FEOF) break;
      FillBuffer();
      // A fill either delivers bytes or reaches the end; nothing else can leave the buffer empty.
      if (FBufferCount == 0) continue;
    }
    std::size_t n = std::min(count - done, std::size_t(FBufferCount));
    std::memcpy(out + done, FData, n);
    FData += n;
    FBufferCount -= int(n);
    done += n;
  }
  return done;
}

void TGIFReader::SkipData() {
  FBufferCount = 0;
  FData = FBuffer.get();
  if (!FEOF) {
    bool more = FPendingLength == 0 || SkipBytes(FStream, std::size_t(FPendingLength));
    while (more) {
      std::uint8_t b = 0;
      if (FStream.Read(&b, 1) != 1 || b == 0) break;
      more = SkipBytes(FStream, b);
    }
  }
  FPendingLength = 0;
  FEOF = true;
}

// ---------------------------------------------------------------------------------------------
// TGIFBitReader

TGIFBitReader::TGIFBitReader(TStream& stream, TGIFWarning onWarning)
    : FOnWarning(std::move(onWarning)),
      FStream(std::make_unique<TGIFReader>(stream, TGIFReader::kDefaultBufferSize, FOnWarning)) {}

void TGIFBitReader::Warning(TGIFSeverity severity, const std::string& msg) {
  if (FOnWarning) FOnWarning(this, severity, msg);
}

bool TGIFBitReader::Refill(int bits) {
  if (FEOF) {
    Warning(TGIFSeverity::gsWarning, gifmsg::sDecodeTooFewBits);
    return false;
  }
  FBuffer[0] = FBuffer[std::size_t(FLastByte - 2)];
  FBuffer[1] = FBuffer[std::size_t(FLastByte - 1)];
  int n = int(FStream->Read(FBuffer.data() + 2, 254));
  FLastByte = n + 2;
  FStartBit = FStartBit - FLastBit + 16;
  FLastBit = (n + 2) * 8;
  if (bits >= FLastBit - FStartBit) {
    Warning(TGIFSeverity::gsWarning, gifmsg::sDecodeTooFewBits);
    return false;
  }
  FEOF = FStream->Eof();
  return true;
}

void TGIFBitReader::SkipData() {
  FStream->SkipData();
  FEOF = true;
}

// ---------------------------------------------------------------------------------------------
// TGIFLZWDecoder

TGIFLZWDecoder::TGIFLZWDecoder(TGIFBitReader& bits, int minCodeSize)
    : FBits(bits),
      FMinCodeSize(std::clamp(minCodeSize, 0, 12)),
      FClearCode(1 << FMinCodeSize),
      FEOFCode(FClearCode + 1),
      FCodeSize(FMinCodeSize + 1),
      FLimit(2 * FClearCode),
      FNextFree(FClearCode + 2) {}

void TGIFLZWDecoder::ResetTable() {
  FPrefix.fill(0);
  // With a minimum code size of 12 the clear code is 4096 and every table slot is a root.
  int roots = std::min(FClearCode, kTableSize);
  for (int r = 0; r < roots; ++r) {
    FSuffix[std::size_t(r)] = std::uint16_t(r);
    FLength[std::size_t(r)] = 1;
  }
  FCodeSize = FMinCodeSize + 1;
  FLimit = 2 * FClearCode;
  FNextFree = FClearCode + 2;
  FStackCount = 0;
}

inline void TGIFLZWDecoder::Push(int value) {
  if (FStackCount >= kStackSize) throw GIFException(gifmsg::sInvalidData);
  FStack[std::size_t(FStackCount++)] = std::uint16_t(value);
}

// The entry for the old code's string followed by the first value of the current one.
inline void TGIFLZWDecoder::AddEntry() {
  if (FNextFree >= kTableSize) return;
  FPrefix[std::size_t(FNextFree)] = std::uint16_t(FOldCode);
  FSuffix[std::size_t(FNextFree)] = std::uint16_t(FFirstValue);
  FLength[std::size_t(FNextFree)] = std::uint16_t(FLength[std::size_t(FOldCode)] + 1);
  ++FNextFree;
  // ">=" rather than "==": with a minimum code size of 0 the first free code already lies past
  // the limit, and the code size has to catch up.
  if (FNextFree >= FLimit && FLimit < kTableSize) {
    FLimit *= 2;
    ++FCodeSize;
  }
}

bool TGIFLZWDecoder::DecodeCode() {
  if (FEnded) return false;
  if (FFirstCode) {
    // The tables start from a clear code whether or not the data begins with one.
    FFirstCode = false;
    return DecodeCode(FClearCode);
  }
  return DecodeCode(FBits.ReadBits(FCodeSize));
}

bool TGIFLZWDecoder::DecodeCode(int code) {
  if (code < 0) {
    FEnded = true;
    return false;
  }
  if (code == FClearCode) {
    ResetTable();
    do code = FBits.ReadBits(FCodeSize);
    while (code == FClearCode);
    // An end code right after a clear code ends the data like anywhere else; it is no pixel.
    if (code < 0 || code == FEOFCode) {
      FEnded = true;
      return false;
    }
    FSound = code < FClearCode;
    FOldCode = code;
    FFirstValue = code;
    Push(code);
    return true;
  }
  if (code == FEOFCode) {
    FEnded = true;
    return false;
  }
  const int incoming = code;
  if (code >= FNextFree) {
    if (code > FNextFree) FSound = false;
    Push(FFirstValue);
    code = FOldCode;
  }
  while (code >= FClearCode) {
    const int prefix = FPrefix[std::size_t(code)];
    if (prefix == code) throw GIFException(gifmsg::sDecodeCircular);
    Push(FSuffix[std::size_t(code)]);
    code = prefix;
  }
  FFirstValue = FSuffix[std::size_t(code)];
  Push(FFirstValue);
  AddEntry();
  FOldCode = incoming;
  return true;
}

inline bool TGIFLZWDecoder::DecodeDirect(int code, std::uint8_t* out, int room, int& written) {
  if (code == FClearCode || code == FEOFCode || code > FNextFree || code < 0) return false;
  const bool repeat = code == FNextFree;  // the string of the old code and its own first value
  const int length = repeat ? FLength[std::size_t(FOldCode)] + 1 : FLength[std::size_t(code)];
  if (length > room) return false;
  std::uint8_t* p = out + length - 1;
  int c = code;
  if (repeat) {
    *p-- = std::uint8_t(FFirstValue);
    c = FOldCode;
  }
  // The lengths are exact in a sound table; the bound on p only keeps every write inside out.
  while (c >= FClearCode && p > out) {
    *p-- = std::uint8_t(FSuffix[std::size_t(c)]);
    c = FPrefix[std::size_t(c)];
  }
  *p = std::uint8_t(FSuffix[std::size_t(c)]);
  FFirstValue = FSuffix[std::size_t(c)];
  AddEntry();
  FOldCode = code;
  written = length;
  return true;
}

int TGIFLZWDecoder::Decode(std::uint8_t* out, int count) {
  int done = 0;
  while (done < count) {
    if (FStackCount == 0) {
      if (FSound && !FFirstCode && !FEnded) {
        const int code = FBits.ReadBits(FCodeSize);
        int written = 0;
        if (DecodeDirect(code, out + done, count - done, written)) {
          done += written;
          continue;
        }
        if (!DecodeCode(code)) break;
      } else if (!DecodeCode()) {
        break;
      }
    }
    int n = std::min(FStackCount, count - done);
    const std::uint16_t* top = FStack.data() + FStackCount;
    for (int i = 0; i < n; ++i) out[done + i] = std::uint8_t(top[-1 - i]);
    FStackCount -= n;
    done += n;
  }
  return done;
}

// ---------------------------------------------------------------------------------------------
// DecodeImageData

namespace {

constexpr int kProgressPixels = 10000;

class TDecodeProgress {
 public:
  TDecodeProgress(TGIFFrame& frame, TStream& stream) : FFrame(frame), FStream(stream), FSize(stream.Size()) {}
  void Advance(int pixels) {
    FPixels += pixels;
    if (FPixels < kProgressPixels) return;
    FPixels = 0;
    TGIFImage* image = FFrame.Image();
    if (!image) return;
    std::int64_t pos = FStream.Position();
    int pct = FSize > 0 ? int(std::clamp<std::int64_t>(pos * 100 / FSize, 0, 100)) : 0;
    image->Progress(&FFrame, TProgressStage::psRunning, pct, false, TRect{}, gifmsg::sProgressLoading);
  }

 private:
  TGIFFrame& FFrame;
  TStream& FStream;
  // The underlying stream does not change while a frame is read; asking a file for its size
  // means seeking, which would throw away its read buffer every time.
  std::int64_t FSize;
  int FPixels = 0;
};

void FrameWarning(TGIFFrame& frame, const char* msg) {
  if (TGIFImage* image = frame.Image()) image->Warning(&frame, TGIFSeverity::gsWarning, msg);
}

}  // namespace

void DecodeImageData(TGIFFrame& frame, TStream& stream) {
  std::uint8_t minCodeSize = 0;
  if (stream.Read(&minCodeSize, 1) != 1) {
    FrameWarning(frame, gifmsg::sOutOfData);
    return;
  }
  // A minimum code size of 12 would start with 13-bit codes, beyond every table; it is refused
  // like the larger ones.
  if (minCodeSize >= 12) {
    FrameWarning(frame, gifmsg::sInvalidData);
    // The frame keeps no pixels, but its sub-blocks are skipped: left in the stream, their bytes
    // would be taken for blocks, and a length byte of "!" or "," could fail the whole file.
    TGIFReader(stream).SkipData();
    return;
  }

  const int width = frame.Width();
  const int height = frame.Height();
  const std::uint64_t size = std::uint64_t(width) * std::uint64_t(height);
  const TGIFReadLimits& limits = GIFReadLimits();
  gifread::TPixelBudget* budget = gifread::ActiveBudget();
  // The model counts a frame's bytes in an int, whatever limit is set.
  const std::uint64_t frameLimit = std::min<std::uint64_t>(limits.MaxFrameBytes, 0x7FFFFFFF);
  if (size > frameLimit || (budget && size > limits.MaxImageBytes - std::min(budget->Used, limits.MaxImageBytes)))
    throw GIFException(gifmsg::sBadImageSize);
  frame.NewPixelData();
  frame.ClearPixelData();
  if (budget) budget->Used += size;

  TGIFImage* image = frame.Image();
  TGIFWarning onWarning;
  if (image) onWarning = [image](TPersistent* sender, TGIFSeverity severity, const std::string& msg) {
    image->Warning(sender, severity, msg);
  };
  TGIFBitReader bits(stream, std::move(onWarning));
  auto decoder = std::make_unique<TGIFLZWDecoder>(bits, minCodeSize);
  TDecodeProgress progress(frame, stream);
  std::uint8_t* data = frame.Data();

  if (data && size > 0) {
    if (!frame.Interlaced()) {
      std::uint64_t pos = 0;
      while (pos < size) {
        int chunk = int(std::min<std::uint64_t>(size - pos, kProgressPixels));
        int got = decoder->Decode(data + pos, chunk);
        pos += std::uint64_t(got);
        if (got < chunk) break;
        progress.Advance(got);
      }
    } else {
      TInterlacedRows rows;
      for (int filled = 0; filled < height; ++filled) {
        std::uint8_t* line = data + std::size_t(rows.Row) * std::size_t(width);
        if (decoder->Decode(line, width) < width) break;
        progress.Advance(width);
        if (!rows.Next(height)) break;
      }
    }
  }
  bits.SkipData();
}

}  // namespace clipsmith
