// The command line of clipsmith-cli, parsed into the values the window's fields would hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace clipsmith {

struct TCliOptions {
  bool Help = false;
  bool Version = false;
  bool Info = false;
  bool Preview = false;
  bool NoOpen = false;
  bool Quiet = false;
  std::string Input;
  std::string Output;
  // Marks in milliseconds; the end defaults to the end of the video.
  std::int64_t StartMs = 0;
  std::optional<std::int64_t> EndMs;
  // The texts of the Frame Step, Loop and Delay fields.
  std::string Step = "2";
  std::string Loop = "0";
  std::string Delay = "100";
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

// The other side of a linked size: value / from × to, rounded to the nearest integer with ties
// to even, as the window's proportional size link computes it; none when it cannot be computed.
std::optional<int> ProportionalSize(int value, int from, int to);

std::string UsageText();

}  // namespace clipsmith
