// The written preview page in a real browser: headless Chromium loads it from disk, and a small
// harness page around it reports whether the picture loaded and what the table shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "gifbuild/gif_builder.h"
#include "gifbuild/html_preview.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

const char* const kChromium = "/usr/bin/chromium";

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t nl = s.find('\n', start);
    out.push_back(s.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) return out;
    start = nl + 1;
  }
}

// The harness frames the page and, once everything has loaded, writes into its own document the
// picture's natural size and the texts of the table's value cells, percent-encoded.
std::string HarnessPage(const std::string& pageUrl) {
  return "<!DOCTYPE html><html><body><pre id=\"result\">pending</pre>\n"
         "<iframe id=\"page\" src=\"" + pageUrl + "\" width=\"800\" height=\"600\"></iframe>\n"
         "<script>\n"
         "window.addEventListener('load', function () {\n"
         "  var out;\n"
         "  try {\n"
         "    var doc = document.getElementById('page').contentDocument;\n"
         "    var img = doc.getElementsByTagName('img')[0];\n"
         "    var cells = Array.prototype.map.call(doc.querySelectorAll('td.content'),\n"
         "                                         function (td) { return td.textContent; });\n"
         "    out = ['width=' + img.naturalWidth, 'height=' + img.naturalHeight,\n"
         "           'complete=' + img.complete].concat(cells).join('\\n');\n"
         "  } catch (e) { out = 'error=' + e; }\n"
         "  document.getElementById('result').textContent = encodeURIComponent(out);\n"
         "});\n"
         "</script></body></html>\n";
}

}  // namespace

TEST(PreviewInChromium, ThePictureLoadsAndTheTableShowsTheValues) {
  if (!std::filesystem::exists(kChromium)) GTEST_SKIP() << "no " << kChromium;

  ScratchDir work("gifbuild-chromium");
  const std::string temp = work / "tmp";
  const std::string clips = work / "Clips & more #2 für dich";
  std::filesystem::create_directories(temp);
  std::filesystem::create_directories(clips);
  ScopedEnv tmpdir("TMPDIR", temp);
  ScopedEnv all("LC_ALL", "C");

  TSkGIF gif;
  AddHandmadeFrame(*gif.FGIFImg, 12, 8);
  AddHandmadeFrame(*gif.FGIFImg, 12, 8);
  gif.GIFFileName = clips + "/Tom & Jerry 100%.gif";
  gif.GIFWidth = 12;
  gif.GIFHeight = 8;
  gif.Loops = 2;
  gif.SaveToDisk();
  std::vector<std::string> opened;
  gif.Opener.Attempts = {[&opened](const std::string& p) {
    opened.push_back(p);
    return true;
  }};
  gif.MakeGIFPreview();
  ASSERT_EQ(opened.size(), 1u);

  const std::string harness = work / "harness.html";
  WriteText(harness, HarnessPage(FileUrl(opened[0])));
  const std::string profile = work / "profile";
  const std::string dump = work / "dom.txt";
  const std::string cmd = std::string("timeout 120 ") + kChromium +
                          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                          " --disable-background-networking --disable-component-update --disable-sync"
                          " --allow-file-access-from-files --user-data-dir='" + profile + "' --dump-dom '" +
                          FileUrl(harness) + "' > '" + dump + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

  const std::string dom = ReadText(dump);
  const std::string open = "<pre id=\"result\">";
  std::size_t a = dom.find(open);
  ASSERT_NE(a, std::string::npos) << dom;
  a += open.size();
  std::size_t b = dom.find("</pre>", a);
  ASSERT_NE(b, std::string::npos) << dom;
  const std::vector<std::string> result = SplitLines(PercentDecode(dom.substr(a, b - a)));

  const std::vector<std::string> expected = {
      "width=12", "height=8", "complete=true", gif.GIFFileName, "0 KB", "12  pixels", "8 Pixels",
      "2 times  (0 means loop forever)", "2",
  };
  EXPECT_EQ(result, expected);
}
