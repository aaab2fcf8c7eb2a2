// Helpers shared by the builder and preview tests: scratch folders, files and small images made
// by hand; ScopedEnv for environment overrides.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "graphics/bitmap.h"
#include "scoped_env.h"

namespace clipsmith::testing {

// A fresh folder that is removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "gifbuild") {
    std::string pattern = (std::filesystem::temp_directory_path() / (tag + "-XXXXXX")).string();
    char* made = ::mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    FPath = made;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }
  // Names of every entry, for checking that nothing was left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(FPath)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path FPath;
};

inline std::string ReadText(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& fileName) {
  std::string s = ReadText(fileName);
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

inline void WriteText(const std::string& fileName, const std::string& text) {
  std::ofstream out(fileName, std::ios::binary);
  out << text;
}

// A frame of w x h pixels with a 4-colour local map, made without the colour reduction.
inline TGIFFrame* AddHandmadeFrame(TGIFImage& image, int w, int h) {
  TGIFFrame* f = TGIFFrame::Create(&image);
  f->ChangeBounds(0, 0, w, h);
  f->ColorMap().Add(RGBColor(255, 0, 0));
  f->ColorMap().Add(RGBColor(0, 128, 0));
  f->ColorMap().Add(RGBColor(0, 0, 255));
  f->ColorMap().Add(RGBColor(255, 255, 255));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f->PixelAt(x, y) = std::uint8_t((x / 4 + y / 4) % 4);
  TGIFExtension::Create<TGIFGraphicControlExtension>(f)->SetDelay(10);
  return f;
}

// A true-colour bitmap in the display's format, colours given by the pixel position.
inline TBitmap GradientBitmap(int w, int h, int seed = 0) {
  TBitmap b(w, h, TPixelFormat::pfDevice);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(std::uint8_t(29 * x + 3 * seed), std::uint8_t(17 * y + 5 * seed), std::uint8_t(7 * x * y + seed)));
  return b;
}

}  // namespace clipsmith::testing
