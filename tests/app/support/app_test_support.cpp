#include "app_test_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>

#include "gifbuild/gif_builder.h"

namespace clipsmith::apptest {

namespace fs = std::filesystem;

namespace {

struct TRecipe {
  const char* Name;
  const char* FfmpegArgs;  // between "ffmpeg" and the output file; empty for files written here
};

// At this size testsrc2 repeats about every other frame, so the frame number is written into
// the top four rows as well: 8 cells of 8 pixels, bit i white when set.
#define CLIPSMITH_STAMP_BIT "if(lt(Y,4),255*mod(floor(N/pow(2,floor(X/8))),2),"
#define CLIPSMITH_STAMP                                                                    \
  "-vf \"geq=r='" CLIPSMITH_STAMP_BIT "r(X,Y))':g='" CLIPSMITH_STAMP_BIT "g(X,Y))':b='" \
  CLIPSMITH_STAMP_BIT "b(X,Y))'\" "

const TRecipe kRecipes[] = {
    {kLosslessClip,
     "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 " CLIPSMITH_STAMP "-c:v ffv1 -pix_fmt bgr0"},
    {kShortClip,
     "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 " CLIPSMITH_STAMP "-c:v ffv1 -pix_fmt bgr0"},
    {kNotAVideo, ""},
};

const TRecipe& RecipeOf(const std::string& name) {
  for (const auto& r : kRecipes)
    if (name == r.Name) return r;
  throw std::runtime_error("no test clip named " + name);
}

std::string ClipDir() {
  fs::path dir = CLIPSMITH_APP_CLIPS_DIR;
  fs::create_directories(dir);
  return dir.string();
}

// Serialises the making of clips across test processes.
class TDirLock {
 public:
  explicit TDirLock(const std::string& dir) : FFd(::open((dir + "/.lock").c_str(), O_CREAT | O_RDWR, 0644)) {
    if (FFd >= 0) ::flock(FFd, LOCK_EX);
  }
  ~TDirLock() {
    if (FFd >= 0) ::close(FFd);
  }
  TDirLock(const TDirLock&) = delete;
  TDirLock& operator=(const TDirLock&) = delete;

 private:
  int FFd;
};

void Run(const std::string& cmd) {
  if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("command failed: " + cmd);
}

// Makes path with make(tmp) once, atomically, so a reader never sees half a file.
void MakeOnce(const std::string& path, const std::function<void(const std::string&)>& make) {
  if (fs::exists(path)) return;
  TDirLock lock(ClipDir());
  if (fs::exists(path)) return;
  // The extension stays last: ffmpeg picks the container by it.
  fs::path p(path);
  std::string tmp = (p.parent_path() / (p.stem().string() + ".tmp-" + std::to_string(::getpid()))).string() +
                    p.extension().string();
  make(tmp);
  fs::rename(tmp, path);
}

}  // namespace

std::string ClipPath(const std::string& name) {
  const TRecipe& recipe = RecipeOf(name);
  std::string path = ClipDir() + "/" + name;
  MakeOnce(path, [&](const std::string& tmp) {
    if (*recipe.FfmpegArgs) {
      Run(std::string("ffmpeg -nostdin -y -loglevel error ") + recipe.FfmpegArgs + " '" + tmp + "'");
    } else {
      std::ofstream out(tmp, std::ios::binary);
      out << "This is not a video.\nJust two lines of text.\n";
      if (!out) throw std::runtime_error("cannot write " + tmp);
    }
  });
  return path;
}

const std::vector<TBitmap>& ReferenceFrames(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::vector<TBitmap>> cache;
  std::lock_guard lk(lock);
  if (auto it = cache.find(name); it != cache.end()) return it->second;
  const std::string clip = ClipPath(name);
  const std::string raw = clip + ".bgra";
  MakeOnce(raw, [&](const std::string& tmp) {
    Run("ffmpeg -nostdin -y -loglevel error -i '" + clip + "' -f rawvideo -pix_fmt bgra '" + tmp + "'");
  });
  std::ifstream in(raw, std::ios::binary);
  const std::size_t row = std::size_t(kClipWidth) * 4;
  std::vector<TBitmap> frames;
  std::vector<char> buf(row * kClipHeight);
  while (in.read(buf.data(), std::streamsize(buf.size()))) {
    TBitmap b(kClipWidth, kClipHeight, TPixelFormat::pfDevice);
    for (int y = 0; y < kClipHeight; ++y) {
      const auto* s = reinterpret_cast<const std::uint8_t*>(buf.data()) + std::size_t(y) * row;
      for (int x = 0; x < kClipWidth; ++x) b.SetPixel(x, y, RGBColor(s[4 * x + 2], s[4 * x + 1], s[4 * x]));
    }
    frames.push_back(std::move(b));
  }
  return cache.emplace(name, std::move(frames)).first->second;
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
