#include <gtest/gtest.h>

#include <random>

#include "gif/lzw_encoder.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::FromHex;
using clipsmith::testing::ToHex;

namespace {

std::vector<std::uint8_t> Compress(int bits, int w, int h, const std::vector<std::uint8_t>& pixels, int maxColor,
                                   bool interlace = false) {
  TMemoryStream m;
  TLZWEncoder e;
  e.Compress(m, bits, w, h, interlace, pixels.empty() ? nullptr : pixels.data(), maxColor);
  return m.Bytes();
}

// Unpacks the codes of an image data block (least significant bit first), following the decoder's
// width rules, to check what the encoder emitted.
std::vector<int> Codes(const std::vector<std::uint8_t>& block) {
  int minSize = block[0];
  std::vector<std::uint8_t> data;
  std::size_t p = 1;
  while (p < block.size() && block[p] != 0) {
    int n = block[p];
    data.insert(data.end(), block.begin() + std::ptrdiff_t(p) + 1, block.begin() + std::ptrdiff_t(p) + 1 + n);
    p += std::size_t(n) + 1;
  }
  const int clear = 1 << minSize, eoi = clear + 1;
  int width = minSize + 1, next = clear + 2;
  bool first = true;
  std::vector<int> out;
  std::uint64_t bucket = 0;
  int bits = 0;
  std::size_t i = 0;
  for (;;) {
    while (bits < width && i < data.size()) bucket |= std::uint64_t(data[i++]) << bits, bits += 8;
    if (bits < width) break;
    int code = int(bucket & ((1u << width) - 1));
    bucket >>= width;
    bits -= width;
    out.push_back(code);
    if (code == eoi) break;
    if (code == clear) {
      width = minSize + 1, next = clear + 2, first = true;
      continue;
    }
    if (!first) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  return out;
}

}  // namespace

TEST(LZWEncoder, SmallBlocks) {
  struct Case {
    const char* what;
    int bits, w, h;
    std::vector<std::uint8_t> pixels;
    int colors;
    const char* hex;
  };
  const Case cases[] = {
      // min code size 2; one sub-block of 2 bytes: clear 4, 0, end 5 in 3 bits each; terminator
      {"1x1", 1, 1, 1, {0}, 2, "02 02 4401 00"},
      // clear 4, 0, 6, 0 in 3 bits, then the end code 5 in 4 bits
      {"4x1", 1, 4, 1, {0, 0, 0, 0}, 2, "02 02 8451 00"},
      // an empty frame: only the end code
      {"0x3", 1, 0, 3, {}, 2, "02 01 05 00"},
      {"3x0", 8, 3, 0, {}, 256, "08 02 0101 00"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHex(Compress(c.bits, c.w, c.h, c.pixels, c.colors)), ToHex(FromHex(c.hex))) << c.what;
}

TEST(LZWEncoder, PixelNotBelowTheColourCountIsRefused) {
  TMemoryStream m;
  TLZWEncoder e;
  std::vector<std::uint8_t> pixels = {0, 1, 2, 3};
  try {
    e.Compress(m, 2, 4, 1, false, pixels.data(), 3);
    FAIL();
  } catch (const GIFException& ex) {
    EXPECT_STREQ(ex.what(), "Color not in color table");
  }
  // the minimum code size and the pending codes reached the stream; no terminator
  ASSERT_GE(m.Bytes().size(), 2u);
  EXPECT_EQ(m.Bytes()[0], 2);
  EXPECT_NE(m.Bytes().back(), 0);
}

TEST(LZWEncoder, CodeWidthsGrowToTwelveAndClearAt4095) {
  // Noise makes a new string at almost every pixel, so the table fills quickly.
  std::mt19937 rng(1);
  std::vector<std::uint8_t> pixels(20000);
  for (auto& p : pixels) p = std::uint8_t(rng());
  auto block = Compress(8, 200, 100, pixels, 256);
  auto codes = Codes(block);
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), 256);
  EXPECT_EQ(codes.back(), 257);
  // Clears after the first one: each comes when the table has assigned up to 4094.
  int clears = 0;
  for (std::size_t i = 1; i < codes.size(); ++i) clears += codes[i] == 256;
  EXPECT_GT(clears, 2);
  for (int c : codes) EXPECT_LT(c, 4095);
  auto decoded = clipsmith::testing::DecodeWithGiflib([&] {
    std::vector<std::uint8_t> gif = FromHex("474946383961 c800 6400 f7 00 00");
    for (int i = 0; i < 256; ++i) gif.insert(gif.end(), {std::uint8_t(i), 0, 0});
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 200, 0, 100, 0, 0});
    gif.insert(gif.end(), block.begin(), block.end());
    gif.push_back(0x3B);
    return gif;
  }());
  ASSERT_TRUE(decoded.Ok) << decoded.Error;
  EXPECT_EQ(decoded.Frames[0].Pixels, pixels);
}

TEST(LZWEncoder, InterlacedRowOrder) {
  struct Case { int height; std::vector<int> order; };
  const Case cases[] = {{1, {0}}, {2, {0, 1}}, {3, {0, 2, 1}}, {5, {0, 4, 2, 1, 3}}, {10, {0, 8, 4, 2, 6, 1, 3, 5, 7, 9}}};
  for (const auto& c : cases) {
    // one pixel per row, each row its own value, and a colour count that makes every code literal
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < c.height; ++y) pixels.push_back(std::uint8_t(y));
    auto codes = Codes(Compress(4, 1, c.height, pixels, 16, true));
    // clear, then the literal of each row as visited (no string repeats), then end
    std::vector<int> literals(codes.begin() + 1, codes.end() - 1);
    EXPECT_EQ(literals, c.order) << c.height;
  }
}

TEST(LZWEncoder, HashProbeSequence) {
  EXPECT_EQ(THashTable::NextProbe(0), 8008);
  EXPECT_EQ(THashTable::NextProbe(100), 200);
  EXPECT_EQ(THashTable::NextProbe(5000), 10000 - 8009);
  THashTable t;
  EXPECT_EQ(t.Lookup(12345), -1);
  // Keys that share a slot are found after probing.
  std::uint32_t a = 7, b = 0;
  for (std::uint32_t k = 8; k < 100000; ++k)
    if (THashTable::HashOfKey(k) == THashTable::HashOfKey(a)) {
      b = k;
      break;
    }
  ASSERT_NE(b, 0u);
  t.Insert(a, 300);
  t.Insert(b, 301);
  EXPECT_EQ(t.Lookup(a), 300);
  EXPECT_EQ(t.Lookup(b), 301);
  t.Clear();
  EXPECT_EQ(t.Lookup(b), -1);
}

TEST(LZWEncoder, SameInputSameBytes) {
  std::mt19937 rng(3);
  std::vector<std::uint8_t> pixels(64 * 48);
  for (auto& p : pixels) p = std::uint8_t(rng() % 7);
  EXPECT_EQ(Compress(3, 64, 48, pixels, 7), Compress(3, 64, 48, pixels, 7));
}

namespace {

// The bytes of one compression, and the message when it failed part way.
struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::string error;
};

template <typename Encoder>
Outcome CompressWith(Encoder& e, int bits, int w, int h, bool interlace, const std::vector<std::uint8_t>& pixels,
                     int maxColor) {
  TMemoryStream m;
  Outcome o;
  try {
    e.Compress(m, bits, w, h, interlace, pixels.empty() ? nullptr : pixels.data(), maxColor);
  } catch (const GIFException& ex) {
    o.error = ex.what();
  }
  o.bytes = m.Bytes();
  return o;
}

}  // namespace

TEST(LZWEncoder, DirectTableMatchesHashedOnRandomFrames) {
  std::mt19937 rng(14);
  // One encoder of each kind for the whole run: the direct table carries entries of earlier frames
  // of other depths, which must never match.
  TLZWEncoder hashed;
  TDirectLZWEncoder direct;
  for (int round = 0; round < 400; ++round) {
    const int bits = 1 + int(rng() % 8);
    const int colors = round % 5 == 0 ? 1 + int(rng() % (1 << bits)) : 1 << bits;
    const int w = int(rng() % 300), h = int(rng() % 200);
    const bool interlace = rng() % 3 == 0;
    // Runs of repeated values and a small alphabet give long strings (many table hits); noise
    // gives a full table and a clear every few thousand codes.
    const int kind = int(rng() % 3);
    const int alphabet = kind == 0 ? colors : 1 + int(rng() % std::min(colors, 6));
    std::vector<std::uint8_t> pixels(std::size_t(w) * std::size_t(h));
    std::uint8_t v = 0;
    for (auto& p : pixels) {
      if (kind != 2 || rng() % 8 == 0) v = std::uint8_t(rng() % unsigned(alphabet));
      p = v;
    }
    // Now and then a pixel outside a short colour map, to compare what a failure leaves.
    if (colors < (1 << bits) && !pixels.empty() && rng() % 2 == 0)
      pixels[rng() % pixels.size()] = std::uint8_t(colors + int(rng() % unsigned((1 << bits) - colors)));
    const Outcome a = CompressWith(hashed, bits, w, h, interlace, pixels, colors);
    const Outcome b = CompressWith(direct, bits, w, h, interlace, pixels, colors);
    ASSERT_EQ(a.error, b.error) << "round " << round;
    ASSERT_EQ(a.bytes, b.bytes) << "round " << round << ": " << bits << " bits, " << colors << " colours, " << w
                                << "x" << h << (interlace ? " interlaced" : "");
  }
}

TEST(LZWEncoder, DirectTableMatchesHashedOnALargeNoisyFrame) {
  // Dozens of clears in one frame, all at twelve bits.
  std::mt19937 rng(15);
  std::vector<std::uint8_t> pixels(640 * 480);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(i / 640 + rng() % 24);
  TLZWEncoder hashed;
  TDirectLZWEncoder direct;
  EXPECT_EQ(CompressWith(hashed, 8, 640, 480, false, pixels, 256).bytes,
            CompressWith(direct, 8, 640, 480, false, pixels, 256).bytes);
}

TEST(LZWEncoder, DirectTableSmallBlocks) {
  // The same hand-checked blocks as the hashed encoder.
  struct Case { int bits, w, h; std::vector<std::uint8_t> pixels; int colors; const char* hex; };
  const Case cases[] = {
      {1, 1, 1, {0}, 2, "02 02 4401 00"},
      {1, 4, 1, {0, 0, 0, 0}, 2, "02 02 8451 00"},
      {1, 0, 3, {}, 2, "02 01 05 00"},
      {8, 3, 0, {}, 256, "08 02 0101 00"},
  };
  for (const auto& c : cases) {
    TDirectLZWEncoder e;
    EXPECT_EQ(ToHex(CompressWith(e, c.bits, c.w, c.h, false, c.pixels, c.colors).bytes), ToHex(FromHex(c.hex)));
  }
}
