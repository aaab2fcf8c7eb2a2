#include "gif/lzw_encoder.h"

namespace clipsmith {

namespace {

constexpr int MaxCodeForWidth(int bits) { return (1 << bits) - 1; }
constexpr int kLargestCodeWidth = 12;
constexpr int kTableFull = 4095;

}  // namespace

void TGIFEncoder::Compress(TStream& stream, int bitsPerPixel, int width, int height, bool interlace,
                           const std::uint8_t* data, int maxColor) {
  MaxColor = maxColor;
  BitsPerPixel = bitsPerPixel < 2 ? 2 : bitsPerPixel;
  Stream = &stream;
  Width = width;
  Height = height;
  Interlace = interlace;
  Data = data;
  Pixel = data;

  InitialBitsPerCode = BitsPerPixel + 1;
  stream.WriteByte(std::uint8_t(BitsPerPixel));

  BitsPerCode = InitialBitsPerCode;
  MaxCode = MaxCodeForWidth(BitsPerCode);
  ClearCode = 1 << (InitialBitsPerCode - 1);
  EOFCode = ClearCode + 1;
  BaseCode = ClearCode + 2;
  OutputBucket = 0;
  OutputBits = 0;
  ClearFlag = false;
  cX = interlace ? std::int64_t(width) : std::int64_t(width) * height;
  Y = 0;
  Pass = 0;

  GIFStream = std::make_unique<TGIFWriter>(stream, FOnWarning);
  // On failure the writer still hands its pending bytes to the stream (in its destructor); the
  // end code and the terminator are not written.
  try {
    if (Data && Height > 0 && Width > 0) EncodePixels();
  } catch (...) {
    GIFStream.reset();
    throw;
  }
  EmitCode(EOFCode);
  GIFStream->FlushBuffer();
  GIFStream.reset();
  stream.WriteByte(0);
}

void TGIFEncoder::EmitCode(int code) {
  if (OutputBits > 0)
    OutputBucket = (std::uint32_t(code) << OutputBits) | (OutputBucket & ((1u << OutputBits) - 1));
  else
    OutputBucket = std::uint32_t(code);
  OutputBits += BitsPerCode;
  while (OutputBits >= 8) {
    GIFStream->WriteByte(std::uint8_t(OutputBucket));
    OutputBucket >>= 8;
    OutputBits -= 8;
  }
  if (code == EOFCode) {
    while (OutputBits > 0) {
      GIFStream->WriteByte(std::uint8_t(OutputBucket));
      OutputBucket >>= 8;
      OutputBits -= 8;
    }
  }
}

void TGIFEncoder::EmitClear() {
  ClearFlag = true;
  EmitCode(ClearCode);
}

bool TGIFEncoder::NextPixel() {
  if (--cX > 0) return true;
  if (!Interlace) return false;
  static constexpr int kStep[4] = {8, 8, 4, 2};
  static constexpr int kStart[4] = {0, 4, 2, 1};
  cX = Width;
  Y += kStep[Pass];
  while (Y >= Height && Pass < 3) {
    ++Pass;
    Y = kStart[Pass];
  }
  if (Y >= Height) return false;
  Pixel = Data + std::size_t(Y) * std::size_t(Width);
  return true;
}

void TLZWEncoder::EmitCode(int code) {
  TGIFEncoder::EmitCode(code);
  if (FreeEntry > MaxCode || ClearFlag) {
    if (ClearFlag) {
      BitsPerCode = InitialBitsPerCode;
      MaxCode = MaxCodeForWidth(BitsPerCode);
      ClearFlag = false;
    } else {
      ++BitsPerCode;
      // At 12 bits the width stays: the table is cleared before code 4095 would be needed.
      MaxCode = BitsPerCode == kLargestCodeWidth ? 4096 : MaxCodeForWidth(BitsPerCode);
    }
  }
}

void TLZWEncoder::EmitClear() {
  TGIFEncoder::EmitClear();
  HashTable->Clear();
  FreeEntry = ClearCode + 2;
}

void TLZWEncoder::EncodePixels() {
  HashTable = std::make_unique<THashTable>();
  struct Release {
    std::unique_ptr<THashTable>& table;
    ~Release() { table.reset(); }
  } release{HashTable};

  EmitClear();
  int c = *Pixel++;
  if (c >= MaxColor) throw GIFException(gifmsg::sInvalidColor);
  Prefix = c;
  while (NextPixel()) {
    c = *Pixel++;
    if (c >= MaxColor) throw GIFException(gifmsg::sInvalidColor);
    const std::uint32_t key = (std::uint32_t(Prefix) << 8) | std::uint32_t(c);
    const int code = HashTable->Lookup(key);
    if (code >= 0) {
      Prefix = code;
      continue;
    }
    EmitCode(Prefix);
    Prefix = c;
    if (FreeEntry < kTableFull) {
      HashTable->Insert(key, FreeEntry);
      ++FreeEntry;
    } else {
      EmitClear();
    }
  }
  EmitCode(Prefix);
}

}  // namespace clipsmith
