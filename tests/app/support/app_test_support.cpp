#include "app_test_support.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>

#include "gifbuild/gif_builder.h"

namespace clipsmith::apptest {

namespace fs = std::filesystem;

const std::vector<TBitmap>& ReferenceFrames(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::vector<TBitmap>> bitmaps;
  std::lock_guard lk(lock);
  if (auto it = bitmaps.find(name); it != bitmaps.end()) return it->second;
  const testclips::TClip& clip = testclips::Clip(name);
  const std::size_t row = std::size_t(clip.Width) * 4;
  std::vector<TBitmap> frames;
  for (const auto& pixels : testclips::ReferenceFrames(name)) {
    TBitmap b(clip.Width, clip.Height, TPixelFormat::pfDevice);
    for (int y = 0; y < clip.Height; ++y) {
      const std::uint8_t* s = pixels.data() + std::size_t(y) * row;
      for (int x = 0; x < clip.Width; ++x) b.SetPixel(x, y, RGBColor(s[4 * x + 2], s[4 * x + 1], s[4 * x]));
    }
    frames.push_back(std::move(b));
  }
  return bitmaps.emplace(name, std::move(frames)).first->second;
}

bool SameColors(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if ((a.GetPixel(x, y) & 0xFFFFFF) != (b.GetPixel(x, y) & 0xFFFFFF)) return false;
  return true;
}

int FrameNumberOf(const TBitmap& frame) {
  int n = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (GetGValue(frame.GetPixel(bit * 8 + 4, 1)) > 128) n |= 1 << bit;
  return n;
}

int FindReferenceFrame(const std::string& name, const TBitmap& frame) {
  const auto& frames = ReferenceFrames(name);
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (SameColors(frames[i], frame)) return int(i);
  return -1;
}

TBitmap CropAndScaleByHand(const TBitmap& src, int xs, int ys, int ws, int hs, int w, int h) {
  TBitmap out(w, h, TPixelFormat::pfDevice);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::int64_t sx = xs + (2 * std::int64_t(x) + 1) * ws / (2 * std::int64_t(w));
      std::int64_t sy = ys + (2 * std::int64_t(y) + 1) * hs / (2 * std::int64_t(h));
      bool inside = sx >= 0 && sy >= 0 && sx < src.Width() && sy < src.Height();
      out.SetPixel(x, y, inside ? src.GetPixel(int(sx), int(sy)) : clBlack);
    }
  return out;
}

std::vector<std::uint8_t> BuilderGif(const std::vector<TBitmap>& frames, int loops, std::uint32_t delay) {
  TScratchDir dir("app-expected");
  TSkGIF gif;
  gif.Loops = loops;
  gif.Delay = delay;
  gif.GIFFileName = dir / "expected.gif";
  if (!frames.empty()) {
    gif.GIFWidth = frames[0].Width();
    gif.GIFHeight = frames[0].Height();
  }
  for (TBitmap f : frames) gif.AddFrame(f);
  gif.SaveToDisk();
  return ReadBytes(gif.GIFFileName);
}

std::vector<std::vector<std::uint8_t>> FrameColors(const testing::DecodedGif& gif) {
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& f : gif.Frames) {
    const auto& table = f.LocalColors.empty() ? gif.GlobalColors : f.LocalColors;
    std::vector<std::uint8_t> rgb;
    rgb.reserve(f.Pixels.size() * 3);
    for (std::uint8_t i : f.Pixels) {
      std::size_t at = std::size_t(i) * 3;
      if (at + 2 >= table.size()) throw std::runtime_error("pixel index outside the colour table");
      rgb.insert(rgb.end(), table.begin() + long(at), table.begin() + long(at) + 3);
    }
    out.push_back(std::move(rgb));
  }
  return out;
}

int LoopCountOf(const testing::DecodedGif& gif) {
  for (const auto& f : gif.Frames)
    for (std::size_t i = 0; i + 1 < f.Extensions.size(); ++i) {
      const auto& app = f.Extensions[i];
      const auto& sub = f.Extensions[i + 1];
      if (app.Function == 0xFF && std::string(app.Bytes.begin(), app.Bytes.end()) == "NETSCAPE2.0" &&
          sub.Bytes.size() == 3 && sub.Bytes[0] == 1)
        return sub.Bytes[1] | (sub.Bytes[2] << 8);
    }
  return -1;
}

std::vector<int> DelaysOf(const testing::DecodedGif& gif) {
  std::vector<int> out;
  for (const auto& f : gif.Frames) {
    int d = -1;
    for (const auto& e : f.Extensions)
      if (e.Function == 0xF9 && e.Bytes.size() == 4) d = e.Bytes[1] | (e.Bytes[2] << 8);
    out.push_back(d);
  }
  return out;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TScratchDir::TScratchDir(const std::string& tag) {
  std::string pattern = (fs::temp_directory_path() / ("clipsmith-" + tag + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::vector<std::string> TScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(FPath)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<int> Every(int from, int to, int step) {
  std::vector<int> out;
  for (int i = from; i <= to; i += step) out.push_back(i);
  return out;
}

}  // namespace clipsmith::apptest
