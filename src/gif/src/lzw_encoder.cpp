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

void TGIFEncoder::EmitCode(int code) { PackCode(code); }

void TGIFEncoder::EmitClear() {
  ClearFlag = true;
  EmitCode(ClearCode);
}

bool TGIFEncoder::NextPixel() { return --cX > 0 || NextRun(); }

bool TGIFEncoder::NextRun() {
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
  PackCode(code);
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
  // The walk runs on locals: the code bytes written through the sub-block buffer may alias any
  // member, which would force the pixel pointer and the counter back to memory on every write.
  const int maxColor = MaxColor;
  const THashTable& table = *HashTable;
  const std::uint8_t* p = Pixel;
  std::int64_t left = cX;
  int prefix = *p++;
  if (prefix >= maxColor) throw GIFException(gifmsg::sInvalidColor);
  // Every byte is a valid index of a 256-entry map, so only smaller maps check each pixel.
  const bool check = maxColor < 256;
  auto encode = [&](int c) __attribute__((always_inline)) {
    if (check && c >= maxColor) throw GIFException(gifmsg::sInvalidColor);
    const std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(c);
    const int code = table.Lookup(key);
    if (code >= 0) [[likely]] {
      prefix = code;
      return;
    }
    EmitCode(prefix);
    prefix = c;
    if (FreeEntry < kTableFull) {
      HashTable->Insert(key, FreeEntry);
      ++FreeEntry;
    } else {
      EmitClear();
    }
  };
  for (;;) {
    while (--left > 0) encode(*p++);
    // The run (the whole frame, or one row when interlaced) is done; NextPixel's row step.
    cX = 0;
    if (!NextRun()) break;
    p = Pixel;
    left = cX;
    encode(*p++);
  }
  Prefix = prefix;
  EmitCode(Prefix);
}

}  // namespace clipsmith
