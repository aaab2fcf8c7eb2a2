// SaveToDisk: the file appears whole or not at all, and a failed save never harms a file that
// was already there.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "giflib_decode.h"
#include "gifbuild/gif_builder.h"
#include "graphics/stream.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

const std::string kOldContent = "an older picture the user keeps\n";

// A builder whose image is made by hand, so these tests do not depend on the colour reduction.
void FillByHand(TSkGIF& gif, int frames) {
  for (int i = 0; i < frames; ++i) AddHandmadeFrame(*gif.FGIFImg, 12, 8);
}

}  // namespace

TEST(SaveToDisk, WritesTheEncodedImageAndNothingElse) {
  ScratchDir dir;
  TSkGIF gif;
  FillByHand(gif, 3);
  gif.GIFFileName = dir / "out.gif";
  gif.SaveToDisk();

  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gif"});
  TMemoryStream again;
  gif.FGIFImg->SaveToStream(again);
  EXPECT_EQ(ReadBytes(gif.GIFFileName), again.Bytes());
  DecodedGif d = DecodeWithGiflib(ReadBytes(gif.GIFFileName));
  ASSERT_TRUE(d.Ok) << d.Error;
  EXPECT_EQ(d.Frames.size(), 3u);
}

TEST(SaveToDisk, ReplacesAnExistingFileAndKeepsItsPermissions) {
  ScratchDir dir;
  const std::string target = dir / "out.gif";
  WriteText(target, kOldContent);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);

  TSkGIF gif;
  FillByHand(gif, 1);
  gif.GIFFileName = target;
  gif.SaveToDisk();

  std::vector<std::uint8_t> bytes = ReadBytes(target);
  ASSERT_GE(bytes.size(), 6u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.gif"});
}

TEST(SaveToDisk, ThroughASymbolicLinkReplacesTheFileItPointsAt) {
  ScratchDir dir;
  const std::string real = dir / "real.gif";
  WriteText(real, kOldContent);
  std::filesystem::create_symlink(real, dir / "link.gif");

  TSkGIF gif;
  FillByHand(gif, 1);
  gif.GIFFileName = dir / "link.gif";
  gif.SaveToDisk();

  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.gif"));
  EXPECT_EQ(ReadText(real).substr(0, 6), "GIF89a");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link.gif", "real.gif"}));
}

// Every way a save can fail: the message, an untouched earlier file, no temporary file.
TEST(SaveToDisk, AFailedSaveLeavesTheEarlierFileAndNoTemporaryFile) {
  struct Case {
    const char* Name;
    void (*Prepare)(TSkGIF& gif);
    const char* Message;  // part of the error text
  };
  const Case cases[] = {
      {"no frames", [](TSkGIF&) {}, "Cannot save empty GIF"},
      // The encoder meets a pixel beyond the colour table halfway through the file.
      {"bad pixel in the last frame",
       [](TSkGIF& gif) {
         FillByHand(gif, 2);
         TGIFFrame* bad = AddHandmadeFrame(*gif.FGIFImg, 12, 8);
         bad->PixelAt(11, 7) = 200;
       },
       "Color not in color table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ScratchDir dir;
    const std::string target = dir / "keep.gif";
    WriteText(target, kOldContent);
    TSkGIF gif;
    c.Prepare(gif);
    gif.GIFFileName = target;
    try {
      gif.SaveToDisk();
      ADD_FAILURE() << "saved";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadText(target), kOldContent);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.gif"});
  }
}

TEST(SaveToDisk, AFileThatCannotBeCreatedNamesTheFileTheUserChose) {
  ScratchDir dir;
  TSkGIF gif;
  FillByHand(gif, 1);

  gif.GIFFileName = dir / "missing-folder/out.gif";
  try {
    gif.SaveToDisk();
    ADD_FAILURE() << "saved into a folder that does not exist";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + gif.GIFFileName + "\". No such file or directory");
  }

  gif.GIFFileName = "";
  EXPECT_THROW(gif.SaveToDisk(), EFOpenError);

  // A folder where the file should be: it stays a folder, with what is in it.
  std::filesystem::create_directory(dir / "taken.gif");
  WriteText(dir / "taken.gif/inside.txt", kOldContent);
  gif.GIFFileName = dir / "taken.gif";
  try {
    gif.SaveToDisk();
    ADD_FAILURE() << "saved over a folder";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find(gif.GIFFileName), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadText(dir / "taken.gif/inside.txt"), kOldContent);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"taken.gif"});
}
