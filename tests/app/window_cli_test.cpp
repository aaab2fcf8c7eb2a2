// The window and clipsmith-cli run the same job: for the same clip, marks and option values the
// two write the same bytes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "form_harness.h"

using namespace clipsmith;
using namespace clipsmith::apptest;

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

TEST(WindowAndCli, SameOptionsSameBytes) {
  struct Case {
    const char* Label;
    // The window: marks in seek-bar units, then the fields as the user fills them in.
    int SelStart, SelEnd;
    const char* Step;
    bool Crop;
    int X, Y, W, H;
    bool Resize;
    int GifW, GifH;
    const char* Loops;
    const char* Delay;
    bool Gray;
    // The command line's options for the same.
    std::vector<std::string> Options;
  };
  const Case cases[] = {
      {"defaults", 0, 200, "2", false, 0, 0, 64, 48, false, 64, 48, "0", "100", false, {}},
      {"range and step 3", 30, 120, "3", false, 0, 0, 64, 48, false, 64, 48, "2", "70", false,
       {"--start", "0.3", "--end", "1.2", "--step", "3", "--loop", "2", "--delay", "70"}},
      {"crop", 40, 100, "1", true, 8, 4, 40, 30, false, 64, 48, "0", "100", false,
       {"--start", "0.4", "--end", "1", "--step", "1", "--crop", "8,4,40,30"}},
      {"crop and size", 0, 80, "0", true, 50, 30, 30, 30, true, 17, 23, "1", "40", false,
       {"--end", "0.8", "--step", "0", "--crop", "50,30,30,30", "--size", "17x23", "--loop", "1", "--delay", "40"}},
      {"size", 100, 200, "2", false, 0, 0, 64, 48, true, 96, 72, "0", "100", false, {"--start", "1", "--size", "96x72"}},
      {"grey", 30, 120, "3", false, 0, 0, 64, 48, false, 64, 48, "0", "100", true,
       {"--start", "0.3", "--end", "1.2", "--step", "3", "--gray"}},
      {"grey, crop and size", 0, 80, "2", true, 8, 4, 40, 30, true, 20, 15, "0", "100", true,
       {"--end", "0.8", "--crop", "8,4,40,30", "--size", "20x15", "--gray"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(c.SelStart, c.SelEnd);
    h.SetText(h.Form.EditStep, c.Step);
    h.Check(h.Form.CheckBoxCrop, c.Crop);
    if (c.Crop) {
      h.SetText(h.Form.EditLeft, std::to_string(c.X));
      h.SetText(h.Form.EditTop, std::to_string(c.Y));
      h.SetText(h.Form.EditCropW, std::to_string(c.W));
      h.SetText(h.Form.EditCropH, std::to_string(c.H));
    }
    h.Check(h.Form.CheckboxResize, c.Resize);
    if (c.Resize) {
      h.SetText(h.Form.EditGIFW, std::to_string(c.GifW));
      h.SetText(h.Form.EditGIFH, std::to_string(c.GifH));
    }
    h.SetText(h.Form.EditLooping, c.Loops);
    h.SetText(h.Form.EditDelay, c.Delay);
    h.Check(h.Form.CheckBoxGray, c.Gray);
    ASSERT_TRUE(h.MakeGif());
    ASSERT_TRUE(h.Errors.empty() && h.Reported.empty());
    const std::vector<std::uint8_t> window = ReadBytes(h.Out / "out.gif");
    ASSERT_GT(window.size(), 100u);

    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(CLIPSMITH_CLI) + " -q";
    for (const auto& o : c.Options) cmd += " " + Quote(o);
    cmd += " -- " + Quote(ClipPath(kLosslessClip)) + " " + Quote(h.Out / "cli.gif") + " >/dev/null 2>&1 </dev/null";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
    EXPECT_TRUE(ReadBytes(h.Out / "cli.gif") == window) << "the command line wrote other bytes than the window";
  }
}
