// Test clips made with the ffmpeg command, once per test run: every clip is generated on first
// use into the build tree (under a lock, so parallel test processes share the work) and reused
// afterwards. The CTest fixture video_make_clips makes them all before the tests start.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "video/time_text.h"

namespace clipsmith::testclips {

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
// Any clip by name (also the special ones: long, short, orientation, broken files).
const TClip& Clip(const std::string& name);

// Path of the clip, generating it when missing.
std::string ClipPath(const std::string& name);
// Every frame of the clip decoded by the ffmpeg command to bgra, top-down rows.
const std::vector<std::vector<std::uint8_t>>& ReferenceFrames(const std::string& name);
// Index of the reference frame equal to pixels (top-down bgra), -1 when none is.
int FindReferenceFrame(const std::string& name, const std::vector<std::uint8_t>& pixels);

inline void PrintTo(const TClip& c, std::ostream* os) { *os << c.Name; }

// Makes every clip; what the fixture test runs.
void MakeAllClips();
// A scratch folder for files a test writes.
std::string ScratchDir();

}  // namespace clipsmith::testclips
