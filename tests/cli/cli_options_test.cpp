#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_options.h"

using namespace clipsmith;

TEST(CliTime, Forms) {
  struct Case { const char* text; std::int64_t ms; };
  for (auto c : {Case{"0", 0}, Case{"12", 12000}, Case{"12.5", 12500}, Case{"12.05", 12050}, Case{"0.001", 1},
                 Case{"01:15", 75000}, Case{"1:15.250", 75250}, Case{"00:01:15.250", 75250}, Case{"2:00:00", 7200000},
                 Case{"90", 90000}})
    EXPECT_EQ(ParseTime(c.text), c.ms) << c.text;
  for (const char* bad : {"", "x", "-1", "1.", ".5", "1.2345", "1:2", "1:60", "1:00:60", "1:2:3:4", "1,5", " 1", "1e3"})
    EXPECT_FALSE(ParseTime(bad).has_value()) << bad;
}

TEST(CliProportionalSize, RoundsHalfToEven) {
  EXPECT_EQ(ProportionalSize(320, 640, 480), 240);
  EXPECT_EQ(ProportionalSize(100, 480, 640), 133);  // 133.33
  EXPECT_EQ(ProportionalSize(1, 2, 1), 0);          // 0.5 to even
  EXPECT_EQ(ProportionalSize(3, 2, 1), 2);          // 1.5 to even
  EXPECT_EQ(ProportionalSize(5, 0, 1), std::nullopt);
}

TEST(CliCommandLine, Accepted) {
  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"--start", "1.5", "--end", "00:03", "--step", "3", "--crop", "10,20,30,40", "--size",
                              "x100", "--loop", "2", "--delay", "50", "-q", "in.mp4", "out"},
                             o),
            "");
  EXPECT_EQ(o.Input, "in.mp4");
  EXPECT_EQ(o.Output, "out");
  EXPECT_EQ(o.StartMs, 1500);
  EXPECT_EQ(o.EndMs, 3000);
  EXPECT_EQ(o.Step, 3);
  EXPECT_TRUE(o.Crop);
  EXPECT_EQ(o.CropW, 30);
  EXPECT_TRUE(o.Resize);
  EXPECT_FALSE(o.SizeW.has_value());
  EXPECT_EQ(o.SizeH, 100);
  EXPECT_EQ(o.Loop, 2);
  EXPECT_EQ(o.Delay, 50);
  EXPECT_TRUE(o.Quiet);

  ASSERT_EQ(ParseCommandLine({"a.mkv", "b.gif"}, o), "");
  EXPECT_EQ(o.Step, 2);
  EXPECT_EQ(o.Loop, 0);
  EXPECT_EQ(o.Delay, 100);
  EXPECT_FALSE(o.Crop);
  EXPECT_FALSE(o.Resize);
  EXPECT_FALSE(o.EndMs.has_value());
  EXPECT_FALSE(o.Gray);
  for (const char* gray : {"--gray", "--grey"}) {
    TCliOptions g;
    ASSERT_EQ(ParseCommandLine({gray, "a.mkv", "b.gif"}, g), "");
    EXPECT_TRUE(g.Gray);
  }

  ASSERT_EQ(ParseCommandLine({"--info", "a.mkv"}, o), "");
  EXPECT_TRUE(o.Info);
  ASSERT_EQ(ParseCommandLine({"--size", "320x240", "--preview", "--no-open", "a", "b"}, o), "");
  EXPECT_EQ(o.SizeW, 320);
  EXPECT_EQ(o.SizeH, 240);
}

TEST(CliCommandLine, UsageErrorsNameTheProblem) {
  struct Case { std::vector<std::string> args; const char* contains; };
  const Case cases[] = {
      {{"--bogus", "a", "b"}, "unknown option --bogus"},
      {{"--step", "x2", "a", "b"}, "malformed number for --step"},
      {{"--delay", "-5", "a", "b"}, "malformed number for --delay"},
      {{"--loop", "99999999999", "a", "b"}, "value out of range for --loop: \"99999999999\" (must lie in 0..65536)"},
      // What the GIF's 16-bit fields cannot hold is refused, not wrapped.
      {{"--loop", "65537", "a", "b"}, "value out of range for --loop: \"65537\" (must lie in 0..65536)"},
      {{"--loop", "70000", "a", "b"}, "out of range"},
      {{"--delay", "655360", "a", "b"}, "value out of range for --delay: \"655360\" (must lie in 0..655359)"},
      {{"--step", "2147483648", "a", "b"}, "value out of range for --step"},
      {{"--loop", "6x", "a", "b"}, "malformed number for --loop"},
      {{"--crop", "0,0,0,10", "a", "b"}, "crop width and height out of range"},
      {{"--crop", "99999999999,0,5,5", "a", "b"}, "crop position out of range"},
      {{"--crop", "0,0,a,5", "a", "b"}, "malformed crop rectangle"},
      {{"--size", "70000x", "a", "b"}, "size out of range: \"70000x\" (must lie in 1..65535)"},
      {{"--size", "ax5", "a", "b"}, "malformed size"},
      {{"a", ""}, "the output name is empty"},
      {{"", "b.gif"}, "the input name is empty"},
      {{"--info", ""}, "the input name is empty"},
      {{"--", "-a"}, "expected INPUT and OUTPUT.gif"},
      {{"--start", "1:75", "a", "b"}, "malformed time for --start"},
      {{"--start", "3600001", "a", "b"}, "time out of range for --start: \"3600001\" (at most 1000 hours)"},
      {{"--end", "1000:00:01", "a", "b"}, "time out of range for --end"},
      {{"--end", "99999999999999999999", "a", "b"}, "malformed time for --end"},
      {{"--crop", "1,2,3", "a", "b"}, "expected X,Y,W,H"},
      {{"--crop", "0,0,0,10", "a", "b"}, "1..65535"},
      {{"--crop", "0,0,70000,10", "a", "b"}, "1..65535"},
      {{"--size", "x", "a", "b"}, "malformed size"},
      {{"--size", "0x10", "a", "b"}, "1..65535"},
      {{"--start", "5", "--end", "5", "a", "b"}, "end mark must come after the start mark"},
      {{"a"}, "expected INPUT and OUTPUT.gif"},
      {{"--info"}, "--info takes exactly one INPUT"},
      {{"--end"}, "option --end needs a value"},
      {{"--no-open", "a", "b"}, "--no-open needs --preview"},
  };
  for (const auto& c : cases) {
    TCliOptions o;
    std::string err = ParseCommandLine(c.args, o);
    EXPECT_NE(err.find(c.contains), std::string::npos) << "got \"" << err << "\"";
  }
}

TEST(CliCommandLine, DoubleDashEndsTheOptions) {
  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"-q", "--", "-clip.mp4", "--out.gif"}, o), "");
  EXPECT_TRUE(o.Quiet);
  EXPECT_EQ(o.Input, "-clip.mp4");
  EXPECT_EQ(o.Output, "--out.gif");
  ASSERT_EQ(ParseCommandLine({"--", "--", "x.gif"}, o), "");
  EXPECT_EQ(o.Input, "--");
  ASSERT_EQ(ParseCommandLine({"--loop", "65536", "--delay", "655359", "a", "b"}, o), "");
  EXPECT_EQ(o.Loop, 65536);
  EXPECT_EQ(o.Delay, 655359);
}

TEST(CliCommandLine, CropMustTouchTheFrame) {
  struct Case {
    std::string crop;
    const char* message;  // "" when accepted
  };
  const Case cases[] = {
      {"0,0,50,50", ""},
      {"319,239,50,50", ""},  // one pixel inside; the rest is the black border
      {"300,200,500,500", ""},
      {"400,300,50,50", "the crop rectangle 400,300,50,50 lies wholly outside the 320 x 240 frame"},
      {"320,0,10,10", "the crop rectangle 320,0,10,10 lies wholly outside the 320 x 240 frame"},
      {"0,240,10,10", "the crop rectangle 0,240,10,10 lies wholly outside the 320 x 240 frame"},
  };
  for (const Case& c : cases) {
    TCliOptions o;
    ASSERT_EQ(ParseCommandLine({"--crop", c.crop, "a", "b"}, o), "");
    EXPECT_EQ(CheckCropInFrame(o, 320, 240), c.message) << c.crop;
  }
  TCliOptions none;
  EXPECT_EQ(CheckCropInFrame(none, 320, 240), "");
}

TEST(CliProgress, LineShowsDoneFramesPositionElapsedAndLeft) {
  struct Case {
    TProgress p;
    const char* line;
  };
  const Case cases[] = {
      {{1000, 3000, 1000, 4000, 0, 0.0}, "  0%  0 frames  00:00:01.000 / 00:00:04.000  elapsed 00:00:00  left --:--:--"},
      {{1000, 3000, 2000, 4000, 25, 10.0}, " 50%  25 frames  00:00:02.000 / 00:00:04.000  elapsed 00:00:10  left 00:00:10"},
      {{0, 4000, 1000, 4000, 3, 3.0}, " 25%  3 frames  00:00:01.000 / 00:00:04.000  elapsed 00:00:03  left 00:00:09"},
      {{0, 4000, 4000, 4000, 9, 61.0}, "100%  9 frames  00:00:04.000 / 00:00:04.000  elapsed 00:01:01  left 00:00:00"},
      {{0, 4000, 5000, 4000, 9, 1.0}, "100%  9 frames  00:00:05.000 / 00:00:04.000  elapsed 00:00:01  left 00:00:00"},
      {{0, 0, 0, 0, 0, 0.0}, "  0%  0 frames  00:00:00.000 / 00:00:00.000  elapsed 00:00:00  left --:--:--"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressLine(c.p), c.line);
}

TEST(CliInput, OnlyRegularFilesAreTaken) {
  std::string dir = ::testing::TempDir() + "cli_input_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/clip.mp4") << "x";
  std::filesystem::create_symlink(dir + "/clip.mp4", dir + "/link.mp4");
  ASSERT_EQ(::mkfifo((dir + "/fifo.mp4").c_str(), 0600), 0);
  struct Case { std::string path, reason; };
  for (const Case& c : {Case{dir + "/clip.mp4", ""}, Case{dir + "/link.mp4", ""},
                        Case{dir + "/missing.mp4", "No such file or directory"},
                        Case{dir, "is a folder, not a video file"},
                        Case{dir + "/fifo.mp4", "is a FIFO (named pipe), not a regular file"},
                        Case{"/dev/zero", "is a device, not a regular file"}})
    EXPECT_EQ(NotAVideoFileReason(c.path), c.reason) << c.path;
  std::filesystem::remove_all(dir);
}
