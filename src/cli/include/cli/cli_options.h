// The command line of clipsmith-cli, parsed into the values the window's fields would hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion_rules.h"

namespace clipsmith {

// The largest values the GIF's 16-bit fields hold: the loop count is stored less one, the delay
// in hundredths of a second.
inline constexpr std::int64_t kMaxLoops = 65536;
inline constexpr std::int64_t kMaxDelayMs = 655359;

struct TCliOptions {
  bool Help = false;
  bool Version = false;
  bool Info = false;
  bool Preview = false;
  bool NoOpen = false;
  bool Quiet = false;
  // Frames reduced to 256 greys instead of the octree palette.
  bool Gray = false;
  std::string Input;
  std::string Output;
  // Marks in milliseconds; the end defaults to the end of the video.
  std::int64_t StartMs = 0;
  std::optional<std::int64_t> EndMs;
  // The Frame Step, Loop and Delay values, with the window's defaults.
  int Step = TOptionDefaults::FrameStep;
  int Loop = TOptionDefaults::Loops;
  int Delay = TOptionDefaults::Delay;
  bool Crop = false;
  int CropX = 0, CropY = 0, CropW = 0, CropH = 0;
  // Output size; a missing side keeps the proportions of the crop or the source.
  bool Resize = false;
  std::optional<int> SizeW, SizeH;
};

// Parses the arguments after the program name. Returns "" on success, otherwise a one-line
// message naming what is wrong.
std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& out);

// Seconds ("12", "12.5") or [HH:]MM:SS[.mmm], to milliseconds.
std::optional<std::int64_t> ParseTime(std::string_view text);

std::string UsageText();

// "" when the crop rectangle (if any) has at least one pixel in a frame of this size, otherwise
// the message naming the rectangle and the frame's size.
std::string CheckCropInFrame(const TCliOptions& options, int frameWidth, int frameHeight);

// Where a conversion is, for the progress line.
struct TProgress {
  std::int64_t StartMs = 0, EndMs = 0;  // the marks
  std::int64_t PositionMs = 0, DurationMs = 0;
  int Frames = 0;
  double ElapsedSeconds = 0;
};
// Percent of the marked stretch done, frames captured, position / duration, elapsed time and an
// estimate of the time left, on one line.
std::string ProgressLine(const TProgress& progress);

// Why the input name cannot be a video file to convert (missing, a folder, a FIFO, a device, a
// socket), after following links; empty for a regular file.
std::string NotAVideoFileReason(const std::string& path);

}  // namespace clipsmith
