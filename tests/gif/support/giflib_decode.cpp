#include "giflib_decode.h"

#include <gif_lib.h>

#include <cstring>
#include <stdexcept>

namespace clipsmith::testing {

namespace {

struct MemoryReader {
  const std::vector<std::uint8_t>* Bytes;
  std::size_t Pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buf, int len) {
  auto* r = static_cast<MemoryReader*>(gif->UserData);
  std::size_t n = std::min<std::size_t>(std::size_t(len), r->Bytes->size() - r->Pos);
  std::memcpy(buf, r->Bytes->data() + r->Pos, n);
  r->Pos += n;
  return int(n);
}

int WriteToMemory(GifFileType* gif, const GifByteType* buf, int len) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), buf, buf + len);
  return len;
}

std::vector<std::uint8_t> Colors(const ColorMapObject* map) {
  std::vector<std::uint8_t> out;
  if (!map) return out;
  for (int i = 0; i < map->ColorCount; ++i) {
    out.push_back(map->Colors[i].Red);
    out.push_back(map->Colors[i].Green);
    out.push_back(map->Colors[i].Blue);
  }
  return out;
}

}  // namespace

DecodedGif DecodeWithGiflib(const std::vector<std::uint8_t>& bytes) {
  DecodedGif out;
  MemoryReader reader{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (!gif) {
    out.Error = GifErrorString(error);
    return out;
  }
  if (bytes.size() >= 6) out.Version.assign(reinterpret_cast<const char*>(bytes.data()) + 3, 3);
  int rc = DGifSlurp(gif);
  out.ScreenWidth = gif->SWidth;
  out.ScreenHeight = gif->SHeight;
  out.ColorResolution = gif->SColorResolution;
  out.BackgroundColor = gif->SBackGroundColor;
  out.AspectByte = gif->AspectByte;
  out.GlobalColors = Colors(gif->SColorMap);
  if (rc != GIF_OK) {
    out.Error = GifErrorString(gif->Error);
    DGifCloseFile(gif, &error);
    return out;
  }
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& s = gif->SavedImages[i];
    DecodedFrame f;
    f.Left = s.ImageDesc.Left;
    f.Top = s.ImageDesc.Top;
    f.Width = s.ImageDesc.Width;
    f.Height = s.ImageDesc.Height;
    f.Interlace = s.ImageDesc.Interlace;
    f.LocalColors = Colors(s.ImageDesc.ColorMap);
    std::size_t n = std::size_t(f.Width) * std::size_t(f.Height);
    if (s.RasterBits) f.Pixels.assign(s.RasterBits, s.RasterBits + n);
    for (int e = 0; e < s.ExtensionBlockCount; ++e) {
      const ExtensionBlock& b = s.ExtensionBlocks[e];
      f.Extensions.push_back({b.Function, std::vector<std::uint8_t>(b.Bytes, b.Bytes + b.ByteCount)});
    }
    out.Frames.push_back(std::move(f));
  }
  DGifCloseFile(gif, &error);
  out.Ok = true;
  return out;
}

std::vector<std::uint8_t> EncodeWithGiflib(int width, int height, const std::vector<std::uint8_t>& colors,
                                           const std::vector<std::vector<std::uint8_t>>& framePixels,
                                           bool interlace) {
  std::vector<std::uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToMemory, &error);
  if (!gif) throw std::runtime_error("EGifOpen failed");
  int count = int(colors.size() / 3);
  std::vector<GifColorType> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) entries[std::size_t(i)] = {colors[3 * i], colors[3 * i + 1], colors[3 * i + 2]};
  ColorMapObject* map = GifMakeMapObject(count, entries.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, map->BitsPerPixel, 0, map);
  for (const auto& pixels : framePixels) {
    EGifPutImageDesc(gif, 0, 0, width, height, interlace, nullptr);
    if (!interlace) {
      for (int y = 0; y < height; ++y)
        EGifPutLine(gif, const_cast<GifPixelType*>(pixels.data()) + std::size_t(y) * width, width);
    } else {
      static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < height; y += step[p])
          EGifPutLine(gif, const_cast<GifPixelType*>(pixels.data()) + std::size_t(y) * width, width);
    }
  }
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
  return out;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  int hi = -1;
  for (char c : hex) {
    int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (v < 0) continue;
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(std::uint8_t(hi * 16 + v));
      hi = -1;
    }
  }
  return out;
}

std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace clipsmith::testing
