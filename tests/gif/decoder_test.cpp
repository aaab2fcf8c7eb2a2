// The pieces under the frame reader: sub-block unpacking, code extraction and LZW decoding, the
// decoder checked against a plain per-pixel transcription of the algorithm.
#include <gtest/gtest.h>

#include <map>

#include "reader_test_support.h"

namespace clipsmith::testing {
namespace {

Bytes H_(const char* hex) { return FromHex(hex); }

Bytes SubBlocks(const Bytes& data, std::size_t size = 255) {
  Bytes out;
  for (std::size_t i = 0; i < data.size(); i += size) {
    std::size_t n = std::min(size, data.size() - i);
    out.push_back(std::uint8_t(n));
    out.insert(out.end(), data.begin() + std::ptrdiff_t(i), data.begin() + std::ptrdiff_t(i + n));
  }
  out.push_back(0);
  return out;
}

Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = std::uint8_t(seed >> 24);
  }
  return out;
}

struct Collected {
  std::vector<std::string> Warnings;
  TGIFWarning Handler() {
    return [this](TPersistent*, TGIFSeverity, const std::string& m) { Warnings.push_back(m); };
  }
};

TEST(GIFReaderStream, UnpacksSubBlocksWhateverTheReadSizes) {
  Bytes data = Noise(10000, 1);
  for (std::size_t block : {std::size_t(255), std::size_t(1), std::size_t(100)}) {
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(254), std::size_t(4097), std::size_t(20000)}) {
      SCOPED_TRACE("block " + std::to_string(block) + " chunk " + std::to_string(chunk));
      Bytes stream = Cat({SubBlocks(data, block), H_("aa")});
      TMemoryStream s(stream);
      Collected c;
      TGIFReader reader(s, TGIFReader::kDefaultBufferSize, c.Handler());
      Bytes got;
      Bytes buf(chunk);
      std::size_t n;
      while ((n = reader.Read(buf.data(), chunk)) > 0) got.insert(got.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n));
      EXPECT_EQ(got, data);
      EXPECT_TRUE(reader.Eof());
      EXPECT_TRUE(c.Warnings.empty());
      EXPECT_EQ(s.Position(), std::int64_t(stream.size() - 1));  // just after the terminator
    }
  }
}

TEST(GIFReaderStream, ABufferTooSmallForASubBlockIsEnlarged) {
  Bytes data = Noise(600, 2);
  TMemoryStream s(SubBlocks(data));
  TGIFReader reader(s, 16);
  Bytes got(600);
  EXPECT_EQ(reader.Read(got.data(), got.size()), 600u);
  EXPECT_EQ(got, data);
}

TEST(GIFReaderStream, SubBlockCutShortWarnsAndDeliversWhatIsThere) {
  Bytes stream = {3, 1, 2, 3, 200, 4, 5};  // the second sub-block promises 200 bytes
  TMemoryStream s(stream);
  Collected c;
  TGIFReader reader(s, TGIFReader::kDefaultBufferSize, c.Handler());
  Bytes got(300);
  EXPECT_EQ(reader.Read(got.data(), got.size()), 5u);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(c.Warnings, std::vector<std::string>{"Premature end of data"});
  EXPECT_TRUE(reader.Eof());
}

TEST(GIFReaderStream, SkipDataEndsAfterTheTerminator) {
  // Cases: nothing read yet; some read; a sub-block waiting for the next fill; the stream ending
  // inside the data.
  Bytes data = Noise(5000, 3);
  Bytes stream = Cat({SubBlocks(data), H_("3b")});
  for (std::size_t first : {std::size_t(0), std::size_t(10), std::size_t(4090)}) {
    TMemoryStream s(stream);
    TGIFReader reader(s);
    Bytes buf(first + 1);
    if (first) {
      ASSERT_EQ(reader.Read(buf.data(), first), first);
    }
    reader.SkipData();
    EXPECT_TRUE(reader.Eof());
    EXPECT_EQ(reader.Read(buf.data(), 1), 0u);
    EXPECT_EQ(s.Position(), std::int64_t(stream.size() - 1)) << first;
  }
  TMemoryStream cut(Bytes{5, 1, 2, 3, 4, 5, 200, 1});
  TGIFReader reader(cut);
  reader.SkipData();
  EXPECT_EQ(cut.Position(), 8);
}

TEST(GIFReaderStream, OnlyReadingIsAllowed) {
  TMemoryStream s(Bytes{0});
  TGIFReader reader(s);
  std::uint8_t b = 0;
  EXPECT_THROW(reader.Write(&b, 1), GIFException);
  EXPECT_THROW(reader.Seek(0, TSeekOrigin::soBeginning), GIFException);
}

// Reference bit extraction: code k of the given widths, least significant bit first.
std::vector<int> ReferenceCodes(const Bytes& data, const std::vector<int>& widths) {
  std::vector<int> out;
  std::size_t bit = 0;
  for (int w : widths) {
    if (bit + std::size_t(w) >= data.size() * 8) break;  // a code ending exactly at the end is not delivered
    int v = 0;
    for (int i = 0; i < w; ++i, ++bit) v |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    out.push_back(v);
  }
  return out;
}

TEST(GIFBitReader, CodesOfEveryWidthAcrossRefills) {
  Bytes data = Noise(3000, 4);  // a dozen 254-byte windows
  std::vector<int> widths;
  std::uint32_t x = 9;
  while (widths.size() < 5000) {  // more bits than the data holds
    x = x * 1103515245u + 12345u;
    widths.push_back(1 + int((x >> 16) % 12));
  }
  for (std::size_t block : {std::size_t(255), std::size_t(3)}) {
    TMemoryStream s(SubBlocks(data, block));
    Collected c;
    TGIFBitReader bits(s, c.Handler());
    std::vector<int> expected = ReferenceCodes(data, widths);
    std::vector<int> got;
    for (int w : widths) {
      int v = bits.ReadBits(w);
      if (v < 0) break;
      got.push_back(v);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(c.Warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
  }
}

TEST(GIFBitReader, ACodeEndingExactlyAtTheEndIsNotDelivered) {
  // Two bytes: codes of 8 and 7 bits are there, one more bit is left; 8 + 8 are not.
  {
    TMemoryStream s(SubBlocks({0xAB, 0x7F}));
    Collected c;
    TGIFBitReader bits(s, c.Handler());
    EXPECT_EQ(bits.ReadBits(8), 0xAB);
    EXPECT_EQ(bits.ReadBits(7), 0x7F);
    EXPECT_TRUE(bits.Eof());
    EXPECT_TRUE(c.Warnings.empty());
  }
  {
    TMemoryStream s(SubBlocks({0xAB, 0x7F}));
    Collected c;
    TGIFBitReader bits(s, c.Handler());
    EXPECT_EQ(bits.ReadBits(8), 0xAB);
    EXPECT_EQ(bits.ReadBits(8), -1);
    EXPECT_EQ(bits.ReadBits(1), 1);  // the bits are still there for a shorter code
    EXPECT_EQ(c.Warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
  }
}

TEST(GIFBitReader, SkipDataConsumesTheRest) {
  Bytes stream = Cat({SubBlocks(Noise(1000, 5)), H_("3b")});
  TMemoryStream s(stream);
  TGIFBitReader bits(s, nullptr);
  bits.ReadBits(12);
  bits.SkipData();
  EXPECT_TRUE(bits.Eof());
  EXPECT_EQ(s.Position(), std::int64_t(stream.size() - 1));
}

// The decoder as the algorithm reads, one pixel value per call, to hold the table-driven one
// against.
class ReferenceDecoder {
 public:
  ReferenceDecoder(TGIFBitReader& bits, int s) : bits_(bits), s_(s), clear_(1 << s), eof_(clear_ + 1) {}

  int Next() {
    if (sp_ > 0) return stack_[--sp_];
    int code;
    if (first_) {
      first_ = false;
      code = clear_;
    } else {
      code = bits_.ReadBits(size_);
    }
    if (code < 0) return -1;
    if (code == clear_) {
      prefix_.fill(0);
      for (int r = 0; r < clear_ && r < 4096; ++r) suffix_[std::size_t(r)] = r;
      size_ = s_ + 1;
      limit_ = 2 * clear_;
      next_ = clear_ + 2;
      sp_ = 0;
      do code = bits_.ReadBits(size_);
      while (code == clear_);
      if (code < 0 || code == eof_) return -1;
      old_ = firstValue_ = code;
      return code;
    }
    if (code == eof_) return -1;
    int incoming = code;
    if (code >= next_) {
      Push(firstValue_);
      code = old_;
    }
    while (code >= clear_) {
      if (prefix_[std::size_t(code)] == code) throw GIFException("Circular decoder table entry");
      Push(suffix_[std::size_t(code)]);
      code = prefix_[std::size_t(code)];
    }
    firstValue_ = suffix_[std::size_t(code)];
    Push(firstValue_);
    if (next_ <= 4095) {
      prefix_[std::size_t(next_)] = old_;
      suffix_[std::size_t(next_)] = firstValue_;
      ++next_;
      if (next_ >= limit_ && limit_ <= 4095) {
        limit_ *= 2;
        ++size_;
      }
    }
    old_ = incoming;
    return stack_[--sp_];
  }

 private:
  void Push(int v) {
    if (sp_ >= 8192) throw GIFException("Invalid GIF data");
    stack_[std::size_t(sp_++)] = v;
  }
  TGIFBitReader& bits_;
  int s_, clear_, eof_;
  int size_ = 0, limit_ = 0, next_ = 0, old_ = 0, firstValue_ = 0, sp_ = 0;
  bool first_ = true;
  std::array<int, 4096> prefix_{}, suffix_{};
  std::array<int, 8192> stack_{};
};

struct Outcome {
  Bytes Pixels;
  std::string Error;
  std::vector<std::string> Warnings;
};

Outcome RunReference(const Bytes& blocks, int s, std::size_t count) {
  Outcome o;
  TMemoryStream st(blocks);
  Collected c;
  TGIFBitReader bits(st, c.Handler());
  ReferenceDecoder d(bits, s);
  try {
    for (std::size_t i = 0; i < count; ++i) {
      int v = d.Next();
      if (v < 0) break;
      o.Pixels.push_back(std::uint8_t(v));
    }
  } catch (const GIFException& e) {
    o.Error = e.what();
    o.Pixels.clear();
  }
  o.Warnings = c.Warnings;
  return o;
}

Outcome RunDecoder(const Bytes& blocks, int s, std::size_t count, std::uint32_t chunkSeed) {
  Outcome o;
  TMemoryStream st(blocks);
  Collected c;
  TGIFBitReader bits(st, c.Handler());
  auto d = std::make_unique<TGIFLZWDecoder>(bits, s);
  Bytes out(count);
  std::size_t done = 0;
  try {
    while (done < count) {
      chunkSeed = chunkSeed * 1664525u + 1013904223u;
      std::size_t chunk = std::min<std::size_t>(count - done, 1 + (chunkSeed >> 20) % 3000);
      int got = d->Decode(out.data() + done, int(chunk));
      done += std::size_t(got);
      if (std::size_t(got) < chunk) break;
    }
    o.Pixels.assign(out.begin(), out.begin() + std::ptrdiff_t(done));
  } catch (const GIFException& e) {
    o.Error = e.what();
  }
  o.Warnings = c.Warnings;
  return o;
}

Outcome ExpectSameOutcome(const Bytes& blocks, int s, std::size_t count, std::uint32_t seed) {
  Outcome ref = RunReference(blocks, s, count);
  Outcome got = RunDecoder(blocks, s, count, seed);
  EXPECT_EQ(got.Error, ref.Error);
  EXPECT_TRUE(got.Pixels == ref.Pixels) << "pixels differ, " << got.Pixels.size() << " vs " << ref.Pixels.size();
  EXPECT_EQ(got.Warnings, ref.Warnings);
  return got;
}

// The image data sub-blocks of the first frame of a giflib-made file.
Bytes FirstFrameData(const Bytes& file, int& minCodeSize) {
  std::size_t p = 13;
  if (file[10] & 0x80) p += std::size_t(3) << ((file[10] & 7) + 1);
  while (file[p] == 0x21) {
    p += 2;
    while (file[p]) p += file[p] + 1u;
    ++p;
  }
  EXPECT_EQ(file[p], 0x2C);
  std::uint8_t packed = file[p + 9];
  p += 10;
  if (packed & 0x80) p += std::size_t(3) << ((packed & 7) + 1);
  minCodeSize = file[p];
  return Bytes(file.begin() + std::ptrdiff_t(p + 1), file.end());
}

TEST(GIFLZWDecoder, MatchesThePlainAlgorithmOnRealData) {
  for (int bits = 1; bits <= 8; ++bits) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    Bytes palette(std::size_t(3) << bits, 7);
    const int w = 300, h = 70;
    Bytes px(std::size_t(w * h));
    std::uint32_t x = std::uint32_t(bits);
    for (std::size_t i = 0; i < px.size(); ++i) {
      x = x * 1103515245u + 12345u;
      // Runs and noise, so that strings get long and the table fills.
      px[i] = std::uint8_t(((i / 97) % 3 == 0 ? (x >> 16) : (i / 50)) % (1u << bits));
    }
    Bytes file = EncodeWithGiflib(w, h, palette, {px});
    int s = 0;
    Bytes data = FirstFrameData(file, s);
    Outcome got = RunDecoder(data, s, px.size(), 1);
    EXPECT_EQ(got.Error, "");
    EXPECT_TRUE(got.Pixels == px);
    ExpectSameOutcome(data, s, px.size(), 2);
  }
}

TEST(GIFLZWDecoder, MatchesThePlainAlgorithmOnHostileData) {
  // Random code streams hit every odd path: codes past the next free one, end and clear codes
  // anywhere, tables that fill up, self-referring and circular entries, early ends.
  std::map<std::string, int> outcomes;
  for (int s = 0; s <= 12; ++s) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE("min code size " + std::to_string(s) + " seed " + std::to_string(seed));
      Bytes noise = Noise(50 + (seed * 131) % 3000, seed * 7919u + std::uint32_t(s));
      // Biased noise: few high bits, so that small codes (roots, clear, end) turn up often.
      if (seed % 3 == 0)
        for (auto& b : noise) b &= 0x93;
      const std::size_t count = seed % 2 ? 20000 : 40;
      Outcome o = ExpectSameOutcome(SubBlocks(noise), s, count, seed);
      ++outcomes[o.Error.empty() ? (o.Pixels.size() == count ? "complete" : "ended early") : o.Error];
    }
  }
  for (const char* kind : {"complete", "ended early", "Circular decoder table entry", "Invalid GIF data"})
    EXPECT_GT(outcomes[kind], 0) << "no stream ended as " << kind;
}

TEST(GIFLZWDecoder, EndCodeRightAfterAClearCodeIsNoPixel) {
  // Minimum code size 2: clear (4) then end (5), 3 bits each.
  TMemoryStream s(SubBlocks({0x2C, 0x00}));
  TGIFBitReader bits(s, nullptr);
  TGIFLZWDecoder d(bits, 2);
  std::uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(d.Decode(out, 4), 0);
  EXPECT_EQ(out[0], 9);
}

}  // namespace
}  // namespace clipsmith::testing
