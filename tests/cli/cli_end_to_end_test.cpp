// clipsmith-cli run as a user runs it, without a display, on clips made by the ffmpeg command:
// the frames of its GIF, its exit statuses and messages, and the GIF in other programs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_test_support.h"
#include "graphics/bitmap.h"

using namespace clipsmith;
using namespace clipsmith::apptest;
namespace fs = std::filesystem;

namespace {

struct TRun {
  int Exit = -1;
  std::string Out, Err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs clipsmith-cli in dir with no display of any kind, standard output and error captured.
TRun RunCli(const std::vector<std::string>& args, const std::string& dir, const std::string& env = "") {
  TScratchDir capture("cli-capture");
  std::string cmd = "cd " + Quote(dir) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + env + " " +
                    Quote(CLIPSMITH_CLI);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " >" + Quote(capture / "out") + " 2>" + Quote(capture / "err") + " </dev/null";
  int status = std::system(cmd.c_str());
  TRun r;
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  r.Out = ReadText(capture / "out");
  r.Err = ReadText(capture / "err");
  return r;
}

std::vector<TBitmap> Frames(const std::vector<int>& indices) {
  std::vector<TBitmap> out;
  for (int i : indices) out.push_back(ReferenceFrames(kLosslessClip).at(std::size_t(i)));
  return out;
}

// The GIF holds exactly these frames: giflib shows the builder's reduction of them, pixel for
// pixel, and the file is byte for byte the one the builder writes for them.
void ExpectGifOf(const std::string& path, const std::vector<TBitmap>& frames, int loops, std::uint32_t delay) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  const std::vector<std::uint8_t> expected = BuilderGif(frames, loops, delay);
  const clipsmith::testing::DecodedGif got = clipsmith::testing::DecodeWithGiflib(bytes);
  const clipsmith::testing::DecodedGif want = clipsmith::testing::DecodeWithGiflib(expected);
  ASSERT_TRUE(got.Ok) << path << ": " << got.Error;
  ASSERT_EQ(got.Frames.size(), frames.size());
  EXPECT_EQ(got.ScreenWidth, frames.at(0).Width());
  EXPECT_EQ(got.ScreenHeight, frames.at(0).Height());
  EXPECT_TRUE(FrameColors(got) == FrameColors(want)) << "the pixels are not those of the reduced source frames";
  EXPECT_TRUE(bytes == expected) << "the file differs from the builder's";
}

// The line a successful run ends with; shown is the file's name as the user gave it.
std::string FinalLine(const std::string& shown, const std::string& path, int frames, int w, int h) {
  return shown + ": " + std::to_string(frames) + " frames, " + std::to_string(w) + " x " + std::to_string(h) + ", " +
         std::to_string(fs::file_size(path)) + " bytes\n";
}

}  // namespace

// Without crop or resize the GIF holds the reduction of exactly the frames the schedule names:
// the N-th, 2N-th, ... frame after the one the start mark shows, up to the end mark (frame 7 is
// shown at 0.28 s, the end mark 1.6 s is frame 40's time).
TEST(CliConversion, LosslessClipGivesTheReducedScheduledFrames) {
  struct Case {
    std::vector<std::string> Options;
    std::vector<int> Frames;
    int Loops;
    std::uint32_t Delay;
  };
  const Case cases[] = {
      {{}, Every(2, 48, 2), 0, 100},
      {{"--start", "0.28", "--end", "1.6", "--step", "3", "--loop", "2", "--delay", "80"}, Every(10, 37, 3), 2, 80},
      {{"--start", "00:01.600", "--step", "0", "--loop", "1"}, Every(41, 49), 1, 100},
      {{"--end", "10", "-q"}, Every(2, 48, 2), 0, 100},  // an end past the video is its end
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& o : c.Options) label += o + " ";
    SCOPED_TRACE(label);
    TScratchDir dir("cli-e2e");
    std::vector<std::string> args = c.Options;
    args.push_back(ClipPath(kLosslessClip));
    args.push_back("clip");
    const TRun r = RunCli(args, dir.Path().string());
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const std::string gif = fs::canonical(dir.Path()).string() + "/clip.gif";
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"clip.gif"});
    EXPECT_EQ(r.Out, FinalLine("clip.gif", gif, int(c.Frames.size()), 64, 48));
    ExpectGifOf(gif, Frames(c.Frames), c.Loops, c.Delay);
  }
}

TEST(CliConversion, TheSameRunTwiceGivesTheSameFile) {
  TScratchDir dir("cli-twice");
  for (const char* name : {"a.gif", "b.gif"})
    ASSERT_EQ(RunCli({"--step", "1", ClipPath(kLosslessClip), name}, dir.Path().string()).Exit, 0);
  const auto a = ReadBytes(dir / "a.gif");
  EXPECT_GT(a.size(), 1000u);
  EXPECT_TRUE(a == ReadBytes(dir / "b.gif"));
}

// Crop and size map onto the window's fields: a crop alone gives the crop's size, a size with
// one side open keeps the proportions of the crop (or of the frame), rounded to the nearest.
TEST(CliConversion, CropAndSizeAsTheWindowsFields) {
  struct Case {
    std::vector<std::string> Options;
    int X, Y, W, H, GifW, GifH;
  };
  const Case cases[] = {
      {{"--crop", "8,4,40,30"}, 8, 4, 40, 30, 40, 30},
      {{"--crop", "8,4,40,30", "--size", "20x"}, 8, 4, 40, 30, 20, 15},
      {{"--size", "x20"}, 0, 0, 64, 48, 27, 20},  // 26.67
      {{"--crop", "56,40,16,16", "--size", "9x7"}, 56, 40, 16, 16, 9, 7},  // partly outside: black there
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& o : c.Options) label += o + " ";
    SCOPED_TRACE(label);
    TScratchDir dir("cli-crop");
    std::vector<std::string> args = c.Options;
    for (const char* a : {"--start", "0.3", "--end", "0.5"}) args.push_back(a);  // frames 9 and 11
    args.push_back(ClipPath(kLosslessClip));
    args.push_back("c.gif");
    const TRun r = RunCli(args, dir.Path().string());
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, FinalLine("c.gif", dir / "c.gif", 2, c.GifW, c.GifH));
    std::vector<TBitmap> expected;
    for (const TBitmap& f : Frames({9, 11})) expected.push_back(CropAndScaleByHand(f, c.X, c.Y, c.W, c.H, c.GifW, c.GifH));
    ExpectGifOf(dir / "c.gif", expected, 0, 100);
  }
}

// Exit status 2 for what the user typed wrong, 1 for a conversion that failed, each with a
// one-line message saying what; a failed run leaves no GIF, not even a partial one, and an
// existing file keeps its content.
TEST(CliExitStatus, UsageErrorsAndFailedConversions) {
  const std::string clip = ClipPath(kLosslessClip);
  struct Case {
    std::vector<std::string> Args;
    int Exit;
    std::string Message;  // the first line of standard error
  };
  const Case cases[] = {
      {{"--bogus", clip, "o.gif"}, 2, "clipsmith-cli: unknown option --bogus"},
      {{"--start", "1:2", clip, "o.gif"}, 2, "clipsmith-cli: malformed time for --start: \"1:2\""},
      {{"--end", "1.5s", clip, "o.gif"}, 2, "clipsmith-cli: malformed time for --end: \"1.5s\""},
      {{"--step", "two", clip, "o.gif"}, 2, "clipsmith-cli: malformed number for --step: \"two\""},
      {{"--crop", "0,0,0,5", clip, "o.gif"}, 2,
       "clipsmith-cli: crop width and height out of range: \"0,0,0,5\" (must lie in 1..65535)"},
      {{"--crop", "0,0,5,65536", clip, "o.gif"}, 2,
       "clipsmith-cli: crop width and height out of range: \"0,0,5,65536\" (must lie in 1..65535)"},
      // The 64 x 48 clip: a rectangle with no pixel of the frame in it.
      {{"--crop", "64,0,10,10", clip, "o.gif"}, 2,
       "clipsmith-cli: the crop rectangle 64,0,10,10 lies wholly outside the 64 x 48 frame"},
      {{"--crop", "400,300,50,50", clip, "o.gif"}, 2,
       "clipsmith-cli: the crop rectangle 400,300,50,50 lies wholly outside the 64 x 48 frame"},
      // What the GIF's 16-bit fields cannot hold.
      {{"--loop", "65537", clip, "o.gif"}, 2,
       "clipsmith-cli: value out of range for --loop: \"65537\" (must lie in 0..65536)"},
      {{"--delay", "655360", clip, "o.gif"}, 2,
       "clipsmith-cli: value out of range for --delay: \"655360\" (must lie in 0..655359)"},
      {{clip, ""}, 2, "clipsmith-cli: the output name is empty"},
      {{"--start", "1", "--end", "0.5", clip, "o.gif"}, 2, "clipsmith-cli: the end mark must come after the start mark"},
      {{"--start", "3", clip, "o.gif"}, 2,
       "clipsmith-cli: the start mark 00:00:03.000 is not before the end of the video (00:00:02.000)"},
      // Both marks fall into the same 10 ms unit of the seek bar.
      {{"--start", "1.005", "--end", "1.009", clip, "o.gif"}, 2,
       "clipsmith-cli: the end mark 00:00:01.009 does not come after the start mark 00:00:01.005 in steps of 10 ms"},
      {{clip}, 2, "clipsmith-cli: expected INPUT and OUTPUT.gif"},
      {{"missing.mkv", "o.gif"}, 1, "clipsmith-cli: missing.mkv: No such file or directory"},
      {{ClipPath(kNotAVideo), "o.gif"}, 1,
       "clipsmith-cli: " + ClipPath(kNotAVideo) + ": Cannot play back the file. The format is not supported."},
      {{"--start", "1.99", clip, "o.gif"}, 1, "clipsmith-cli: Cannot save empty GIF"},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& a : c.Args) label += a + " ";
    SCOPED_TRACE(label);
    TScratchDir dir("cli-exit");
    const TRun r = RunCli(c.Args, dir.Path().string());
    EXPECT_EQ(r.Exit, c.Exit);
    EXPECT_EQ(r.Err.substr(0, r.Err.find('\n')), c.Message);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
  }
}

TEST(CliExitStatus, AnOutputThatCannotBeWrittenIsNamedWithTheReason) {
  TScratchDir dir("cli-unwritable");
  const std::string target = dir / "no such folder/o.gif";
  TRun r = RunCli({ClipPath(kLosslessClip), target}, dir.Path().string());
  EXPECT_EQ(r.Exit, 1);
  EXPECT_NE(r.Err.find(target), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("No such file or directory"), std::string::npos) << r.Err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});

  // A failed run over an existing GIF leaves it as it was.
  const std::string existing = dir / "keep.gif";
  std::ofstream(existing) << "earlier file";
  r = RunCli({"--start", "1.99", ClipPath(kLosslessClip), existing}, dir.Path().string());
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(ReadText(existing), "earlier file");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.gif"});
}

TEST(CliExitStatus, InfoHelpAndVersion) {
  TScratchDir dir("cli-info");
  TRun r = RunCli({"--info", ClipPath(kLosslessClip)}, dir.Path().string());
  EXPECT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, "Frame: 64 x 48\nDuration: 00:00:02.000\nFrame rate: 25.000 fps\n");
  r = RunCli({"--help"}, dir.Path().string());
  EXPECT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out.rfind("Usage: clipsmith-cli [options] INPUT OUTPUT.gif\n", 0), 0u) << r.Out;
  r = RunCli({"--version"}, dir.Path().string());
  EXPECT_EQ(r.Exit, 0);
  EXPECT_EQ(r.Out, "clipsmith-cli 4.0\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

// --preview --no-open writes the page into the temporary folder and prints where.
TEST(CliConversion, PreviewPageWithoutOpening) {
  TScratchDir dir("cli-preview");
  fs::create_directories(dir / "tmp");
  const TRun r = RunCli({"--preview", "--no-open", "--end", "0.2", ClipPath(kLosslessClip), "p.gif"},
                        dir.Path().string(), "TMPDIR=" + Quote(dir / "tmp"));
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const std::string page = dir / ("tmp/clipsmith-" + std::to_string(::getuid()) + "/GIF-Preview.html");
  EXPECT_NE(r.Out.find("Preview: " + page + "\n"), std::string::npos) << r.Out;
  EXPECT_NE(ReadText(page).find("p.gif"), std::string::npos);
}

// The GIF opens in ffmpeg, every frame decodes, and it has the frames and size it should.
TEST(CliGifElsewhere, OpensInFfmpeg) {
  TScratchDir dir("cli-ffprobe");
  ASSERT_EQ(RunCli({ClipPath(kLosslessClip), "f.gif"}, dir.Path().string()).Exit, 0);
  const std::string probe = dir / "probe.txt";
  const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=codec_name,width,height,nb_read_frames -of default=noprint_wrappers=1 " +
                          Quote(dir / "f.gif") + " >" + Quote(probe) + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << ReadText(probe);
  EXPECT_EQ(ReadText(probe), "codec_name=gif\nwidth=64\nheight=48\nnb_read_frames=24\n");
  const std::string decode = "ffmpeg -nostdin -v error -i " + Quote(dir / "f.gif") + " -f null - 2>" + Quote(dir / "d.txt");
  EXPECT_EQ(std::system(decode.c_str()), 0);
  EXPECT_EQ(ReadText(dir / "d.txt"), "");
}

// Headless Chromium loads the GIF as a picture of the right size.
TEST(CliGifElsewhere, OpensInChromium) {
  const char* chromium = "/usr/bin/chromium";
  if (!fs::exists(chromium)) GTEST_SKIP() << "no " << chromium;
  TScratchDir dir("cli-chromium");
  ASSERT_EQ(RunCli({ClipPath(kLosslessClip), "g.gif"}, dir.Path().string()).Exit, 0);
  std::ofstream(dir / "page.html")
      << "<!DOCTYPE html><html><body><pre id=\"r\">pending</pre><img id=\"g\" src=\"g.gif\">\n"
         "<script>\nwindow.addEventListener('load', function () {\n"
         "  var g = document.getElementById('g');\n"
         "  document.getElementById('r').textContent = 'loaded ' + g.complete + ' ' + g.naturalWidth + 'x' +"
         " g.naturalHeight;\n});\n"
         "</script></body></html>\n";
  const std::string cmd = std::string("timeout 120 ") + chromium +
                          " --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking"
                          " --disable-component-update --disable-sync --allow-file-access-from-files --user-data-dir=" +
                          Quote(dir / "profile") + " --dump-dom " + Quote("file://" + (dir / "page.html")) + " >" +
                          Quote(dir / "dom.txt") + " 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_NE(ReadText(dir / "dom.txt").find("<pre id=\"r\">loaded true 64x48</pre>"), std::string::npos)
      << ReadText(dir / "dom.txt");
}

// Nothing the user did not name is overwritten: an output that is the input itself (by name,
// through a link, or a GIF read as a video) is refused and the input stays as it was.
TEST(CliExitStatus, AnOutputThatIsTheInputIsRefused) {
  TScratchDir dir("cli-same");
  const std::string gif = dir / "x.gif";
  TRun made = RunCli({"--end", "0.2", ClipPath(kLosslessClip), gif}, dir.Path().string());
  ASSERT_EQ(made.Exit, 0) << made.Err;
  const std::vector<std::uint8_t> before = ReadBytes(gif);
  fs::create_symlink(gif, dir / "link.gif");
  fs::create_hard_link(gif, dir / "hard.gif");
  struct Case {
    std::string Output, Shown;
  };
  const Case cases[] = {{gif, gif}, {"x.gif", "x.gif"}, {"./x", "./x.gif"}, {"link.gif", "link.gif"},
                        {"hard.gif", "hard.gif"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Output);
    TRun r = RunCli({gif, c.Output}, dir.Path().string());
    EXPECT_EQ(r.Exit, 1);
    EXPECT_EQ(r.Err, "clipsmith-cli: The output file \"" + c.Shown + "\" is the input file itself.\n");
    EXPECT_TRUE(ReadBytes(gif) == before);
    EXPECT_TRUE(fs::is_symlink(dir / "link.gif"));
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"hard.gif", "link.gif", "x.gif"}));
  // Another name in the same folder is no such refusal.
  TRun r = RunCli({gif, "y.gif"}, dir.Path().string());
  EXPECT_EQ(r.Err.find("is the input file itself"), std::string::npos) << r.Err;
}

// "--" ends the options, so a file whose name starts with a dash can be converted.
TEST(CliConversion, DoubleDashEndsTheOptions) {
  TScratchDir dir("cli-dashes");
  fs::copy_file(ClipPath(kLosslessClip), dir / "-clip.mkv");
  TRun r = RunCli({"-q", "--end", "0.2", "--", "-clip.mkv", "-out.gif"}, dir.Path().string());
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_TRUE(fs::exists(dir / "-out.gif"));
}

// Standard error that is not a terminal gets no progress line: a plain run says nothing there.
TEST(CliConversion, NoProgressLineWhenStandardErrorIsNotATerminal) {
  TScratchDir dir("cli-noprogress");
  TRun r = RunCli({"--end", "0.4", ClipPath(kLosslessClip), "o.gif"}, dir.Path().string());
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out.rfind("o.gif: ", 0), 0u) << r.Out;
}

// A signal ends a run with the status a shell expects (128 + the signal) and leaves nothing: no
// GIF, no temporary file.
TEST(CliExitStatus, SignalsEndTheRunAndLeaveNoFiles) {
  // Ten seconds of 320 x 240 at every frame: the run takes seconds, the signal comes early.
  const std::string clip = ClipPath(kLongLosslessClip);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    TScratchDir dir("cli-signal");
    TScratchDir capture("cli-signal-capture");
    // The signal comes from the shell once the run has started; the conversion takes longer.
    std::string cmd = "cd " + Quote(dir.Path().string()) + " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                      Quote(CLIPSMITH_CLI) + " --step 1 " + Quote(clip) + " o.gif 2>" +
                      Quote(capture / "err") + " </dev/null & pid=$!; sleep 0.5; kill -" + std::to_string(sig) +
                      " $pid; wait $pid; echo $? > " + Quote(capture / "status");
    ASSERT_EQ(std::system(("sh -c " + Quote(cmd)).c_str()), 0);
    const std::string status = ReadText(capture / "status");
    // A run that was already done when the signal came is fine too, as long as it is whole.
    if (status == "0\n") {
      EXPECT_EQ(dir.Entries(), std::vector<std::string>{"o.gif"});
      continue;
    }
    EXPECT_EQ(status, std::to_string(128 + sig) + "\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
  }
}

// On a terminal the progress line is redrawn in place and erased at the end; the summary line
// follows on a clean line. (script gives the run a terminal.)
TEST(CliConversion, ProgressLineOnATerminal) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script command";
  TScratchDir dir("cli-progress");
  TScratchDir capture("cli-progress-capture");
  const std::string run = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(CLIPSMITH_CLI) +
                          " --end 1 " + Quote(ClipPath(kLosslessClip)) + " o.gif";
  const std::string cmd = "cd " + Quote(dir.Path().string()) + " && script -qefc " + Quote(run) + " /dev/null > " +
                          Quote(capture / "tty") + " </dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string tty = ReadText(capture / "tty");
  EXPECT_NE(tty.find("%  1 frames  00:00:00.080 / 00:00:02.000  elapsed 00:00:0"), std::string::npos) << tty;
  EXPECT_NE(tty.find("frames  00:00:0"), std::string::npos) << tty;
  EXPECT_NE(tty.find(" / 00:00:02.000  elapsed 00:00:0"), std::string::npos) << tty;
  EXPECT_NE(tty.find("\r 96%  12 frames  00:00:00.960 / 00:00:02.000"), std::string::npos) << tty;
  EXPECT_NE(tty.find("left "), std::string::npos) << tty;
  // Erased, then the summary.
  const auto summary = tty.find("o.gif: ");
  ASSERT_NE(summary, std::string::npos) << tty;
  EXPECT_EQ(tty.rfind("\r\x1b[K", summary), summary - 4) << tty;
}

// A batch converter runs wherever a video can be read: a stale display (an SSH session), a
// Wayland socket that is not there, a platform named that cannot start, no runtime folder
// (containers, cron). None of them concerns it, and nothing but its own lines reach stderr.
TEST(CliAnywhere, NoDisplayPlatformOrRuntimeFolderNeeded) {
  const char* envs[] = {
      "DISPLAY=:99",
      "WAYLAND_DISPLAY=bogus",
      "QT_QPA_PLATFORM=xcb",
      "-u XDG_RUNTIME_DIR",
      "-u XDG_RUNTIME_DIR DISPLAY=:99 WAYLAND_DISPLAY=bogus QT_QPA_PLATFORM=xcb",
  };
  for (const char* env : envs) {
    SCOPED_TRACE(env);
    TScratchDir dir("cli-anywhere");
    const TRun r = RunCli({"--end", "0.4", ClipPath(kLosslessClip), "a.gif"}, dir.Path().string(), env);
    EXPECT_EQ(r.Exit, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, FinalLine("a.gif", dir / "a.gif", 4, 64, 48));
    const TRun info = RunCli({"--info", ClipPath(kLosslessClip)}, dir.Path().string(), env);
    EXPECT_EQ(info.Exit, 0);
    EXPECT_EQ(info.Err, "");
    // Its own messages still come through.
    const TRun bad = RunCli({ClipPath(kNotAVideo), "b.gif"}, dir.Path().string(), env);
    EXPECT_EQ(bad.Exit, 1);
    EXPECT_EQ(bad.Err.rfind("clipsmith-cli: ", 0), 0u) << bad.Err;
    EXPECT_EQ(std::count(bad.Err.begin(), bad.Err.end(), '\n'), 1) << bad.Err;
  }
}

TEST(CliAnywhere, LinksNoWidgets) {
  TScratchDir capture("cli-ldd");
  ASSERT_EQ(std::system(("ldd " + Quote(CLIPSMITH_CLI) + " >" + Quote(capture / "ldd") + " 2>&1").c_str()), 0);
  const std::string libs = ReadText(capture / "ldd");
  EXPECT_NE(libs.find("libQt6Core"), std::string::npos) << libs;
  EXPECT_EQ(libs.find("Widgets"), std::string::npos) << libs;
}
