// The preview page: the template filled line by line, its encoding and line ends, where it is
// written, and file names that need escaping.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "gifbuild/gif_builder.h"
#include "gifbuild/html_preview.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

namespace {

// The preview page's folder in the temporary folder.
std::string PrivateFolder() { return "clipsmith-" + std::to_string(::getuid()); }

std::vector<std::string> ScratchEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Splits a page into its lines; every line must end with CR LF and nothing may follow the last.
std::vector<std::string> PageLines(const std::string& bytes) {
  std::vector<std::string> lines;
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  std::size_t at = 3;
  while (at < bytes.size()) {
    std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "text after the last CR LF: " << bytes.substr(at);
      break;
    }
    std::string line = bytes.substr(at, end - at);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in " << line;
    lines.push_back(line);
    at = end + 2;
  }
  return lines;
}

struct FakeOpener {
  std::vector<std::string> Paths;
  TBrowserOpener Opener() {
    TBrowserOpener o;
    o.Attempts.push_back([this](const std::string& p) {
      Paths.push_back(p);
      return true;
    });
    return o;
  }
};

}  // namespace

TEST(PreviewTemplate, HasTheFortyNineLinesOfThePage) {
  const auto& t = PreviewTemplate();
  ASSERT_EQ(t.size(), 49u);
  EXPECT_EQ(t[0],
            "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
            "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">");
  EXPECT_EQ(t[1], "<html xmlns=\"http://www.w3.org/1999/xhtml\">");
  EXPECT_EQ(t[7], "<title>GIF Image Preview</title>");
  EXPECT_EQ(t[17], "<table width=\"70%\" height=\"{{GIFTableName}}\" align=\"center\">");
  EXPECT_EQ(t[18], "    <tr><td align=\"center\"><img src=\"file:///{{GIFName}}\"></td></tr>");
  EXPECT_EQ(t[23], "        <td class=\"content\">{{GIFName}}</td>");
  EXPECT_EQ(t[31], "        <td class=\"content\">{{GIFWidth}}  pixels</td>");
  EXPECT_EQ(t[35], "        <td class=\"content\">{{GIFHeight}} Pixels</td>");
  EXPECT_EQ(t[39], "        <td class=\"content\">{{GIFLoops}} times  (0 means loop forever)</td>");
  EXPECT_EQ(t[46], "");
  EXPECT_EQ(t[48], "</html>");
}

// A known image through MakeGIFPreview: the page on disk is the template with exactly the
// listed lines filled in.
TEST(MakeGIFPreview, WritesTheFilledTemplateIntoTheTemporaryFolderAndOpensIt) {
  ScratchDir temp("gifbuild-tmp");
  ScratchDir out;
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  ScopedEnv all("LC_ALL", "C");

  TSkGIF gif;
  AddHandmadeFrame(*gif.FGIFImg, 12, 8);
  AddHandmadeFrame(*gif.FGIFImg, 12, 8);
  gif.GIFFileName = out / "clip.gif";
  gif.GIFWidth = 12;
  gif.GIFHeight = 8;
  gif.Loops = 3;
  FakeOpener fake;
  gif.Opener = fake.Opener();
  gif.MakeGIFPreview();

  const std::string page = temp / (PrivateFolder() + "/GIF-Preview.html");
  ASSERT_EQ(fake.Paths, std::vector<std::string>{page});
  EXPECT_EQ(temp.Entries(), std::vector<std::string>{PrivateFolder()});
  const std::vector<std::string> lines = PageLines(ReadText(page));
  ASSERT_EQ(lines.size(), 49u);

  std::vector<std::string> expected = PreviewTemplate();
  expected[17] = "<table width=\"70%\" height=\"38\" align=\"center\">";
  expected[18] = "    <tr><td align=\"center\"><img src=\"file://" + gif.GIFFileName + "\"></td></tr>";
  expected[23] = "        <td class=\"content\">" + gif.GIFFileName + "</td>";
  expected[27] = "        <td class=\"content\">0 KB</td>";
  expected[31] = "        <td class=\"content\">12  pixels</td>";
  expected[35] = "        <td class=\"content\">8 Pixels</td>";
  expected[39] = "        <td class=\"content\">3 times  (0 means loop forever)</td>";
  expected[43] = "        <td class=\"content\">2</td>";
  for (std::size_t i = 0; i < 49; ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;
}

TEST(MakeGIFPreview, ASecondPreviewReplacesTheFirstPage) {
  ScratchDir temp("gifbuild-tmp");
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  TSkGIF gif;
  AddHandmadeFrame(*gif.FGIFImg, 4, 4);
  gif.GIFFileName = "/videos/first.gif";
  gif.GIFHeight = 480;
  gif.Loops = 0;
  FakeOpener fake;
  gif.Opener = fake.Opener();
  gif.MakeGIFPreview();
  const std::string page = temp / (PrivateFolder() + "/GIF-Preview.html");
  std::vector<std::string> first = PageLines(ReadText(page));
  ASSERT_EQ(first.size(), 49u);
  EXPECT_EQ(first[17], "<table width=\"70%\" height=\"510\" align=\"center\">");
  EXPECT_EQ(first[39], "        <td class=\"content\">0 times  (0 means loop forever)</td>");

  gif.GIFFileName = "/videos/second.gif";
  gif.Loops = 7;
  gif.MakeGIFPreview();
  std::vector<std::string> second = PageLines(ReadText(page));
  ASSERT_EQ(second.size(), 49u);
  EXPECT_EQ(second[23], "        <td class=\"content\">/videos/second.gif</td>");
  EXPECT_EQ(second[39], "        <td class=\"content\">7 times  (0 means loop forever)</td>");
  EXPECT_EQ(temp.Entries(), std::vector<std::string>{PrivateFolder()});
  EXPECT_EQ(ScratchEntries(temp / PrivateFolder()), std::vector<std::string>{"GIF-Preview.html"});
  EXPECT_EQ(fake.Paths.size(), 2u);
}

TEST(MakeGIFPreview, APageThatCannotBeWrittenIsReportedAndNotOpened) {
  ScratchDir temp("gifbuild-tmp");
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  std::filesystem::create_directories(temp / (PrivateFolder() + "/GIF-Preview.html"));
  TSkGIF gif;
  AddHandmadeFrame(*gif.FGIFImg, 4, 4);
  gif.GIFFileName = "/videos/a.gif";
  FakeOpener fake;
  gif.Opener = fake.Opener();
  EXPECT_THROW(gif.MakeGIFPreview(), EStreamError);
  EXPECT_TRUE(fake.Paths.empty());
  EXPECT_EQ(ScratchEntries(temp / PrivateFolder()), std::vector<std::string>{"GIF-Preview.html"});
}

// The page's folder is the user's own, closed to others; whatever another user may have put in
// the shared temporary folder is not written through.
TEST(MakeGIFPreview, ThePageGoesIntoAPrivateFolderAndNeverThroughALink) {
  namespace fs = std::filesystem;
  struct Case {
    std::string Name;
    std::function<void(const fs::path& folder, const fs::path& victim)> Plant;
    bool Refused;
  };
  const Case cases[] = {
      {"nothing there", [](const fs::path&, const fs::path&) {}, false},
      {"a link at the page's name",
       [](const fs::path& folder, const fs::path& victim) {
         fs::create_directory(folder);
         ::chmod(folder.c_str(), 0700);
         fs::create_symlink(victim, folder / "GIF-Preview.html");
       },
       false},
      {"our folder open to everyone",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         ::chmod(folder.c_str(), 0777);
       },
       false},
      {"the folder is a link",
       [](const fs::path& folder, const fs::path& victim) { fs::create_symlink(victim.parent_path(), folder); }, true},
      {"the folder is a file",
       [](const fs::path& folder, const fs::path&) { std::ofstream(folder.string()) << "x"; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ScratchDir temp("gifbuild-tmp");
    ScratchDir elsewhere("gifbuild-victim");
    ScopedEnv tmpdir("TMPDIR", temp.Path().string());
    const fs::path folder = temp.Path() / PrivateFolder();
    const fs::path victim = elsewhere.Path() / "notes.txt";
    std::ofstream(victim.string()) << "my notes";
    c.Plant(folder, victim);

    TSkGIF gif;
    AddHandmadeFrame(*gif.FGIFImg, 4, 4);
    gif.GIFFileName = "/videos/a.gif";
    FakeOpener fake;
    gif.Opener = fake.Opener();
    if (c.Refused) {
      try {
        gif.MakeGIFPreview();
        ADD_FAILURE() << "not refused";
      } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find(folder.string()), std::string::npos) << e.what();
      }
      EXPECT_TRUE(fake.Paths.empty());
    } else {
      gif.MakeGIFPreview();
      struct stat st {};
      ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
      EXPECT_EQ(st.st_mode & 0777, 0700u);
      EXPECT_EQ(st.st_uid, ::getuid());
      EXPECT_FALSE(fs::is_symlink(folder / "GIF-Preview.html"));
      EXPECT_EQ(PageLines(ReadText((folder / "GIF-Preview.html").string())).size(), 49u);
      EXPECT_EQ(fake.Paths, std::vector<std::string>{(folder / "GIF-Preview.html").string()});
    }
    EXPECT_EQ(ReadText(victim.string()), "my notes");
    EXPECT_EQ(ScratchEntries(elsewhere.Path().string()), std::vector<std::string>{"notes.txt"});
  }
}

// A folder of that name that another user made is not used (only root can set this up).
TEST(MakeGIFPreview, AFolderOfAnotherUserIsRefused) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  ScratchDir temp("gifbuild-tmp");
  ScopedEnv tmpdir("TMPDIR", temp.Path().string());
  const std::string folder = temp / PrivateFolder();
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  try {
    GetPreviewDir();
    ADD_FAILURE() << "not refused";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot use folder \"" + folder + "\". It belongs to another user");
  }
}

// Names a user may well give a clip: the picture must still resolve and the name must stay text.
TEST(FillPreviewTemplate, FileNamesBecomeAUrlForThePictureAndEscapedTextForTheTable) {
  struct Case {
    std::string Name;
    std::string Url;
    std::string Text;
  };
  const Case cases[] = {
      {"/home/ann/My Clips/a b.gif", "file:///home/ann/My%20Clips/a%20b.gif", "/home/ann/My Clips/a b.gif"},
      {"/home/ann/Tom & Jerry.gif", "file:///home/ann/Tom%20%26%20Jerry.gif", "/home/ann/Tom &amp; Jerry.gif"},
      {"/home/ann/#1 100%.gif", "file:///home/ann/%231%20100%25.gif", "/home/ann/#1 100%.gif"},
      {"/home/ann/Bücher/Ωmega.gif", "file:///home/ann/B%C3%BCcher/%CE%A9mega.gif", "/home/ann/Bücher/Ωmega.gif"},
      {"/tmp/<b onclick=\"x\">.gif", "file:///tmp/%3Cb%20onclick%3D%22x%22%3E.gif", "/tmp/&lt;b onclick=&quot;x&quot;&gt;.gif"},
      {"/tmp/ok-_.~x.gif", "file:///tmp/ok-_.~x.gif", "/tmp/ok-_.~x.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TPreviewValues v;
    v.GIFFileName = c.Name;
    auto lines = FillPreviewTemplate(PreviewTemplate(), v);
    EXPECT_EQ(lines[18], "    <tr><td align=\"center\"><img src=\"" + c.Url + "\"></td></tr>");
    EXPECT_EQ(lines[23], "        <td class=\"content\">" + c.Text + "</td>");
  }
}

TEST(FillPreviewTemplate, RelativeNamesAreShownAsStoredButLinkedByTheirAbsolutePath) {
  TPreviewValues v;
  v.GIFFileName = "clip.gif";
  auto lines = FillPreviewTemplate(PreviewTemplate(), v);
  EXPECT_EQ(lines[18], "    <tr><td align=\"center\"><img src=\"" + FileUrl(std::filesystem::current_path() / "clip.gif") +
                           "\"></td></tr>");
  EXPECT_EQ(lines[23], "        <td class=\"content\">clip.gif</td>");
}

TEST(FillPreviewTemplate, OnlyTheFirstPlaceholderOfEachListedLineIsReplacedAndNeverAgain) {
  std::vector<std::string> memo = PreviewTemplate();
  memo[22] = "<td>{{GIFName}}</td>";                       // not a listed line for it
  memo[23] = "<td>{{gifname}} and {{GIFName}}</td>";      // letter case ignored, first only
  memo[27] = "<td>{{GIFSIZE}}{{GIFWidth}}</td>";          // another line's placeholder stays
  memo[43] = "<td>{{GIFTotalFrames}}{{GIFTotalFrames}}</td>";
  TPreviewValues v;
  v.GIFFileName = "/tmp/{{GIFSize}} {{GIFName}}.gif";
  v.SizeText = "3 KB";
  v.TotalFrames = 5;
  auto lines = FillPreviewTemplate(memo, v);
  EXPECT_EQ(lines[22], "<td>{{GIFName}}</td>");
  EXPECT_EQ(lines[23], "<td>/tmp/{{GIFSize}} {{GIFName}}.gif and {{GIFName}}</td>");
  EXPECT_EQ(lines[18],
            "    <tr><td align=\"center\"><img src=\"file:///tmp/%7B%7BGIFSize%7D%7D%20%7B%7BGIFName%7D%7D.gif\"></td></tr>");
  EXPECT_EQ(lines[27], "<td>3 KB{{GIFWidth}}</td>");
  EXPECT_EQ(lines[43], "<td>5{{GIFTotalFrames}}</td>");
}

TEST(PreviewPageBytes, StartWithTheByteOrderMarkAndEndEveryLineWithCrLf) {
  EXPECT_EQ(PreviewPageBytes({"a", "", "b"}), "\xEF\xBB\xBF" "a\r\n\r\nb\r\n");
  const std::string page = PreviewPageBytes(PreviewTemplate());
  EXPECT_EQ(PageLines(page), PreviewTemplate());
}

TEST(GetTempDir, IsTheSystemsTemporaryFolderWithASeparator) {
  ScratchDir temp("gifbuild-tmp");
  {
    ScopedEnv tmpdir("TMPDIR", temp.Path().string());
    EXPECT_EQ(GetTempDir(), temp.Path().string() + "/");
  }
  {
    ScopedEnv tmpdir("TMPDIR", temp.Path().string() + "/");
    EXPECT_EQ(GetTempDir(), temp.Path().string() + "/");
  }
  {
    // A TMPDIR that is gone: the system's default folder.
    ScopedEnv tmpdir("TMPDIR", temp.Path().string() + "/gone");
    EXPECT_EQ(GetTempDir(), "/tmp/");
  }
  EXPECT_EQ(detail::ChooseTempDir(""), "/tmp/");

  const std::string app = GetAppDir();
  ASSERT_FALSE(app.empty());
  EXPECT_EQ(app.back(), '/');
  char exe[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  EXPECT_EQ(app, std::filesystem::path(exe).parent_path().string() + "/");
}
