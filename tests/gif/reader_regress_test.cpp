// Inputs the fuzzer found (kept in tests/fuzz/crashes, also replayed under the sanitizers): what
// each of them reads as, and what reading our own file of it gives.
#include <gtest/gtest.h>

#include "reader_test_support.h"

namespace clipsmith::testing {
namespace {

std::string CrashFile(const std::string& name) { return std::string(CLIPSMITH_VECTORS_DIR) + "/../fuzz/crashes/" + name; }

struct RegressionCase {
  const char* File;
  std::vector<std::string> Warnings;
  int Frames;
  int FramesAfterRoundTrip;  // -1: reading our file of it fails
  const char* RoundTripError;
};

void PrintTo(const RegressionCase& c, std::ostream* os) { *os << c.File; }

std::vector<RegressionCase> Cases() {
  return {
      // Extension-only frames next to each other are one frame once written.
      {"roundtrip-adjacent-extension-frames.gif",
       {"Invalid extension introducer", "Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"},
       2, 1, ""},
      // A frame of 2560 x 2560 from 80 bytes: allowed, and quick outside the sanitizers.
      {"timeout-large-frame-round-trip.gif", {"Premature end of data", "Image exceeds Logical Screen size"}, 1, 1, ""},
      // Application blocks whose size byte is 10 or 239 but whose identification reads
      // "NETSCAPE2.0" are kept as unknown blocks and written back with their own size byte, so
      // they read back as the same unknown blocks (the extension-only frames merge on writing).
      {"roundtrip-app-block-size-10-netscape.gif",
       {"Invalid extension introducer", "Invalid extension introducer", "Invalid extension introducer",
        "Invalid extension introducer", "Decoder bit buffer under-run", "Image exceeds Logical Screen size",
        "Unknown GIF block type", "Invalid Image trailer"},
       5, 1, ""},
      {"roundtrip-app-block-size-239-netscape.gif",
       {"Invalid extension introducer", "Invalid extension introducer", "Invalid image size", "Invalid GIF data",
        "Unknown GIF block type", "Invalid Image trailer"},
       2, 1, ""},
  };
}

class ReaderRegression : public ::testing::TestWithParam<RegressionCase> {};

TEST_P(ReaderRegression, ReadsAsBefore) {
  const RegressionCase& c = GetParam();
  Bytes file = ReadWholeFile(CrashFile(c.File));
  LoadResult r = LoadBytes(file);
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Warnings, c.Warnings);
  EXPECT_EQ(r.Image->Images().Count(), c.Frames);

  Bytes ours = Save(*r.Image);
  LoadResult again = LoadBytes(ours);
  if (c.FramesAfterRoundTrip < 0) {
    EXPECT_EQ(again.Error, c.RoundTripError);
    return;
  }
  EXPECT_EQ(again.Error, "");
  EXPECT_EQ(again.Image->Images().Count(), c.FramesAfterRoundTrip);
  EXPECT_EQ(Save(*again.Image), ours);
}

INSTANTIATE_TEST_SUITE_P(FuzzFindings, ReaderRegression, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RegressionCase>& info) {
                           std::string name;
                           for (const char* p = info.param.File; *p && *p != '.'; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

}  // namespace
}  // namespace clipsmith::testing
