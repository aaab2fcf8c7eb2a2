// The HTML page that shows a finished GIF with its size, dimensions, play count and frame count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_image.h"

namespace clipsmith {

inline constexpr const char* kPreviewFileName = "GIF-Preview.html";

// The page template, one string per line, 49 lines.
const std::vector<std::string>& PreviewTemplate();

// What the template is filled with.
struct TPreviewValues {
  std::string GIFFileName;  // the output file as stored by the builder
  std::string SizeText;     // GetGIFSizeText
  int GIFWidth = 0;
  int GIFHeight = 0;
  int Loops = 0;  // the play count as typed
  int TotalFrames = 0;
};

// Replaces, on each line that carries one, the first occurrence of that line's placeholder
// (letter case ignored). Inserted text is never searched again. The image source becomes the
// file URL of the GIF; the file name shown as text is HTML-escaped.
std::vector<std::string> FillPreviewTemplate(std::vector<std::string> lines, const TPreviewValues& values);

// The bytes of the page: UTF-8 byte-order mark, then every line followed by CR LF.
std::string PreviewPageBytes(const std::vector<std::string>& lines);

// Writes the page as a new file renamed over an earlier one once complete; a link at pagePath is
// replaced, never followed. Raises the stream errors naming the page when it cannot be written.
void WritePreviewPage(const std::string& pagePath, const std::vector<std::string>& lines);

// The temporary folder, ending with "/": $TMPDIR (or the system default), /tmp when that is not
// a folder, and the program's own folder when neither is.
std::string GetTempDir();
// The user's private folder for the preview page, ending with "/": "clipsmith-<uid>" in the
// temporary folder, made with mode 0700 when missing. One that is a link or not a folder, or
// belongs to someone else, is refused (EFOpenError naming it); group and other access to our
// own is taken away.
std::string GetPreviewDir();
// GetPreviewDir() + kPreviewFileName.
std::string PreviewPagePath();
// The folder of the running executable, ending with "/".
std::string GetAppDir();

// The size of the image as the GIF writer encodes it: "<K> KB" below 1024 KB, otherwise
// megabytes with two decimals, thousands grouped, in the user's number format.
std::string GetGIFSizeText(TGIFImage& image);

// Number separators of the user's locale.
struct TNumberSeparators {
  std::string Decimal = ".";
  std::string Thousands = ",";
  friend bool operator==(const TNumberSeparators&, const TNumberSeparators&) = default;
};
// From LC_ALL, LC_NUMERIC or LANG, the first one set. The C and POSIX locales, and a locale that
// is not installed, give the English separators. The text is UTF-8.
TNumberSeparators UserNumberSeparators();
// The size rule of GetGIFSizeText for a byte count.
std::string FormatGIFSize(std::int64_t bytes, const TNumberSeparators& separators);

// `file://` URL of the absolute form of path, with every byte outside the unreserved URL
// characters and "/" percent-encoded.
std::string FileUrl(const std::string& path);
// `&`, `<`, `>` and `"` as character references.
std::string HtmlEscape(const std::string& text);

namespace detail {
// The choice GetTempDir makes once it has asked the system (an empty answer when it had none).
std::string ChooseTempDir(const std::string& systemTemp);
}  // namespace detail

}  // namespace clipsmith
