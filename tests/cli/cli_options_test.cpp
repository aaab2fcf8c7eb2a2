#include <gtest/gtest.h>

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
  EXPECT_EQ(o.Step, "3");
  EXPECT_TRUE(o.Crop);
  EXPECT_EQ(o.CropW, 30);
  EXPECT_TRUE(o.Resize);
  EXPECT_FALSE(o.SizeW.has_value());
  EXPECT_EQ(o.SizeH, 100);
  EXPECT_EQ(o.Loop, "2");
  EXPECT_EQ(o.Delay, "50");
  EXPECT_TRUE(o.Quiet);

  ASSERT_EQ(ParseCommandLine({"a.mkv", "b.gif"}, o), "");
  EXPECT_EQ(o.Step, "2");
  EXPECT_EQ(o.Loop, "0");
  EXPECT_EQ(o.Delay, "100");
  EXPECT_FALSE(o.Crop);
  EXPECT_FALSE(o.Resize);
  EXPECT_FALSE(o.EndMs.has_value());

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
      {{"--loop", "99999999999", "a", "b"}, "malformed number for --loop"},
      {{"--start", "1:75", "a", "b"}, "malformed time for --start"},
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
