#include "gifbuild/html_preview.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "graphics/stream.h"
#include "replace_file.h"

namespace clipsmith {

namespace fs = std::filesystem;

const std::vector<std::string>& PreviewTemplate() {
  static const std::vector<std::string> lines = {
      R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">)",
      R"(<html xmlns="http://www.w3.org/1999/xhtml">)",
      R"(<head>)",
      R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8" />)",
      R"(<meta http-equiv="expires" content="0" />)",
      R"(<meta http-equiv="cache-control" content="no-cache" />)",
      R"(<meta http-equiv="pragma" content="no-cache" />)",
      R"(<title>GIF Image Preview</title>)",
      R"(<style>)",
      R"(body {background-color:#EAF2EE; font-family: Tahoma, Helvetica, sans-serif; font-size: 14px; color: #555555; line-height: 200%;})",
      R"(table {background-color: #EAF2EE; border: 3px solid #D3E0DC; border-spacing: 2px;})",
      R"(.title { text-align:right; font-weight: bold; width: 200px; background-color: #D3E0DC; padding-right: 10px;})",
      R"(.content { text-align: left; background-color: #D3E0DC; padding-left: 10px;})",
      R"(.style1 {color: #FF0000; font-size: 16px;})",
      R"(</style>)",
      R"(</head>)",
      R"(<body>)",
      R"(<table width="70%" height="{{GIFTableName}}" align="center">)",
      R"(    <tr><td align="center"><img src="file:///{{GIFName}}"></td></tr>)",
      R"(</table><br />)",
      R"(<table width="70%" align="center">)",
      R"(    <tr>)",
      R"(        <td class="title">File Name:</td>)",
      R"(        <td class="content">{{GIFName}}</td>)",
      R"(    </tr>)",
      R"(    <tr>)",
      R"(        <td class="title">File Size:</td>)",
      R"(        <td class="content">{{GIFSize}}</td>)",
      R"(    </tr>)",
      R"(    <tr>)",
      R"(        <td class="title">GIF Width:</td>)",
      R"(        <td class="content">{{GIFWidth}}  pixels</td>)",
      R"(    </tr>)",
      R"(    <tr>)",
      R"(        <td class="title">GIF Height:</td>)",
      R"(        <td class="content">{{GIFHeight}} Pixels</td>)",
      R"(    </tr>)",
      R"(    <tr>)",
      R"(        <td class="title">Loop:</td>)",
      R"(        <td class="content">{{GIFLoops}} times  (0 means loop forever)</td>)",
      R"(    </tr>)",
      R"(    <tr>)",
      R"(        <td class="title">Total Frames:</td>)",
      R"(        <td class="content">{{GIFTotalFrames}}</td>)",
      R"(    </tr>)",
      R"(</table>)",
      R"()",
      R"(</body>)",
      R"(</html>)",
  };
  return lines;
}

namespace {

// Position of needle in text, ASCII letters compared without case; npos when absent.
std::size_t FindNoCase(const std::string& text, const std::string& needle, std::size_t from = 0) {
  auto lower = [](unsigned char c) { return char(std::tolower(c)); };
  if (needle.size() > text.size()) return std::string::npos;
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    bool same = true;
    for (std::size_t j = 0; j < needle.size() && same; ++j) same = lower(text[i + j]) == lower(needle[j]);
    if (same) return i;
  }
  return std::string::npos;
}

void ReplaceFirst(std::vector<std::string>& lines, std::size_t line, const std::string& placeholder,
                  const std::string& value) {
  if (line >= lines.size()) return;
  std::string& text = lines[line];
  std::size_t at = FindNoCase(text, placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), value);
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FileUrl(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  std::string p = ec ? path : absolute.string();
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : p) {
    if (std::isalnum(c) && c < 0x80) {
      out += char(c);
    } else if (c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::vector<std::string> FillPreviewTemplate(std::vector<std::string> lines, const TPreviewValues& values) {
  ReplaceFirst(lines, 17, "{{GIFTableName}}", std::to_string(values.GIFHeight + 30));

  // The template writes the scheme in front of the name; a bare path there resolves on no
  // browser here once it has a blank, '#', '%' or a non-ASCII letter, so the whole reference
  // becomes the file's URL.
  if (lines.size() > 18) {
    std::string& text = lines[18];
    const std::string placeholder = "{{GIFName}}";
    const std::string scheme = "file:///";
    std::size_t at = FindNoCase(text, placeholder);
    if (at != std::string::npos) {
      std::size_t start = at, length = placeholder.size();
      if (at >= scheme.size() && FindNoCase(text.substr(at - scheme.size(), scheme.size()), scheme) == 0) {
        start -= scheme.size();
        length += scheme.size();
      }
      text.replace(start, length, FileUrl(values.GIFFileName));
    }
  }

  // Shown as text: a name with '<' or '&' must stay text.
  ReplaceFirst(lines, 23, "{{GIFName}}", HtmlEscape(values.GIFFileName));
  ReplaceFirst(lines, 27, "{{GIFSize}}", values.SizeText);
  ReplaceFirst(lines, 31, "{{GIFWidth}}", std::to_string(values.GIFWidth));
  ReplaceFirst(lines, 35, "{{GIFHeight}}", std::to_string(values.GIFHeight));
  ReplaceFirst(lines, 39, "{{GIFLoops}}", std::to_string(values.Loops));
  ReplaceFirst(lines, 43, "{{GIFTotalFrames}}", std::to_string(values.TotalFrames));
  return lines;
}

std::string PreviewPageBytes(const std::vector<std::string>& lines) {
  std::string out = "\xEF\xBB\xBF";
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void WritePreviewPage(const std::string& pagePath, const std::vector<std::string>& lines) {
  std::string bytes = PreviewPageBytes(lines);
  // The folder is private, but the name is fixed: never write through whatever stands there.
  detail::ReplaceFileWith(pagePath, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                          /*followLink=*/false);
}

namespace detail {

std::string ChooseTempDir(const std::string& systemTemp) {
  std::error_code ec;
  std::string dir = systemTemp;
  if (dir.empty() || !fs::is_directory(dir, ec)) dir = fs::is_directory("/tmp", ec) ? "/tmp" : "";
  if (dir.empty()) return GetAppDir();
  if (dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace detail

std::string GetTempDir() {
  std::error_code ec;
  fs::path p = fs::temp_directory_path(ec);
  return detail::ChooseTempDir(ec ? std::string() : p.string());
}

std::string GetPreviewDir() {
  // A fixed name in a folder every user can write to is an invitation: another user could have
  // put a link there to a file of ours. Only a folder that is our own and closed to others is
  // used.
  const std::string dir = GetTempDir() + "clipsmith-" + std::to_string(::getuid());
  auto refuse = [&dir](const std::string& reason) -> std::string {
    throw EFOpenError("Cannot use folder \"" + dir + "\". " + reason);
  };
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) refuse(std::strerror(errno));
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) refuse(std::strerror(errno));
  if (S_ISLNK(st.st_mode)) refuse("It is a symbolic link");
  if (!S_ISDIR(st.st_mode)) refuse("It is not a folder");
  if (st.st_uid != ::getuid()) refuse("It belongs to another user");
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) refuse(std::strerror(errno));
  return dir + "/";
}

std::string PreviewPagePath() { return GetPreviewDir() + kPreviewFileName; }

std::string GetAppDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  std::string dir;
  if (!ec) dir = exe.parent_path().string();
  if (dir.empty()) dir = fs::current_path(ec).string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

namespace {

// Counts what is written and keeps none of it: the size of a long clip's file without its bytes
// in memory.
class TCountingStream final : public TStream {
 public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t count) override {
    FCount += std::int64_t(count);
    return count;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FCount; }
  std::int64_t Size() override { return FCount; }

 private:
  std::int64_t FCount = 0;
};

}  // namespace

std::string GetGIFSizeText(TGIFImage& image) {
  TCountingStream encoded;
  image.SaveToStream(encoded);
  return FormatGIFSize(encoded.Size(), UserNumberSeparators());
}

}  // namespace clipsmith
