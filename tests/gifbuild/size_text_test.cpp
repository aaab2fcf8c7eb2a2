// The size line of the preview: kilobytes below 1024 KB, megabytes with two decimals above, in
// the separators of the user's locale.
#include <gtest/gtest.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "gifbuild/html_preview.h"
#include "graphics/stream.h"
#include "test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

TEST(GIFSizeText, KilobytesBelowOneMegabyteMegabytesFromThere) {
  const TNumberSeparators english{".", ","};
  const TNumberSeparators german{",", "."};
  struct Case {
    std::int64_t Bytes;
    const char* English;
    const char* German;
  };
  const Case cases[] = {
      {0, "0 KB", "0 KB"},
      {900, "0 KB", "0 KB"},
      {1023, "0 KB", "0 KB"},
      {1024, "1 KB", "1 KB"},
      {1048575, "1023 KB", "1023 KB"},
      {1048576, "1.00 MB", "1,00 MB"},
      {1179648, "1.13 MB", "1,13 MB"},  // exactly 1.125: halves go up
      {2560000, "2.44 MB", "2,44 MB"},
      {1073741823, "1,024.00 MB", "1.024,00 MB"},  // rounds up into the next whole megabyte
      {1234567890123, "1,177,375.69 MB", "1.177.375,69 MB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatGIFSize(c.Bytes, english), c.English) << c.Bytes;
    EXPECT_EQ(FormatGIFSize(c.Bytes, german), c.German) << c.Bytes;
  }
}

TEST(GIFSizeText, IsTheSizeOfASecondEncodingOfTheImage) {
  ScopedEnv all("LC_ALL", "C");
  TGIFImage image;
  AddHandmadeFrame(image, 16, 16);
  TMemoryStream s;
  image.SaveToStream(s);
  ASSERT_LT(s.Size(), 1024);
  EXPECT_EQ(GetGIFSizeText(image), "0 KB");

  // A frame of noise that does not compress: over a megabyte.
  TGIFImage big;
  TGIFFrame* f = TGIFFrame::Create(&big);
  f->ChangeBounds(0, 0, 1200, 1000);
  for (int i = 0; i < 256; ++i) f->ColorMap().Add(RGBColor(std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)));
  std::uint32_t x = 12345;
  for (int r = 0; r < 1000; ++r)
    for (int c = 0; c < 1200; ++c) {
      x = x * 1103515245u + 12345u;
      f->PixelAt(c, r) = std::uint8_t(x >> 24);
    }
  TMemoryStream bigStream;
  big.SaveToStream(bigStream);
  ASSERT_GE(bigStream.Size(), 1048576);
  EXPECT_EQ(GetGIFSizeText(big), FormatGIFSize(bigStream.Size(), {".", ","}));
  EXPECT_NE(GetGIFSizeText(big).find(" MB"), std::string::npos);

  TGIFImage empty;
  EXPECT_THROW(GetGIFSizeText(empty), GIFException);
}

namespace {

// glibc's newlocale keeps the LOCPATH search list it builds for good; that is not ours to free.
TNumberSeparators SeparatorsFromPrivateLocales() {
#if defined(__SANITIZE_ADDRESS__)
  __lsan::ScopedDisabler glibcKeepsIt;
#endif
  return UserNumberSeparators();
}

// Compiles locales into a private folder that LOCPATH points at, so the test does not depend on
// which locales the machine has generated.
class UserLocale : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("command -v localedef >/dev/null 2>&1") != 0) return;
    Folder = std::make_unique<ScratchDir>("gifbuild-locales");
    for (const char* name : {"de_DE", "fr_FR"}) {
      std::string cmd = "localedef -i " + std::string(name) + " -f UTF-8 '" + (*Folder / (std::string(name) + ".UTF-8")) +
                        "' >/dev/null 2>&1";
      if (std::system(cmd.c_str()) != 0) {
        Folder.reset();
        return;
      }
    }
  }
  static void TearDownTestSuite() { Folder.reset(); }
  static inline std::unique_ptr<ScratchDir> Folder;
};

}  // namespace

TEST_F(UserLocale, SeparatorsComeFromTheLocaleEnvironment) {
  ScopedEnv numeric("LC_NUMERIC", std::nullopt);
  {
    ScopedEnv all("LC_ALL", "C");
    EXPECT_EQ(UserNumberSeparators(), (TNumberSeparators{".", ","}));
  }
  {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv lang("LANG", "POSIX");
    EXPECT_EQ(UserNumberSeparators(), (TNumberSeparators{".", ","}));
  }
  {
    // A locale that is not installed falls back rather than failing.
    ScopedEnv all("LC_ALL", "xx_NOWHERE.UTF-8");
    EXPECT_EQ(UserNumberSeparators(), (TNumberSeparators{".", ","}));
  }
  if (!Folder) GTEST_SKIP() << "localedef or the locale sources are missing";
  ScopedEnv path("LOCPATH", Folder->Path().string());
  {
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(SeparatorsFromPrivateLocales(), (TNumberSeparators{",", "."}));
    EXPECT_EQ(FormatGIFSize(2560000, SeparatorsFromPrivateLocales()), "2,44 MB");
  }
  {
    // LC_NUMERIC decides when LC_ALL is not set, whatever LANG says.
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv lang("LANG", "de_DE.UTF-8");
    ScopedEnv num("LC_NUMERIC", "fr_FR.UTF-8");
    TNumberSeparators fr = SeparatorsFromPrivateLocales();
    EXPECT_EQ(fr.Decimal, ",");
    EXPECT_EQ(fr.Thousands, "\u202F");  // narrow no-break space, as UTF-8
    EXPECT_EQ(FormatGIFSize(1234567890123, fr), "1\u202F177\u202F375,69 MB");
  }
  {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv lang("LANG", "de_DE.UTF-8");
    EXPECT_EQ(SeparatorsFromPrivateLocales(), (TNumberSeparators{",", "."}));
  }
}
