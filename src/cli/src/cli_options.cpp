#include "cli/cli_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cfenv>
#include <cstdio>
#include <charconv>
#include <cmath>
#include <limits>

namespace clipsmith {

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::optional<std::int64_t> ParseDigits(std::string_view s, std::int64_t max) {
  if (!AllDigits(s)) return std::nullopt;
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || v > max) return std::nullopt;
  return v;
}

// Digits that are well formed but too large are out of range, not malformed.
enum class TNumber { Ok, Malformed, OutOfRange };
TNumber ClassifyDigits(std::string_view s, std::int64_t min, std::int64_t max, std::int64_t& v) {
  if (!AllDigits(s)) return TNumber::Malformed;
  auto parsed = ParseDigits(s, std::numeric_limits<std::int64_t>::max());
  if (!parsed || *parsed < min || *parsed > max) return TNumber::OutOfRange;
  v = *parsed;
  return TNumber::Ok;
}

std::string Range(std::int64_t min, std::int64_t max) { return std::to_string(min) + ".." + std::to_string(max); }

// Fraction digits after a decimal point, as milliseconds (at most three digits).
std::optional<std::int64_t> ParseMillis(std::string_view s) {
  if (s.empty() || s.size() > 3 || !AllDigits(s)) return std::nullopt;
  std::int64_t v = *ParseDigits(s, 999);
  for (std::size_t i = s.size(); i < 3; ++i) v *= 10;
  return v;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t p = s.find(sep, start);
    parts.push_back(s.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
    if (p == std::string_view::npos) break;
    start = p + 1;
  }
  return parts;
}

}  // namespace

constexpr std::int64_t kMaxSeconds = 1000LL * 3600;  // far beyond any video

namespace {

std::optional<std::int64_t> ParseTimeUpTo(std::string_view text, std::int64_t maxSeconds) {
  std::string_view whole = text, frac;
  if (auto dot = text.find('.'); dot != std::string_view::npos) {
    whole = text.substr(0, dot);
    frac = text.substr(dot + 1);
    if (frac.empty()) return std::nullopt;
  }
  std::int64_t ms = 0;
  if (!frac.empty()) {
    auto m = ParseMillis(frac);
    if (!m) return std::nullopt;
    ms = *m;
  }
  auto parts = Split(whole, ':');
  if (parts.size() == 1) {
    auto s = ParseDigits(parts[0], maxSeconds);
    if (!s) return std::nullopt;
    return *s * 1000 + ms;
  }
  if (parts.size() > 3) return std::nullopt;
  // MM:SS or HH:MM:SS: seconds (and minutes after hours) below 60, two digits
  std::int64_t total = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bool first = i == 0;
    if (!first && parts[i].size() != 2) return std::nullopt;
    auto v = ParseDigits(parts[i], first ? maxSeconds : 59);
    if (!v) return std::nullopt;
    total = total * 60 + *v;
  }
  if (total > maxSeconds) return std::nullopt;
  return total * 1000 + ms;
}

}  // namespace

std::optional<std::int64_t> ParseTime(std::string_view text) { return ParseTimeUpTo(text, kMaxSeconds); }

std::string UsageText() {
  return "Usage: clipsmith-cli [options] INPUT OUTPUT.gif\n"
         "       clipsmith-cli --info INPUT\n"
         "  --start TIME      start mark (default 0)\n"
         "  --end TIME        end mark (default: the end of the video)\n"
         "  --step N          frame step, as the Frame Step field (default " +
         std::to_string(TOptionDefaults::FrameStep) + "; 0 and 1 take every frame)\n"
         "  --crop X,Y,W,H    crop rectangle in source pixels (default: none)\n"
         "  --size WxH        output size; \"Wx\" or \"xH\" keeps the proportions of the crop or the source\n"
         "  --loop N          loop count as the Loop field, 0 = forever (default " +
         std::to_string(TOptionDefaults::Loops) + ")\n"
         "  --delay MS        frame delay in milliseconds (default " + std::to_string(TOptionDefaults::Delay) + ")\n"
         "  --gray            a GIF of 256 greys, as the \"256 grayscale GIF image\" box\n"
         "  --preview         also write the HTML preview page and open it in the browser\n"
         "  --no-open         with --preview: write the page, print its path, open nothing\n"
         "  -q, --quiet       no progress line (it is shown only when standard error is a terminal)\n"
         "  -h, --help        this text\n"
         "  --version         the program's version\n"
         "  --                ends the options: every argument after it is a file name\n"
         "TIME is seconds (12, 12.5) or [HH:]MM:SS[.mmm]. --loop takes 0..65536 and --delay 0..655359,\n"
         "what the GIF's 16-bit fields hold.\n";
}

std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& out) {
  out = TCliOptions{};
  std::vector<std::string> positional;
  constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded) {
      positional.push_back(a);
      continue;
    }
    auto value = [&](std::string& v) -> std::string {
      if (i + 1 >= args.size()) return "option " + a + " needs a value";
      v = args[++i];
      return "";
    };
    std::string v, err;
    if (a == "--") {
      optionsEnded = true;
    } else if (a == "-h" || a == "--help") {
      out.Help = true;
    } else if (a == "--version") {
      out.Version = true;
    } else if (a == "--info") {
      out.Info = true;
    } else if (a == "--preview") {
      out.Preview = true;
    } else if (a == "--no-open") {
      out.NoOpen = true;
    } else if (a == "--gray" || a == "--grey") {
      out.Gray = true;
    } else if (a == "-q" || a == "--quiet") {
      out.Quiet = true;
    } else if (a == "--start" || a == "--end") {
      if (!(err = value(v)).empty()) return err;
      auto t = ParseTime(v);
      if (!t && ParseTimeUpTo(v, std::numeric_limits<std::int64_t>::max() / 3600000 / 2))
        return "time out of range for " + a + ": \"" + v + "\" (at most " + std::to_string(kMaxSeconds / 3600) +
               " hours)";
      if (!t) return "malformed time for " + a + ": \"" + v + "\"";
      if (a == "--start") {
        out.StartMs = *t;
      } else {
        out.EndMs = *t;
      }
    } else if (a == "--step" || a == "--loop" || a == "--delay") {
      if (!(err = value(v)).empty()) return err;
      // The loop count is stored less one (0 stays "forever"), the delay in hundredths of a
      // second, both in 16 bits.
      const std::int64_t max = a == "--loop" ? kMaxLoops : a == "--delay" ? kMaxDelayMs : kIntMax;
      std::int64_t n = 0;
      switch (ClassifyDigits(v, 0, max, n)) {
        case TNumber::Malformed:
          return "malformed number for " + a + ": \"" + v + "\"";
        case TNumber::OutOfRange:
          return "value out of range for " + a + ": \"" + v + "\" (must lie in " + Range(0, max) + ")";
        case TNumber::Ok:
          break;
      }
      (a == "--step" ? out.Step : a == "--loop" ? out.Loop : out.Delay) = int(n);
    } else if (a == "--crop") {
      if (!(err = value(v)).empty()) return err;
      auto parts = Split(v, ',');
      if (parts.size() != 4) return "malformed crop rectangle \"" + v + "\": expected X,Y,W,H";
      std::int64_t n[4];
      for (int k = 0; k < 4; ++k)
        if (!AllDigits(parts[std::size_t(k)])) return "malformed crop rectangle \"" + v + "\": expected X,Y,W,H";
      for (int k = 0; k < 4; ++k) {
        const bool side = k >= 2;
        if (ClassifyDigits(parts[std::size_t(k)], side ? 1 : 0, side ? 65535 : kIntMax, n[k]) != TNumber::Ok)
          return side ? "crop width and height out of range: \"" + v + "\" (must lie in 1..65535)"
                      : "crop position out of range: \"" + v + "\" (must lie in " + Range(0, kIntMax) + ")";
      }
      out.Crop = true;
      out.CropX = int(n[0]), out.CropY = int(n[1]), out.CropW = int(n[2]), out.CropH = int(n[3]);
    } else if (a == "--size") {
      if (!(err = value(v)).empty()) return err;
      auto x = v.find('x');
      if (x == std::string::npos || v.find('x', x + 1) != std::string::npos)
        return "malformed size \"" + v + "\": expected WxH, Wx or xH";
      std::string_view w = std::string_view(v).substr(0, x), h = std::string_view(v).substr(x + 1);
      if (w.empty() && h.empty()) return "malformed size \"" + v + "\": expected WxH, Wx or xH";
      out.SizeW.reset();
      out.SizeH.reset();
      for (auto [text, slot] : {std::pair{w, &out.SizeW}, std::pair{h, &out.SizeH}}) {
        if (text.empty()) continue;
        std::int64_t d = 0;
        switch (ClassifyDigits(text, 1, 65535, d)) {
          case TNumber::Malformed:
            return "malformed size \"" + v + "\": expected WxH, Wx or xH";
          case TNumber::OutOfRange:
            return "size out of range: \"" + v + "\" (must lie in 1..65535)";
          case TNumber::Ok:
            break;
        }
        *slot = int(d);
      }
      out.Resize = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else {
      positional.push_back(a);
    }
  }
  if (out.Help || out.Version) return "";
  if (out.Info) {
    if (positional.size() != 1) return "--info takes exactly one INPUT";
    out.Input = positional[0];
    if (out.Input.empty()) return "the input name is empty";
    return "";
  }
  if (positional.size() != 2) return "expected INPUT and OUTPUT.gif";
  out.Input = positional[0];
  out.Output = positional[1];
  if (out.Input.empty()) return "the input name is empty";
  if (out.Output.empty()) return "the output name is empty";
  if (out.EndMs && *out.EndMs <= out.StartMs) return "the end mark must come after the start mark";
  if (out.NoOpen && !out.Preview) return "--no-open needs --preview";
  return "";
}

std::string CheckCropInFrame(const TCliOptions& options, int frameWidth, int frameHeight) {
  if (!options.Crop) return "";
  // A rectangle partly outside keeps the black border the window gives it; one with no pixel of
  // the frame in it would only be black.
  const std::int64_t x = options.CropX, y = options.CropY;
  if (x < frameWidth && y < frameHeight) return "";
  return "the crop rectangle " + std::to_string(options.CropX) + "," + std::to_string(options.CropY) + "," +
         std::to_string(options.CropW) + "," + std::to_string(options.CropH) + " lies wholly outside the " +
         std::to_string(frameWidth) + " x " + std::to_string(frameHeight) + " frame";
}

namespace {

std::string Clock(double seconds) {
  if (!(seconds >= 0) || seconds > 1e8) return "--:--:--";
  auto s = std::int64_t(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return buf;
}

std::string MediaTime(std::int64_t ms) {
  if (ms < 0) ms = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return buf;
}

}  // namespace

std::string ProgressLine(const TProgress& p) {
  double done = 0;
  if (p.EndMs > p.StartMs) done = double(p.PositionMs - p.StartMs) / double(p.EndMs - p.StartMs);
  done = std::clamp(done, 0.0, 1.0);
  std::string left = done > 0 ? Clock(p.ElapsedSeconds * (1 - done) / done) : "--:--:--";
  char buf[200];
  std::snprintf(buf, sizeof buf, "%3d%%  %d frames  %s / %s  elapsed %s  left %s", int(done * 100), p.Frames,
                MediaTime(p.PositionMs).c_str(), MediaTime(p.DurationMs).c_str(), Clock(p.ElapsedSeconds).c_str(),
                left.c_str());
  return buf;
}

std::string NotAVideoFileReason(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISREG(st.st_mode)) return {};
  if (S_ISDIR(st.st_mode)) return "is a folder, not a video file";
  if (S_ISFIFO(st.st_mode)) return "is a FIFO (named pipe), not a regular file";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "is a device, not a regular file";
  if (S_ISSOCK(st.st_mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

}  // namespace clipsmith
