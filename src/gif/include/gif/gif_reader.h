// Reading side of the GIF stream: the sub-block unpacker, the bit reader that takes LZW codes
// from it, the LZW decoder and the decoding of one frame's image data.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "gif/gif_types.h"

namespace clipsmith {

// How much memory a file may make the reader allocate for pixels. A descriptor can ask for
// 65535 x 65535 pixels in ten bytes, so sizes from the file are checked against these before
// any buffer is made; a frame or an image beyond them is refused with "Invalid image size".
struct TGIFReadLimits {
  std::uint64_t MaxFrameBytes = std::uint64_t(1) << 30;  // one frame's pixel buffer
  std::uint64_t MaxImageBytes = std::uint64_t(4) << 30;  // all frames of one load together
};
const TGIFReadLimits& GIFReadLimits();
void SetGIFReadLimits(const TGIFReadLimits& limits);

// Unpacks data sub-blocks (a length byte 1..255 and that many bytes, up to a zero length) into a
// flat byte stream. Only reading is allowed.
class TGIFReader final : public TGIFStream {
 public:
  static constexpr int kDefaultBufferSize = 4096;

  // A buffer smaller than one sub-block could never be filled, so the size is at least 255.
  explicit TGIFReader(TStream& stream, int bufferSize = kDefaultBufferSize, TGIFWarning onWarning = {});
  TGIFReader(const TGIFReader&) = delete;
  TGIFReader& operator=(const TGIFReader&) = delete;

  // Fewer than count bytes only at the end of the data.
  std::size_t Read(void* buffer, std::size_t count) override;
  // Consumes the rest of the data sub-blocks up to and including the terminator.
  void SkipData();
  // The terminator (or the end of the stream) has been reached and every byte delivered.
  bool Eof() const { return FEOF && FBufferCount == 0; }

 private:
  void FillBuffer();

  std::unique_ptr<std::uint8_t[]> FBuffer;
  std::uint8_t* FData = nullptr;
  int FBufferSize = 0;
  int FBufferCount = 0;
  bool FEOF = false;
  // The length byte of a sub-block that did not fit into the last fill; it is read by the next
  // one. Keeping it here instead of stepping back spares a seek of the underlying stream.
  int FPendingLength = 0;
};

// Delivers codes of 1 to 12 bits, least significant bit first, from a 256-byte window over the
// unpacked data.
class TGIFBitReader final : public TPersistent {
 public:
  TGIFBitReader(TStream& stream, TGIFWarning onWarning);
  TGIFBitReader(const TGIFBitReader&) = delete;
  TGIFBitReader& operator=(const TGIFBitReader&) = delete;

  // The next code, or -1 (with "Decoder bit buffer under-run") when the data is exhausted. A
  // refill is attempted whenever no more bits are left than are asked for, so a code that ends
  // exactly at the end of the data is not delivered.
  int ReadBits(int bits) {
    if (bits < 1 || bits > 12) return -1;
    if (bits >= FLastBit - FStartBit && !Refill(bits)) return -1;
    const std::uint8_t* p = FBuffer.data() + (FStartBit >> 3);
    std::uint32_t v = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    v >>= (FStartBit & 7);
    FStartBit += bits;
    return int(v & ((1u << bits) - 1));
  }
  void SkipData();
  bool Eof() const { return FEOF; }

 private:
  bool Refill(int bits);
  void Warning(TGIFSeverity severity, const std::string& msg);

  TGIFWarning FOnWarning;
  std::unique_ptr<TGIFReader> FStream;
  // Bytes 0-1 carry the last two bytes of the previous fill, 2..255 the current fill; two more
  // bytes let a code be taken as three bytes wherever it starts.
  std::array<std::uint8_t, 256 + 2> FBuffer{};
  int FStartBit = 0;
  int FLastBit = 0;
  int FLastByte = 2;
  bool FEOF = false;
};

// The LZW decoder of one frame: fixed tables, no allocation per code.
class TGIFLZWDecoder {
 public:
  static constexpr int kTableSize = 4096;
  static constexpr int kStackSize = 8192;

  TGIFLZWDecoder(TGIFBitReader& bits, int minCodeSize);
  // Stores the next values (their low 8 bits) in out; returns how many, fewer than count only
  // when the data ended (an end code or no more codes). Raises "Invalid GIF data" when a string
  // would overflow the value stack and "Circular decoder table entry" for a self-referring entry.
  int Decode(std::uint8_t* out, int count);

 private:
  // Decodes the next code onto the stack; false at the end of the data. This is the whole
  // algorithm, for every stream however broken.
  bool DecodeCode();
  bool DecodeCode(int code);
  // Writes the string of code straight into out when the table is sound and it fits; false
  // leaves everything to DecodeCode.
  bool DecodeDirect(int code, std::uint8_t* out, int room, int& written);
  void AddEntry();
  void ResetTable();
  void Push(int value);

  TGIFBitReader& FBits;
  int FMinCodeSize;
  int FClearCode;
  int FEOFCode;
  int FCodeSize;
  int FLimit;
  int FNextFree;
  int FOldCode = 0;
  int FFirstValue = 0;
  bool FFirstCode = true;
  bool FEnded = false;
  // Every entry since the last clear code refers to an earlier entry or a root, and the old code
  // is one of them: strings then have the lengths in FLength and no walk can loop. Broken streams
  // (codes past the next free one, a string code right after a clear) end this until the next
  // clear code, and decoding takes the general path.
  bool FSound = false;
  int FStackCount = 0;
  std::array<std::uint16_t, kTableSize> FPrefix{};
  std::array<std::uint16_t, kTableSize> FSuffix{};
  std::array<std::uint16_t, kTableSize> FLength{};
  std::array<std::uint16_t, kStackSize> FStack{};
};

// Reads a frame's image data block (minimum code size, data sub-blocks, terminator) into its
// pixels, de-interlacing when the descriptor says so. Defects are warnings; the frame keeps the
// pixels decoded before the data stopped.
void DecodeImageData(TGIFFrame& frame, TStream& stream);

}  // namespace clipsmith
