// Test clips made with the ffmpeg command for every test folder: each clip is generated on first
// use into one folder of the build tree (under one lock, so the test processes that ctest runs in
// parallel share the work) and reused afterwards. The CTest fixture video_make_clips makes them
// all before the video tests start. Needs neither Qt nor our libraries.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace clipsmith {

// The media graph's 100-ns time unit (video/time_text.h), said again so the clips need no video
// headers.
using REFERENCE_TIME = std::int64_t;

}  // namespace clipsmith

namespace clipsmith::testclips {

// The conversion tests' lossless clip: testsrc2, 64 x 48, 25 fps, 2 s (50 frames at k * 40 ms),
// FFV1 bgr0, so that every decoded frame equals ffmpeg's own decoding of it to the byte. Every
// frame carries its number in binary in its top four rows (8 cells of 8 pixels, bit i white when
// set), so no two are alike.
inline constexpr const char* kLosslessClip = "lossless.mkv";
// The same picture for 0.4 s (10 frames), for tests that play in real time.
inline constexpr const char* kShortClip = "short.mkv";
// A text file with a video's extension.
inline constexpr const char* kNotAVideo = "not_a_video.mp4";
// 320 x 240, 25 fps: 4 s of MPEG-4 part 2, and 10 s of FFV1 (a conversion that takes seconds).
inline constexpr const char* kWindowClip = "testsrc2_320x240_4s.mp4";
inline constexpr const char* kLongLosslessClip = "testsrc2_320x240_10s.mkv";

struct TClip {
  const char* Name;      // file name inside the clip folder
  const char* Recipe;    // ffmpeg arguments between the inputs and the output file
  int Width, Height;
  int Frames;            // 0 when not fixed
  // Exact presentation times, when the recipe fixes them (empty otherwise).
  std::vector<REFERENCE_TIME> Times;
  REFERENCE_TIME Duration;  // -1 when not fixed
};

// The clips of the stepping and seeking tests.
const std::vector<TClip>& StepClips();
// Short clips in further codecs and containers.
const std::vector<TClip>& FormatClips();
// One short noisy H.264 clip per frame size, from 1x1 to 1366x768.
const std::vector<TClip>& SizeClips();
// Any clip by name (also the special ones: long, short, orientation, the conversion tests').
const TClip& Clip(const std::string& name);

// Path of the clip, generating it when missing.
std::string ClipPath(const std::string& name);
// Every frame of the clip decoded by the ffmpeg command to bgra, top-down rows (read once per
// process, kept beside the clip in the folder).
const std::vector<std::vector<std::uint8_t>>& ReferenceFrames(const std::string& name);
// Index of the reference frame equal to pixels (top-down bgra), -1 when none is.
int FindReferenceFrame(const std::string& name, const std::vector<std::uint8_t>& pixels);

inline void PrintTo(const TClip& c, std::ostream* os) { *os << c.Name; }

// Makes every clip; what the fixture test runs.
void MakeAllClips();
// A scratch folder for files a test writes.
std::string ScratchDir();

}  // namespace clipsmith::testclips
