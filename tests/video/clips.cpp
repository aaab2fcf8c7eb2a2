#include "clips.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>

namespace clipsmith::testclips {

namespace fs = std::filesystem;

namespace {

std::vector<REFERENCE_TIME> Cfr(int frames, REFERENCE_TIME period) {
  std::vector<REFERENCE_TIME> t;
  for (int k = 0; k < frames; ++k) t.push_back(k * period);
  return t;
}

// Frame k at k*40 + (k % 3)*15 ms: gaps of 55, 55 and 10 ms.
std::vector<REFERENCE_TIME> Vfr(int frames) {
  std::vector<REFERENCE_TIME> t;
  for (int k = 0; k < frames; ++k) t.push_back(REFERENCE_TIME(k * 40 + (k % 3) * 15) * 10000);
  return t;
}

// Called once, by the clip table.
std::vector<TClip> SizeClipTable() {
  static const int sizes[][2] = {{1, 1},     {2, 2},     {3, 3},     {17, 5},    {67, 33},
                                 {120, 90},  {121, 91},  {426, 240}, {854, 480}, {1366, 768}};
  // The names and recipes live as long as the table: TClip holds plain pointers.
  static std::vector<std::string> names, recipes;
  std::vector<TClip> c;
  for (auto [w, h] : sizes) {
    bool even = w % 2 == 0 && h % 2 == 0;
    int sw = std::max(16, (w + 1) / 2 * 2), sh = std::max(16, (h + 1) / 2 * 2);
    names.push_back("size_" + std::to_string(w) + "x" + std::to_string(h) + ".mp4");
    recipes.push_back("-f lavfi -i testsrc2=size=" + std::to_string(sw) + "x" + std::to_string(sh) +
                      ":rate=25:duration=0.4 -vf format=" + (even ? "yuv420p" : "yuv444p") + ",crop=" +
                      std::to_string(w) + ":" + std::to_string(h) + ":0:0,noise=alls=40:allf=t -c:v libx264 -bf 2 -g 5 -pix_fmt " +
                      (even ? "yuv420p" : "yuv444p"));
  }
  for (std::size_t i = 0; i < names.size(); ++i)
    c.push_back({names[i].c_str(), recipes[i].c_str(), sizes[i][0], sizes[i][1], 10, Cfr(10, 400000), 4000000});
  return c;
}

std::vector<TClip> MakeClipTable() {
  std::vector<TClip> c;
  // Temporal noise makes every frame differ from every other, so that a frame can be told by its
  // pixels alone.
  c.push_back({"cfr_h264.mp4", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -vf noise=alls=40:allf=t "
               "-c:v libx264 -bf 0 -g 10 -pix_fmt yuv420p",
               64, 48, 50, Cfr(50, 400000), 20000000});
  c.push_back({"bframes_h264.mp4", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -vf noise=alls=40:allf=t "
               "-c:v libx264 -bf 3 -b_strategy 0 -g 12 -pix_fmt yuv420p",
               64, 48, 50, Cfr(50, 400000), 20000000});
  c.push_back({"vfr_h264.mkv",
               "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1.6 "
               "-vf 'settb=1/1000,setpts=N*40+mod(N\\,3)*15,noise=alls=40:allf=t' "
               "-fps_mode passthrough -enc_time_base 1:1000 -c:v libx264 -bf 2 -g 8 -pix_fmt yuv420p",
               64, 48, 40, Vfr(40), 16000000});
  // testsrc2 rounds its size to even numbers: cut the odd size out of a larger picture.
  c.push_back({"odd_ffv1.mkv", "-f lavfi -i testsrc2=size=68x34:rate=25:duration=1 -vf format=gbrp,crop=67:33:0:0,noise=alls=40:allf=t "
               "-c:v ffv1 -pix_fmt bgr0",
               67, 33, 25, Cfr(25, 400000), 10000000});
  c.push_back({"vp9.mkv",
               "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -vf noise=alls=40:allf=t "
               "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 10 -pix_fmt yuv420p",
               64, 48, 50, Cfr(50, 400000), 20000000});
  c.push_back({"mjpeg.avi", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -vf noise=alls=40:allf=t -c:v mjpeg -q:v 4",
               64, 48, 50, Cfr(50, 400000), 20000000});
  // More of what users have: ten frames each.
  c.push_back({"hevc.mp4", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf noise=alls=40:allf=t "
               "-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p",
               64, 48, 10, Cfr(10, 400000), 4000000});
  c.push_back({"av1.webm", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf noise=alls=40:allf=t "
               "-c:v libaom-av1 -cpu-used 8 -pix_fmt yuv420p",
               64, 48, 10, Cfr(10, 400000), 4000000});
  c.push_back({"mpeg4.mov", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf noise=alls=40:allf=t -c:v mpeg4 -q:v 4",
               64, 48, 10, Cfr(10, 400000), 4000000});
  c.push_back({"vp9.webm", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -vf noise=alls=40:allf=t "
               "-c:v libvpx-vp9 -deadline realtime -cpu-used 8",
               64, 48, 10, Cfr(10, 400000), 4000000});
  // Special-purpose clips.
  c.push_back({"long_5min.mkv", "-f lavfi -i testsrc2=size=16x16:rate=1:duration=300 -c:v libx264 -g 60 -pix_fmt yuv420p",
               16, 16, 300, {}, 3000000000});
  c.push_back({"short_5ms.mkv", "-f lavfi -i testsrc2=size=16x16:rate=200 -frames:v 1 -c:v ffv1", 16, 16, 1, {0}, 50000});
  // Top half red, bottom half blue, lossless: shows which way up the rows go.
  c.push_back({"orientation_ffv1.mkv",
               "-f lavfi -i color=c=red:s=64x16:r=25:d=0.4 -f lavfi -i color=c=blue:s=64x16:r=25:d=0.4 "
               "-filter_complex '[0]format=bgr0[a];[1]format=bgr0[b];[a][b]vstack' -c:v ffv1 -pix_fmt bgr0",
               64, 32, 10, Cfr(10, 400000), 4000000});
  // Raw 4-bit pictures, a pixel format the decoder gives but the scaler does not read.
  c.push_back({"bgr4_rawvideo.nut", "-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.5 -c:v rawvideo -pix_fmt bgr4",
               32, 24, 5, {}, -1});
  c.push_back({"audio_only.wav", "-f lavfi -i sine=frequency=440:duration=1 -c:a pcm_s16le", 0, 0, 0, {}, -1});
  c.push_back({"moov_at_end.mp4", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -c:v libx264 -g 10 -pix_fmt yuv420p",
               64, 48, 50, {}, -1});
  c.push_back({"cut_source.mkv", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -c:v mjpeg -q:v 4", 64, 48, 50, {}, -1});
  // Frame sizes users meet, and the odd ones that test the scaler's edges: 4:2:0 where both sides
  // are even, 4:4:4 otherwise; a noisy source, so that every pixel of every frame is its own.
  // testsrc2 makes even sizes of 16 and more: smaller and odd sizes are cut out of a larger one.
  for (const TClip& s : SizeClipTable()) c.push_back(s);
  // Wider than high, so that a quarter turn shows; its turned copies (turn_*.mp4) differ only in
  // the display matrix of the track header.
  c.push_back({"turn_source.mp4", "-f lavfi -i testsrc2=size=48x32:rate=25:duration=0.4 -vf noise=alls=40:allf=t "
               "-c:v libx264 -bf 0 -pix_fmt yuv420p",
               48, 32, 10, Cfr(10, 400000), 4000000});
  return c;
}

const std::vector<TClip>& Table() {
  static const std::vector<TClip> table = MakeClipTable();
  return table;
}

std::string ClipDir() {
  fs::path dir = CLIPSMITH_VIDEO_CLIPS_DIR;
  fs::create_directories(dir);
  return dir.string();
}

// Serialises clip generation across the test processes that ctest runs in parallel.
class TDirLock {
 public:
  explicit TDirLock(const std::string& dir) {
    FFd = ::open((dir + "/.lock").c_str(), O_CREAT | O_RDWR, 0644);
    if (FFd >= 0) ::flock(FFd, LOCK_EX);
  }
  ~TDirLock() {
    if (FFd >= 0) {
      ::flock(FFd, LOCK_UN);
      ::close(FFd);
    }
  }

 private:
  int FFd;
};

void Run(const std::string& cmd) {
  std::string full = cmd + " >/dev/null 2>&1";
  if (std::system(full.c_str()) != 0) throw std::runtime_error("command failed: " + cmd);
}

// Files derived from generated clips by cutting or patching bytes.
void MakeDerived(const std::string& name, const std::string& path) {
  auto read = [](const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  auto write = [](const std::string& p, const std::vector<char>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p);
  };
  if (name == "empty.mp4") {
    write(path, {});
  } else if (name == "text.mp4") {
    std::string text = "This is not a video.\nJust a few lines of text.\n";
    write(path, std::vector<char>(text.begin(), text.end()));
  } else if (name == "truncated.mp4") {
    // The index of this MP4 sits at its end: cut in half, no frame can be found.
    auto bytes = read(ClipPath("moov_at_end.mp4"));
    bytes.resize(bytes.size() / 2);
    write(path, bytes);
  } else if (name == "unknown_codec.avi") {
    // An AVI whose video stream names a codec nobody has.
    auto bytes = read(ClipPath("cut_source.avi.src"));
    for (std::size_t i = 0; i + 4 <= bytes.size() && i < 4096; ++i)
      if (std::equal(bytes.begin() + long(i), bytes.begin() + long(i) + 4, "MJPG")) std::copy_n("QZQZ", 4, bytes.begin() + long(i));
    write(path, bytes);
  } else if (name == "ends_early.mkv") {
    // Cut in the middle of its data: the frames before the cut still play.
    auto bytes = read(ClipPath("cut_source.mkv"));
    bytes.resize(bytes.size() * 55 / 100);
    write(path, bytes);
  } else if (name.rfind("turn_", 0) == 0) {
    // The track header's matrix (a b u / c d v / x y w, 16.16 but u v w 2.30): x' = a x + c y,
    // y' = b x + d y, as QuickTime and FFmpeg read it.
    static const std::map<std::string, std::array<int, 4>> kMatrices = {
        {"turn_cw.mp4", {0, 1, -1, 0}},   {"turn_half.mp4", {-1, 0, 0, -1}}, {"turn_ccw.mp4", {0, -1, 1, 0}},
        {"turn_mirror.mp4", {-1, 0, 0, 1}}, {"turn_flip.mp4", {1, 0, 0, -1}}, {"turn_transpose.mp4", {0, 1, 1, 0}}};
    auto abcd = kMatrices.at(name);
    auto bytes = read(ClipPath("turn_source.mp4"));
    auto at = std::search(bytes.begin(), bytes.end(), std::begin("tkhd"), std::end("tkhd") - 1);
    if (at == bytes.end()) throw std::runtime_error("no track header in turn_source.mp4");
    // After the type: version and flags (4), then the times, track id and duration (20, or 32 for
    // version 1), 8 reserved, layer, group, volume and 2 reserved (8): the matrix.
    std::size_t m = std::size_t(at - bytes.begin()) + 4 + (bytes[std::size_t(at - bytes.begin()) + 4] == 1 ? 44 : 32) + 8;
    const std::int32_t values[9] = {abcd[0] * 65536, abcd[1] * 65536, 0, abcd[2] * 65536, abcd[3] * 65536, 0, 0, 0, 1 << 30};
    for (int i = 0; i < 9; ++i)
      for (int k = 0; k < 4; ++k) bytes[m + std::size_t(i) * 4 + std::size_t(k)] = char(std::uint32_t(values[i]) >> (24 - 8 * k));
    write(path, bytes);
  } else {
    throw std::runtime_error("unknown clip " + name);
  }
}

}  // namespace

const std::vector<TClip>& StepClips() {
  static const std::vector<TClip> clips(Table().begin(), Table().begin() + 6);
  return clips;
}

const std::vector<TClip>& FormatClips() {
  static const std::vector<TClip> clips(Table().begin() + 6, Table().begin() + 10);
  return clips;
}

const std::vector<TClip>& SizeClips() {
  static const std::vector<TClip> clips = [] {
    std::vector<TClip> c;
    for (const TClip& t : Table())
      if (std::string(t.Name).rfind("size_", 0) == 0) c.push_back(t);
    return c;
  }();
  return clips;
}

const TClip& Clip(const std::string& name) {
  for (auto& c : Table())
    if (name == c.Name) return c;
  throw std::runtime_error("no clip " + name);
}

std::string ScratchDir() {
  fs::path dir = fs::path(ClipDir()) / ("scratch-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir.string();
}

std::string ClipPath(const std::string& name) {
  std::string dir = ClipDir();
  std::string path = dir + "/" + name;
  if (fs::exists(path)) return path;
  // What a derived file is cut from is made first: the lock is not taken twice.
  if (name == "truncated.mp4") ClipPath("moov_at_end.mp4");
  if (name == "unknown_codec.avi") ClipPath("cut_source.avi.src");
  if (name == "ends_early.mkv") ClipPath("cut_source.mkv");
  if (name.rfind("turn_", 0) == 0 && name != "turn_source.mp4") ClipPath("turn_source.mp4");
  TDirLock lock(dir);
  if (fs::exists(path)) return path;
  std::string tmp = path + ".tmp-" + std::to_string(::getpid());
  // The derived files keep their extension last, so the temporary name gets it too.
  std::string ext = fs::path(name).extension().string();
  std::string tmpOut = tmp + ext;
  if (name == "cut_source.avi.src") {
    Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v mjpeg -f avi " + tmpOut);
  } else {
    const TClip* clip = nullptr;
    for (auto& c : Table())
      if (name == c.Name) clip = &c;
    if (clip) {
      Run(std::string("ffmpeg -nostdin -y -loglevel error ") + clip->Recipe + " " + tmpOut);
    } else {
      MakeDerived(name, tmpOut);
    }
  }
  fs::rename(tmpOut, path);
  return path;
}

const std::vector<std::vector<std::uint8_t>>& ReferenceFrames(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::vector<std::vector<std::uint8_t>>> cache;
  std::lock_guard lk(lock);
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  const TClip& clip = Clip(name);
  std::string raw = ClipPath(name) + ".bgra";
  if (!fs::exists(raw)) {
    TDirLock dl(ClipDir());
    if (!fs::exists(raw)) {
      std::string tmp = raw + ".tmp-" + std::to_string(::getpid());
      Run("ffmpeg -nostdin -y -loglevel error -i " + ClipPath(name) +
          " -fps_mode passthrough -f rawvideo -pix_fmt bgra " + tmp);
      fs::rename(tmp, raw);
    }
  }
  std::ifstream in(raw, std::ios::binary);
  std::size_t frameSize = std::size_t(clip.Width) * std::size_t(clip.Height) * 4;
  std::vector<std::vector<std::uint8_t>> frames;
  for (;;) {
    std::vector<std::uint8_t> f(frameSize);
    if (!in.read(reinterpret_cast<char*>(f.data()), std::streamsize(frameSize))) break;
    frames.push_back(std::move(f));
  }
  return cache.emplace(name, std::move(frames)).first->second;
}

int FindReferenceFrame(const std::string& name, const std::vector<std::uint8_t>& pixels) {
  const auto& frames = ReferenceFrames(name);
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (frames[i] == pixels) return int(i);
  return -1;
}

void MakeAllClips() {
  for (auto& c : Table()) ClipPath(c.Name);
  for (const char* n : {"empty.mp4", "text.mp4", "truncated.mp4", "unknown_codec.avi", "ends_early.mkv"}) ClipPath(n);
  for (auto& c : StepClips()) ReferenceFrames(c.Name);
  for (auto& c : FormatClips()) ReferenceFrames(c.Name);
  ReferenceFrames("orientation_ffv1.mkv");
}

}  // namespace clipsmith::testclips
