#include "gif/lzw_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace clipsmith {

namespace {

// One table per thread, kept between frames: 2 MB is worth allocating once, and since nothing in
// it is trusted without its key record, no frame needs to clear it.
TDirectStringTable& ThreadStringTable() {
  // Value-initialised: every child entry starts as code 0, which no key record names.
  thread_local const std::unique_ptr<TDirectStringTable> table = std::make_unique<TDirectStringTable>();
  return *table;
}

}  // namespace

void TDirectLZWEncoder::EncodePixels() {
  TDirectStringTable& table = ThreadStringTable();
  std::uint16_t* const child = table.Child;
  std::uint32_t* const keyOf = table.KeyOf;
  auto forget = [keyOf] { std::fill(keyOf, keyOf + 4096, TDirectStringTable::kNoKey); };

  const int clearCode = ClearCode, baseCode = BaseCode, initialBits = InitialBitsPerCode;
  int width = BitsPerCode, maxCode = MaxCode;
  int freeEntry = baseCode;
  // Bits not yet handed on, least significant first; fewer than 8 between codes, at most 7 + 12 + 12.
  std::uint64_t bucket = OutputBucket & ((std::uint64_t(1) << OutputBits) - 1);
  int bits = OutputBits;
  std::uint8_t out[4096 + 8];
  int outCount = 0;

  auto handOn = [&] {
    const int n = outCount;
    outCount = 0;
    GIFStream->Write(out, std::size_t(n));
  };
  // What TLZWEncoder's EmitCode does: pack in the current width, then widen once the next code to
  // assign no longer fits.
  auto emit = [&](int code) __attribute__((always_inline)) {
    bucket |= std::uint64_t(code) << bits;
    bits += width;
    if (freeEntry > maxCode) {
      ++width;
      maxCode = width == kLargestCodeWidth ? 4096 : MaxCodeForWidth(width);
    }
    // Every whole byte leaves at once without a branch: eight bytes stored, the whole ones counted.
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out + outCount, &bucket, 8);
    } else {
      for (int i = 0; i < 8; ++i) out[outCount + i] = std::uint8_t(bucket >> (8 * i));
    }
    const int whole = bits >> 3;
    outCount += whole;
    bucket >>= 8 * whole;
    bits &= 7;
    if (outCount > 4096) handOn();
  };
  auto emitClear = [&] {
    bucket |= std::uint64_t(clearCode) << bits;
    bits += width;
    width = initialBits;
    maxCode = MaxCodeForWidth(width);
    forget();
    freeEntry = baseCode;
  };
  // Whole bytes go on to the sub-block writer; the partial byte stays in the base's bucket, where
  // the end code (or nothing, on failure) completes it.
  auto settle = [&] {
    while (bits >= 8) {
      out[outCount++] = std::uint8_t(bucket);
      bucket >>= 8;
      bits -= 8;
      if (outCount >= 4096) handOn();
    }
    handOn();
    OutputBucket = std::uint32_t(bucket);
    OutputBits = bits;
    BitsPerCode = width;
    MaxCode = maxCode;
  };

  const int maxColor = MaxColor;
  const std::uint8_t* p = Pixel;
  std::int64_t left = cX;
  int prefix = 0;
  // Every byte is a valid index of a 256-entry map, so only smaller maps check each pixel; the
  // check is compiled out of the walk that does not need it.
  auto walk = [&]<bool Check>() {
    auto encode = [&](int c) __attribute__((always_inline)) {
      if (Check && c >= maxColor) throw GIFException(gifmsg::sInvalidColor);
      const std::uint32_t key = (std::uint32_t(prefix) << 8) | std::uint32_t(c);
      const int code = child[key];
      if (keyOf[code] == key) {
        prefix = code;
        return;
      }
      emit(prefix);
      prefix = c;
      if (freeEntry < kTableFull) {
        child[key] = std::uint16_t(freeEntry);
        keyOf[freeEntry] = key;
        ++freeEntry;
      } else {
        emitClear();
      }
    };
    for (;;) {
      // Most lookups follow a miss, so their key is just (previous pixel, pixel): known from the
      // pixels alone, it can be fetched from the table well before the walk gets there.
      constexpr int kAhead = 12;
      for (; left > kAhead + 1; --left) {
        __builtin_prefetch(&child[(std::uint32_t(p[kAhead - 1]) << 8) | p[kAhead]]);
        encode(*p++);
      }
      while (--left > 0) encode(*p++);
      cX = 0;
      if (!NextRun()) break;
      p = Pixel;
      left = cX;
      encode(*p++);
    }
  };
  try {
    emitClear();
    prefix = *p++;
    if (prefix >= maxColor) throw GIFException(gifmsg::sInvalidColor);
    if (maxColor < 256)
      walk.operator()<true>();
    else
      walk.operator()<false>();
    emit(prefix);
  } catch (...) {
    settle();
    throw;
  }
  settle();
}

}  // namespace clipsmith
