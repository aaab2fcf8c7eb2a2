// Helpers shared by the conversion tests of the window and of clipsmith-cli: the test clips (made
// by test_clips), their frames as ffmpeg decodes them as bitmaps, the GIF the builder makes from
// given frames, and what giflib shows of a GIF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "giflib_decode.h"
#include "graphics/bitmap.h"
#include "test_clips.h"

namespace clipsmith::apptest {

using testclips::ClipPath;
using testclips::kLongLosslessClip;
using testclips::kLosslessClip;
using testclips::kNotAVideo;
using testclips::kShortClip;
using testclips::kWindowClip;
inline constexpr int kClipWidth = 64, kClipHeight = 48;

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
