// Where the settings live, making their folder, and the program-wide instance.
#include <gtest/gtest.h>

#include "settings/settings.h"
#include "scoped_env.h"
#include "settings_test_support.h"

using namespace clipsmith;
using namespace settings_test;
using clipsmith::testing::ScopedEnv;
namespace fs = std::filesystem;

namespace {

struct Shown {
  std::string Text, Caption;
  bool operator==(const Shown&) const = default;
};

struct Recorder {
  std::vector<Shown> Calls;
  TSettingsErrorHandler Handler() {
    return [this](const std::string& text, const std::string& caption) { Calls.push_back({text, caption}); };
  }
};

const Shown CreateDirError{"Create directory error! Please contact the author!", "Error"};

}  // namespace

TEST(SettingsModule, LivesInXdgConfigHomeAndSavesWhenReleased) {
  TempDir dir;
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().string());
  const fs::path file = dir / "Velmora/csm/csm.dat";
  Recorder shown;
  {
    TSettingsModule module(shown.Handler());
    EXPECT_TRUE(fs::is_directory(dir / "Velmora/csm"));
    EXPECT_EQ(module.Settings().SettingsFileName(), file.string());
    ASSERT_TRUE(HasSettings());
    EXPECT_EQ(&Settings(), &module.Settings());
    Settings().OpenAVIPath = "/home/ada/Videos";
    Settings().SaveGIFPath = "/home/ada/GIFs";
    EXPECT_FALSE(fs::exists(file)) << "the only save point is the end of the run";
  }
  EXPECT_TRUE(shown.Calls.empty());
  EXPECT_FALSE(HasSettings());
  EXPECT_THROW(Settings(), std::logic_error);
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::status(dir / "Velmora").permissions() & fs::perms::all, fs::perms::owner_all);

  TSettingsModule next(shown.Handler());
  EXPECT_EQ(Settings().OpenAVIPath, "/home/ada/Videos");
  EXPECT_EQ(Settings().SaveGIFPath, "/home/ada/GIFs");
  EXPECT_THROW(TSettingsModule second(shown.Handler()), std::logic_error) << "one instance per program";
  EXPECT_EQ(&Settings(), &next.Settings());
}

TEST(SettingsModule, BaseFolderFallbacks) {
  TempDir home;
  struct Case {
    const char* Label;
    std::optional<std::string> Xdg;
  };
  for (const Case& c : std::vector<Case>{{"unset", std::nullopt}, {"empty", ""}, {"relative", "conf"}}) {
    SCOPED_TRACE(c.Label);
    ScopedEnv h("HOME", home.Path().string());
    ScopedEnv xdg("XDG_CONFIG_HOME", c.Xdg);
    EXPECT_EQ(SettingsBaseDir(), home / ".config");
  }
  // A fresh account has no ~/.config yet: it is made, quietly.
  ScopedEnv h("HOME", home.Path().string());
  ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  Recorder shown;
  { TSettingsModule module(shown.Handler()); }
  EXPECT_TRUE(shown.Calls.empty());
  EXPECT_TRUE(fs::exists(home / ".config/Velmora/csm/csm.dat"));
}

// The folder levels that cannot be made (something else already has the name: the tests run as
// root, so permissions would stop nothing) are each reported once, and the run goes on.
TEST(SettingsModule, FolderThatCannotBeMadeIsReportedOncePerLevel) {
  struct Case {
    const char* Label;
    const char* RegularFile;  // below the temporary folder
    const char* Base;         // XDG_CONFIG_HOME below the temporary folder
    std::size_t Reports;
  };
  const std::vector<Case> cases = {
      {"baseIsAFile", "conf", "conf", 2},
      {"belowAFile", "conf", "conf/deeper", 2},
      {"velmoraIsAFile", "conf/Velmora", "conf", 2},
      {"csmIsAFile", "conf/Velmora/csm", "conf", 1},
      {"allThere", nullptr, "conf", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    TempDir dir;
    if (c.RegularFile) {
      fs::create_directories((dir / c.RegularFile).parent_path());
      WriteFile(dir / c.RegularFile, ToBytes("not a folder"));
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / c.Base).string());
    Recorder shown;
    {
      TSettingsModule module(shown.Handler());
      EXPECT_EQ(shown.Calls, std::vector<Shown>(c.Reports, CreateDirError));
      EXPECT_EQ(Settings().OpenAVIPath, "");
      Settings().OpenAVIPath = "/v";  // cannot be saved when a level is missing; must not crash
    }
    EXPECT_EQ(shown.Calls.size(), c.Reports) << "nothing more at exit";
    if (c.RegularFile) {
      EXPECT_EQ(ReadFile(dir / c.RegularFile), ToBytes("not a folder"));
    }
    EXPECT_EQ(fs::exists(dir / c.Base / "Velmora/csm/csm.dat"), c.Reports == 0);
  }
}

TEST(SettingsModule, DefaultReportGoesToStderr) {
  TempDir dir;
  WriteFile(dir / "conf", ToBytes("x"));
  ::testing::internal::CaptureStderr();
  std::string dirPath = MakeSettingsDir(dir / "conf", PrintSettingsError);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(dirPath, (dir / "conf/Velmora/csm/").string());
  EXPECT_EQ(err,
            "Error: Create directory error! Please contact the author!\n"
            "Error: Create directory error! Please contact the author!\n");

  // An empty slot falls back to the same.
  ::testing::internal::CaptureStderr();
  MakeSettingsDir(dir / "conf", TSettingsErrorHandler{});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), err);
}
