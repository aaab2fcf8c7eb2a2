// The program's own reduction path (octree palette, Floyd-Steinberg, nearest entry) against the
// reference vector: the exact colour map and indices of a 40 x 30 bitmap given by a formula.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gif/color_reduction.h"
#include "gif/gif_image.h"

using namespace clipsmith;

namespace {

struct ReduceVector {
  int PaletteEntries = -1;
  std::vector<TGIFColor> ColorMap;
  std::vector<std::uint8_t> Indices;
};

ReduceVector ReadVector(const std::string& name) {
  std::ifstream in(std::string(CLIPSMITH_VECTORS_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  ReduceVector v;
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "palette_entries") {
      words >> v.PaletteEntries;
      continue;
    }
    if (word == "colormap" || word == "indices") {
      section = word;
      continue;
    }
    do {
      const unsigned long value = std::stoul(word, nullptr, 16);
      if (section == "colormap")
        v.ColorMap.push_back({std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value)});
      else
        v.Indices.push_back(std::uint8_t(value));
    } while (words >> word);
  }
  return v;
}

// red = (13x + 7y) and 255, green = (x*x + 3y*y) and 255, blue = (5xy + 40) and 255, in the
// display's native format as the builder hands bitmaps over.
TBitmap VectorBitmap() {
  TBitmap b(40, 30, TPixelFormat::pfDevice);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(13 * x + 7 * y), std::uint8_t(x * x + 3 * y * y), std::uint8_t(5 * x * y + 40)));
  return b;
}

}  // namespace

TEST(ReduceVector, QuantizeBitmapGivesTheReferenceColorTableAndIndices) {
  const ReduceVector v = ReadVector("reduce-quantize-fs-40x30.txt");
  ASSERT_EQ(v.ColorMap.size(), 256u);
  ASSERT_EQ(v.Indices.size(), 40u * 30u);

  TBitmap source = VectorBitmap();
  TBitmap reduced = QuantizeBitmap(source, TColorReduction::rmQuantize, TDitherMode::dmFloydSteinberg, 8, nullptr);
  ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(reduced.Width(), 40);
  ASSERT_EQ(reduced.Height(), 30);
  ASSERT_EQ(reduced.ColorTable().size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const TRGBQuad& q = reduced.ColorTable()[std::size_t(i)];
    const TGIFColor& c = v.ColorMap[std::size_t(i)];
    EXPECT_EQ((TGIFColor{q.rgbRed, q.rgbGreen, q.rgbBlue}), c) << "entry " << i;
  }
  int mismatches = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (reduced.ScanLine(y)[x] != v.Indices[std::size_t(y * 40 + x)] && ++mismatches <= 10)
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(reduced.ScanLine(y)[x]) << " expected "
                      << int(v.Indices[std::size_t(y * 40 + x)]);
  EXPECT_EQ(mismatches, 0);

  // The octree alone delivers the stated number of colours.
  TBitmap again = VectorBitmap();
  TDIBReader reader(again, TPixelFormat::pf24bit);
  EXPECT_EQ(int(BuildOctreePalette(reader, 256, 6, false).size()), v.PaletteEntries);
}

TEST(ReduceVector, AddGivesTheReferenceFrame) {
  const ReduceVector v = ReadVector("reduce-quantize-fs-40x30.txt");
  TGIFImage image;
  TBitmap source = VectorBitmap();
  TGIFFrame* frame = image.Add(source);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Width(), 40);
  EXPECT_EQ(frame->Height(), 30);
  ASSERT_EQ(frame->ColorMap().Count(), 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(frame->ColorMap().Data()[std::size_t(i)], v.ColorMap[std::size_t(i)]) << i;
  ASSERT_EQ(frame->DataSize(), 40 * 30);
  EXPECT_EQ(std::vector<std::uint8_t>(frame->Data(), frame->Data() + frame->DataSize()), v.Indices);
  // Entries past the octree's colours are black and unused.
  for (int i = 0; i < frame->DataSize(); ++i) EXPECT_LT(frame->Data()[i], v.PaletteEntries);
  EXPECT_FALSE(frame->Transparent());
}
