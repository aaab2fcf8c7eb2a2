// Frames kept as their encoded image data instead of their pixels, and decoded back on demand.
#include <cstring>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/lzw_encoder.h"
#include "graphics/stage_times.h"
#include "interlaced_rows.h"

namespace clipsmith {

namespace {

// Collects what the encoder writes into a vector that is then handed over whole.
class TVectorStream final : public TStream {
 public:
  explicit TVectorStream(std::vector<std::uint8_t>& out) : FOut(out) {}
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void* buffer, std::size_t count) override {
    auto* p = static_cast<const std::uint8_t*>(buffer);
    FOut.insert(FOut.end(), p, p + count);
    return count;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return std::int64_t(FOut.size()); }

 private:
  std::vector<std::uint8_t>& FOut;
};

}  // namespace

std::uint64_t FramePixelHash(const std::uint8_t* pixels, std::size_t count) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ count;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, pixels + i, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  for (; i < count; ++i) h = (h ^ pixels[i]) * 0x100000001B3ull;
  h ^= h >> 32;
  return h;
}

bool TGIFFrame::EncodeImageData(const std::uint8_t* pixels, int width, int height, bool interlaced, int bits,
                                int colors, TEncodedImageData& out) {
  out.Bytes.clear();
  // Roughly what real frames come to; the vector grows beyond it when needed.
  out.Bytes.reserve(std::size_t(width) * std::size_t(height) / 4 + 64);
  TVectorStream stream(out.Bytes);
  TDirectLZWEncoder encoder;
  try {
    TStageTimer timer(TStage::LZW);
    encoder.Compress(stream, bits, width, height, interlaced, pixels, colors);
  } catch (const GIFException&) {
    return false;
  }
  TStageTimer timer(TStage::Other);
  out.Bits = bits;
  out.Colors = colors;
  out.Width = width;
  out.Height = height;
  out.Interlaced = interlaced;
  out.PixelHash = FramePixelHash(pixels, std::size_t(width) * std::size_t(height));
  return true;
}

void TGIFFrame::WriterCodeSize(int imageBitsPerPixel, int& bits, int& colors) const {
  if (FColorMap.Count() > 0) {
    bits = FColorMap.BitsPerPixel();
    colors = FColorMap.Count();
  } else {
    bits = FImage ? imageBitsPerPixel : 0;
    colors = 1 << bits;
  }
}

void TGIFFrame::Compact() {
  if (FEncoded || !FImage || Empty() || FColorMap.Count() == 0) return;
  int bits, colors;
  WriterCodeSize(0, bits, colors);
  TEncodedImageData encoded;
  if (!EncodeImageData(FData.get(), Width(), Height(), Interlaced(), bits, colors, encoded)) return;
  StoreEncoded(encoded);
}

void TGIFFrame::Compact(TEncodedImageData&& encoded) {
  if (FEncoded || !FImage || Empty() || FColorMap.Count() == 0) return;
  TStageTimer timer(TStage::Other);
  int bits, colors;
  WriterCodeSize(0, bits, colors);
  const bool fits = !encoded.Bytes.empty() && encoded.Bits == bits && encoded.Colors == colors &&
                    encoded.Width == Width() && encoded.Height == Height() && encoded.Interlaced == Interlaced() &&
                    encoded.PixelHash == FramePixelHash(FData.get(), std::size_t(FDataSize));
  if (!fits) {
    Compact();
    return;
  }
  StoreEncoded(encoded);
}

void TGIFFrame::StoreEncoded(TEncodedImageData& encoded) {
  std::shared_ptr<TFrameStore> store = FImage->FrameStore();
  auto ref = std::make_unique<TEncodedRef>();
  TStageTimer timer(TStage::Write);
  try {
    ref->Offset = store->Append(encoded.Bytes);
  } catch (const EStreamError&) {
    // No room for it (a full disk): the frame keeps its pixels and is written from them.
    return;
  }
  ref->Store = std::move(store);
  ref->Size = encoded.Bytes.size();
  ref->Bits = encoded.Bits;
  ref->Colors = encoded.Colors;
  ref->Interlaced = encoded.Interlaced;
  FEncoded = std::move(ref);
  FData.reset();
}

void TGIFFrame::Expand() const {
  const TEncodedRef& e = *FEncoded;
  std::vector<std::uint8_t> bytes(e.Size);
  e.Store->Read(e.Offset, bytes);
  const int width = Width(), height = Height();
  auto data = std::make_unique<std::uint8_t[]>(std::size_t(FDataSize));

  TMemoryStream stream(std::move(bytes));
  std::uint8_t minCodeSize = 0;
  stream.ReadBuffer(&minCodeSize, 1);
  TGIFBitReader reader(stream, {});
  auto decoder = std::make_unique<TGIFLZWDecoder>(reader, minCodeSize);
  if (!e.Interlaced) {
    decoder->Decode(data.get(), FDataSize);
  } else {
    TInterlacedRows rows;
    for (int filled = 0; filled < height; ++filled) {
      if (decoder->Decode(data.get() + std::size_t(rows.Row) * std::size_t(width), width) < width) break;
      if (!rows.Next(height)) break;
    }
  }
  FData = std::move(data);
  FEncoded.reset();
}

std::shared_ptr<TFrameStore> TGIFImage::FrameStore() {
  if (!FFrameStore) FFrameStore = std::make_shared<TMemoryFrameStore>();
  return FFrameStore;
}

}  // namespace clipsmith
