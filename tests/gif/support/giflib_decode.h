// Decodes GIF bytes with giflib, a decoder we did not write, into plain records for comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace clipsmith::testing {

struct DecodedExtension {
  int Function = 0;  // label, or 0 for continuation blocks
  std::vector<std::uint8_t> Bytes;
};

struct DecodedFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlace = false;
  std::vector<std::uint8_t> LocalColors;  // r, g, b per entry, as many as the table announces
  std::vector<std::uint8_t> Pixels;       // top row first, de-interlaced
  std::vector<DecodedExtension> Extensions;
};

struct DecodedGif {
  bool Ok = false;
  std::string Error;
  std::string Version;  // "87a" or "89a"
  int ScreenWidth = 0, ScreenHeight = 0;
  int ColorResolution = 0, BackgroundColor = 0, AspectByte = 0;
  std::vector<std::uint8_t> GlobalColors;
  std::vector<DecodedFrame> Frames;
};

DecodedGif DecodeWithGiflib(const std::vector<std::uint8_t>& bytes);

// Encodes frames with giflib (for files made by another encoder). Colours are r, g, b triples;
// their count must be a power of two.
std::vector<std::uint8_t> EncodeWithGiflib(int width, int height, const std::vector<std::uint8_t>& colors,
                                           const std::vector<std::vector<std::uint8_t>>& framePixels,
                                           bool interlace = false);

std::vector<std::uint8_t> FromHex(const std::string& hex);
std::string ToHex(const std::vector<std::uint8_t>& bytes);

}  // namespace clipsmith::testing
