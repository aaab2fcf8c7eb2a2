// Helpers shared by the conversion tests of the window and of clipsmith-cli: clips made with the
// ffmpeg command on first use, their frames as ffmpeg decodes them, the GIF the builder makes
// from given frames, and what giflib shows of a GIF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "giflib_decode.h"
#include "graphics/bitmap.h"

namespace clipsmith::apptest {

// The lossless test clip: testsrc2, 64 x 48, 25 fps, 2 s (50 frames at k * 40 ms), FFV1 bgr0,
// so that every decoded frame equals ffmpeg's own decoding of it to the byte. Every frame
// carries its number in binary in its top rows (see FrameNumberOf), so no two are alike.
inline constexpr const char* kLosslessClip = "lossless.mkv";
// The same picture for 0.4 s (10 frames), for tests that play in real time.
inline constexpr const char* kShortClip = "short.mkv";
// A text file with a video's extension.
inline constexpr const char* kNotAVideo = "not_a_video.mp4";
inline constexpr int kClipWidth = 64, kClipHeight = 48;

// Path of a clip, generated on first use (under a lock, so the test processes that ctest runs in
// parallel share the work) and kept in the build tree.
std::string ClipPath(const std::string& name);

// Every frame of a clip decoded by the ffmpeg command, in the display's format, top row first.
const std::vector<TBitmap>& ReferenceFrames(const std::string& name);
// Index of the reference frame whose red, green and blue equal the bitmap's; -1 when none does.
int FindReferenceFrame(const std::string& name, const TBitmap& frame);
bool SameColors(const TBitmap& a, const TBitmap& b);
// The frame number written into a frame of the test clips.
int FrameNumberOf(const TBitmap& frame);

// The crop and scale of a frame written out pixel by pixel: destination (x, y) takes source
// (xs + floor((2x+1)·ws / 2w), ys + floor((2y+1)·hs / 2h)), black where that lies outside.
TBitmap CropAndScaleByHand(const TBitmap& src, int xs, int ys, int ws, int hs, int w, int h);

// The file the GIF builder writes for these frames, loop count and delay.
std::vector<std::uint8_t> BuilderGif(const std::vector<TBitmap>& frames, int loops, std::uint32_t delay);

// Each frame of a decoded GIF as red, green, blue per pixel, through its colour table.
std::vector<std::vector<std::uint8_t>> FrameColors(const testing::DecodedGif& gif);
// Loop count of the NETSCAPE2.0 extension, -1 when the GIF has none.
int LoopCountOf(const testing::DecodedGif& gif);
// Delay of each frame's graphic control extension in 1/100 s, -1 for a frame without one.
std::vector<int> DelaysOf(const testing::DecodedGif& gif);

std::vector<std::uint8_t> ReadBytes(const std::string& path);

// A fresh folder, removed with everything in it.
class TScratchDir {
 public:
  explicit TScratchDir(const std::string& tag);
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::filesystem::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path FPath;
};

// The frame indices from, from + step, ... up to and including to.
std::vector<int> Every(int from, int to, int step = 1);

}  // namespace clipsmith::apptest
