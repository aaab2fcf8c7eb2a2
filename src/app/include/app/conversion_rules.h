// The conversion's rules that the window and the command line share: how a field's text becomes
// a number, the output name rule, the proportional size link and the options' defaults. Header
// only and without Qt, so that the command line's option parser includes it as well.
#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

namespace clipsmith {

// The option fields as a fresh window shows them (and a command line that does not name them),
// and what an unreadable field counts as.
struct TOptionDefaults {
  static constexpr int FrameStep = 2;
  static constexpr int Loops = 0;  // forever
  static constexpr int Delay = 100;  // milliseconds
  static constexpr int CropLeft = 0;
  static constexpr int CropTop = 0;
  // The crop and size fields until a video is loaded, which puts its frame size there.
  static constexpr int Side = 1;
  // An empty or malformed field: every second frame, played once, 100 ms.
  static constexpr int FrameStepFallback = 2;
  static constexpr int LoopsFallback = 1;
  static constexpr int DelayFallback = 100;
};

// The integer of a field as the number conversion reads it: optional blanks around an optional
// sign and decimal digits, within 32 bits. StrToInt raises EConvertError otherwise.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace rules_detail {
inline std::optional<int> ParseInt(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b < e && text[b] == '+') ++b;
  int v = 0;
  auto [p, ec] = std::from_chars(text.data() + b, text.data() + e, v);
  if (b == e || ec != std::errc() || p != text.data() + e) return std::nullopt;
  return v;
}
}  // namespace rules_detail

inline int StrToInt(const std::string& text) {
  auto v = rules_detail::ParseInt(text);
  if (!v) throw EConvertError("'" + text + "' is not a valid integer value");
  return *v;
}

inline int StrToIntDef(const std::string& text, int fallback) {
  return rules_detail::ParseInt(text).value_or(fallback);
}

// The output file rule: a name whose lower-cased extension is not ".gif" gets ".gif" appended.
inline std::string WithGifExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".gif" ? path : path + ".gif";
}

// The other side of a linked size: value / from × to, rounded to the nearest integer with ties
// to even (the default rounding mode); none when it cannot be computed.
inline std::optional<int> ProportionalSize(int value, int from, int to) {
  if (from == 0) return std::nullopt;
  double r = double(value) / double(from) * double(to);
  if (!std::isfinite(r)) return std::nullopt;
  double n = std::nearbyint(r);
  if (n < double(std::numeric_limits<int>::min()) || n > double(std::numeric_limits<int>::max())) return std::nullopt;
  return int(n);
}

}  // namespace clipsmith
