// The LZW encoder of GIF image data: the hashed string table, and the direct one the writer uses.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "gif/gif_stream.h"
#include "gif/gif_types.h"

namespace clipsmith {

class THashTable {
 public:
  static constexpr int kHashSize = 8009;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

  THashTable() { Clear(); }
  void Clear() { FTable.fill(kEmpty); }
  void Insert(std::uint32_t key, int code) {
    int h = HashOfKey(key);
    while ((FTable[std::size_t(h)] >> 12) != 0xFFFFF) h = NextProbe(h);
    FTable[std::size_t(h)] = (key << 12) | (std::uint32_t(code) & 0xFFF);
  }
  // The code of key, or -1.
  int Lookup(std::uint32_t key) const {
    int h = HashOfKey(key);
    for (;;) {
      const std::uint32_t e = FTable[std::size_t(h)];
      // No key reaches the empty pattern, so the order of the two tests does not matter.
      if ((e >> 12) == key) return int(e & 0xFFF);
      if ((e >> 12) == 0xFFFFF) return -1;
      h = NextProbe(h);
    }
  }
  static int HashOfKey(std::uint32_t key) { return int(((key >> 4) ^ key) % kHashSize); }
  static int NextProbe(int h) {
    int d = h == 0 ? 1 : kHashSize - h;
    h -= d;
    return h < 0 ? h + kHashSize : h;
  }

 private:
  std::array<std::uint32_t, kHashSize> FTable;
};

class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;
  // Compresses one frame: minimum code size, data sub-blocks, terminator.
  void Compress(TStream& stream, int bitsPerPixel, int width, int height, bool interlace, const std::uint8_t* data,
                int maxColor);

  TGIFWarning FOnWarning;

 protected:
  virtual void EmitCode(int code);
  virtual void EmitClear();
  // The bit packing of EmitCode, least significant bit first; shared by the base and the LZW
  // encoder without a virtual call on the hot path.
  void PackCode(int code) {
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
      // The high bits of the last byte that carry no code are zero.
      while (OutputBits > 0) {
        GIFStream->WriteByte(std::uint8_t(OutputBucket));
        OutputBucket >>= 8;
        OutputBits -= 8;
      }
    }
  }
  virtual void EncodePixels() = 0;
  // Advances the pixel walk; false when the frame is done.
  bool NextPixel();
  // The part of NextPixel after a run ends: the next row of an interlaced frame.
  bool NextRun();

  int MaxColor = 0;
  int BitsPerPixel = 0;
  TStream* Stream = nullptr;
  int Width = 0, Height = 0;
  bool Interlace = false;
  const std::uint8_t* Data = nullptr;
  std::unique_ptr<TGIFWriter> GIFStream;
  std::uint32_t OutputBucket = 0;
  int OutputBits = 0;
  bool ClearFlag = false;
  int BitsPerCode = 0;
  int InitialBitsPerCode = 0;
  int MaxCode = 0;
  int ClearCode = 0;
  int EOFCode = 0;
  int BaseCode = 0;
  const std::uint8_t* Pixel = nullptr;
  std::int64_t cX = 0;
  int Y = 0;
  int Pass = 0;
};

class TLZWEncoder final : public TGIFEncoder {
 protected:
  void EmitCode(int code) override;
  void EmitClear() override;
  void EncodePixels() override;

 private:
  int Prefix = 0;
  int FreeEntry = 0;
  std::unique_ptr<THashTable> HashTable;
};

// The string table indexed directly by (prefix code, pixel): 4096 x 256 child codes, no hashing
// and no probing. The table is never cleared; a child entry counts only while the code it names
// still records that same key, and those records (16 KB) are what a clear resets. Stale entries
// of an earlier frame or generation therefore never match.
struct TDirectStringTable {
  static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;
  std::uint16_t Child[4096 * 256];
  std::uint32_t KeyOf[4096];
};

// The same code stream as TLZWEncoder, byte for byte, from the direct table and a 64-bit bit
// bucket. The frame writer uses this one; TLZWEncoder stays as the plain reference.
class TDirectLZWEncoder final : public TGIFEncoder {
 protected:
  void EncodePixels() override;
};

}  // namespace clipsmith
