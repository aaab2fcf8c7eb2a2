// Helpers of the reader tests: loading bytes while collecting warnings, and a few views of the
// result for comparison with giflib.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "giflib_decode.h"
#include "graphics/stream.h"

namespace clipsmith::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct LoadResult {
  std::unique_ptr<TGIFImage> Image = std::make_unique<TGIFImage>();
  std::vector<std::string> Warnings;
  std::string Error;           // the GIFException's message, empty after success
  std::int64_t EndPosition = 0;
};

// Loads bytes placed at offset start of a memory stream (the bytes before are 0xEE).
inline LoadResult LoadBytes(const Bytes& bytes, std::size_t start = 0) {
  LoadResult r;
  Bytes all(start, 0xEE);
  all.insert(all.end(), bytes.begin(), bytes.end());
  TMemoryStream stream(std::move(all));
  stream.SetPosition(std::int64_t(start));
  r.Image->OnWarning = [&r](TPersistent*, TGIFSeverity, const std::string& msg) { r.Warnings.push_back(msg); };
  try {
    r.Image->LoadFromStream(stream);
  } catch (const GIFException& e) {
    r.Error = e.what();
  }
  r.Image->OnWarning = nullptr;
  r.EndPosition = stream.Position();
  return r;
}

inline Bytes Pixels(TGIFFrame* f) {
  if (!f->Data()) return {};
  return Bytes(f->Data(), f->Data() + f->DataSize());
}

inline Bytes ColorBytes(const TGIFColorMap& map) {
  Bytes out;
  for (const TGIFColor& c : map.Data()) {
    out.push_back(c.Red);
    out.push_back(c.Green);
    out.push_back(c.Blue);
  }
  return out;
}

inline Bytes Save(TGIFImage& image) {
  TMemoryStream out;
  image.SaveToStream(out);
  return out.Bytes();
}

inline Bytes SaveExtension(TGIFExtension& e) {
  TMemoryStream out;
  e.SaveToStream(out);
  return out.Bytes();
}

// Our frames beside giflib's decoding of the same bytes: sizes, positions, colours and pixels.
inline void ExpectSameAsGiflib(TGIFImage& image, const Bytes& bytes) {
  DecodedGif g = DecodeWithGiflib(bytes);
  ASSERT_TRUE(g.Ok) << g.Error;
  EXPECT_EQ(image.Width(), g.ScreenWidth);
  EXPECT_EQ(image.Height(), g.ScreenHeight);
  EXPECT_EQ(ColorBytes(image.GlobalColorMap()), g.GlobalColors);
  ASSERT_EQ(image.Images().Count(), int(g.Frames.size()));
  for (int i = 0; i < image.Images().Count(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    TGIFFrame* f = image.Images()[i];
    const DecodedFrame& d = g.Frames[std::size_t(i)];
    EXPECT_EQ(f->Left(), d.Left);
    EXPECT_EQ(f->Top(), d.Top);
    EXPECT_EQ(f->Width(), d.Width);
    EXPECT_EQ(f->Height(), d.Height);
    EXPECT_EQ(f->Interlaced(), d.Interlace);
    EXPECT_EQ(ColorBytes(f->ColorMap()), d.LocalColors);
    EXPECT_TRUE(Pixels(f) == d.Pixels) << "pixels differ";
  }
}

}  // namespace clipsmith::testing
