// The enciphered settings file: its exact layout, the string types, reading back, damage.
#include <gtest/gtest.h>

#include <random>

#include "settings/settings.h"
#include "settings_test_support.h"

using namespace clipsmith;
using namespace settings_test;
namespace fs = std::filesystem;

namespace {

// The stream with both paths empty: signature, class name, object name, two end bytes.
Bytes EmptyStream() {
  return StreamBuilder()
      .Raw("TPF0")          // signature
      .Byte(9)              // class name length
      .Raw("TSettings")     // class name
      .Byte(0)              // object name: none
      .Byte(0)              // end of properties
      .Byte(0)              // end of child objects
      .Out;
}

// Writes a file through a TSettings that lives only for the call.
void SaveSettings(const fs::path& file, const std::string& openPath, const std::string& savePath) {
  TSettings s(file.string());
  s.OpenAVIPath = openPath;
  s.SaveGIFPath = savePath;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(SettingsFile, FirstRunWritesSixtyFourBytes) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  {
    TSettings s(file.string());
    EXPECT_EQ(s.OpenAVIPath, "");
    EXPECT_EQ(s.SaveGIFPath, "");
    EXPECT_FALSE(fs::exists(file)) << "nothing is written before exit";
  }
  Bytes bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 64u);  // 17 stream bytes padded to 32, then 32 trailer characters
  Deciphered d = Decipher(bytes);
  EXPECT_EQ(d.Trailer, "00000011");
  ASSERT_EQ(d.Plain.size(), 32u);
  EXPECT_EQ(Bytes(d.Plain.begin(), d.Plain.begin() + 17), EmptyStream());
  EXPECT_EQ(Bytes(d.Plain.begin() + 17, d.Plain.end()), Bytes(15, 0)) << "zero padding";
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"csm.dat"}) << "no temporary file left";

  TSettings again(file.string());
  EXPECT_EQ(again.OpenAVIPath, "");
  EXPECT_EQ(again.SaveGIFPath, "");
}

TEST(SettingsFile, WrittenStreamDecodesToTheSameProperties) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "/home/ada/Videos", "/home/ada/GIFs");

  const Bytes expected = StreamBuilder()
                             .Header()
                             .Short("OpenAVIPath")       // first stored property
                             .Byte(6)                    // short ASCII string
                             .Short("/home/ada/Videos")  // 1 length byte + bytes
                             .Short("SaveGIFPath")       // second stored property
                             .Byte(6)
                             .Short("/home/ada/GIFs")
                             .Byte(0)  // end of properties
                             .Byte(0)  // end of child objects
                             .Out;
  Bytes bytes = ReadFile(file);
  Deciphered d = Decipher(bytes);
  ASSERT_EQ(d.Length, expected.size());
  EXPECT_EQ(bytes.size(), (expected.size() + 15) / 16 * 16 + 32);
  EXPECT_EQ(Bytes(d.Plain.begin(), d.Plain.begin() + long(d.Length)), expected);
  EXPECT_EQ(Bytes(d.Plain.begin() + long(d.Length), d.Plain.end()), Bytes(d.Plain.size() - d.Length, 0));

  TSettings back(file.string());
  EXPECT_EQ(back.OpenAVIPath, "/home/ada/Videos");
  EXPECT_EQ(back.SaveGIFPath, "/home/ada/GIFs");
}

TEST(SettingsFile, EmptyPathIsNotWritten) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "", "/srv/out");
  Deciphered d = Decipher(ReadFile(file));
  const Bytes expected = StreamBuilder().Header().Short("SaveGIFPath").Byte(6).Short("/srv/out").Byte(0).Byte(0).Out;
  EXPECT_EQ(Bytes(d.Plain.begin(), d.Plain.begin() + long(d.Length)), expected);
}

TEST(SettingsFile, AStreamThatFillsWholeBlocksGetsNoPadding) {
  // 17 fixed bytes + name (12) + type (1) + length (1) + 1 value byte = 32.
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "x", "");
  Bytes bytes = ReadFile(file);
  EXPECT_EQ(bytes.size(), 64u);
  Deciphered d = Decipher(bytes);
  EXPECT_EQ(d.Trailer, "00000020");
  EXPECT_EQ(d.Plain.back(), 0);  // the end-of-children byte, not padding
  EXPECT_EQ(TSettings(file.string()).OpenAVIPath, "x");
}

// Each value is stored as OpenAVIPath; the table gives the type byte and the bytes that follow.
struct StringCase {
  const char* Label;
  std::string Value;
  TValueType Type;
  Bytes Encoded;  // length field and payload as written after the type byte
};

std::vector<StringCase> StringCases() {
  const std::string p255 = "/" + std::string(254, 'a');
  const std::string p256 = "/" + std::string(255, 'b');
  std::string p300 = "/home/ada";
  while (p300.size() < 300) p300 += "/clips";
  p300.resize(300);
  auto u32 = [](const std::string& s) { return StreamBuilder().U32(std::uint32_t(s.size())).Raw(s).Out; };
  auto u16 = [](std::u16string_view s) { return StreamBuilder().U32(std::uint32_t(s.size())).Utf16(s).Out; };
  return {
      {"ascii255", p255, TValueType::vaString, StreamBuilder().Short(p255).Out},
      {"ascii256", p256, TValueType::vaLString, u32(p256)},
      {"ascii300", p300, TValueType::vaLString, StreamBuilder().Byte(0x2C).Byte(0x01).Byte(0).Byte(0).Raw(p300).Out},
      // é takes 2 UTF-8 bytes: 19 bytes against 2 * 17 characters.
      {"accented", "/home/josé/Vidéos", TValueType::vaUTF8String, u32("/home/josé/Vidéos")},
      // Mostly ASCII with four CJK letters: 19 bytes, 11 characters, still shorter as UTF-8.
      {"mixedCjk", "/home/用户/视频", TValueType::vaUTF8String, u32("/home/用户/视频")},
      // 21 bytes against 9 characters: UTF-16.
      {"cjk", "/视频/剪辑/动画", TValueType::vaWString, u16(u"/视频/剪辑/动画")},
      // Equal sizes (10 and 2 * 5) are not shorter: UTF-16.
      {"cyrillicEqual", "видео", TValueType::vaWString, u16(u"видео")},
      {"cyrillicSlash", "/видео", TValueType::vaUTF8String, u32("/видео")},
      // Letters outside the basic plane count as two UTF-16 characters each.
      {"emoji", "🎬🎞", TValueType::vaWString, u16(u"🎬🎞")},
      // Not UTF-8 at all (a Latin-1 é): kept byte for byte.
      {"notUtf8", "/tmp/caf\xe9", TValueType::vaUTF8String, u32("/tmp/caf\xe9")},
  };
}

TEST(SettingsFile, StringTypesFollowTheSizeRuleAndReadBackUnchanged) {
  for (const StringCase& c : StringCases()) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(StringValueType(c.Value), c.Type);
    TempDir dir;
    const fs::path file = dir / "csm.dat";
    SaveSettings(file, c.Value, "/out");
    Deciphered d = Decipher(ReadFile(file));
    const Bytes expected = StreamBuilder()
                               .Header()
                               .Short("OpenAVIPath")
                               .Byte(std::uint8_t(c.Type))
                               .Raw(std::string(c.Encoded.begin(), c.Encoded.end()))
                               .Short("SaveGIFPath")
                               .Byte(6)
                               .Short("/out")
                               .Byte(0)
                               .Byte(0)
                               .Out;
    ASSERT_EQ(d.Length, expected.size());
    EXPECT_EQ(Bytes(d.Plain.begin(), d.Plain.begin() + long(d.Length)), expected);

    TSettings back(file.string());
    EXPECT_EQ(back.OpenAVIPath, c.Value);
    EXPECT_EQ(back.SaveGIFPath, "/out");
  }
}

// Streams from other writers, enciphered correctly: what they read as.
TEST(SettingsFile, ReadsEveryStringTypeFromHandMadeStreams) {
  struct Case {
    const char* Label;
    Bytes Stream;
    std::string Open, Save;
  };
  const std::vector<Case> cases = {
      {"utf16ForAscii",
       StreamBuilder().Header().Short("OpenAVIPath").Byte(18).U32(4).Utf16(u"/abc").Byte(0).Byte(0).Out, "/abc", ""},
      {"longStringShort",
       StreamBuilder().Header().Short("SaveGIFPath").Byte(12).U32(2).Raw("/q").Byte(0).Byte(0).Out, "", "/q"},
      {"ansiByte",  // a single-byte string from a Western code page
       StreamBuilder().Header().Short("OpenAVIPath").Byte(6).Byte(5).Raw("/caf").Byte(0xE9).Byte(0).Byte(0).Out,
       "/café", ""},
      {"loneSurrogate",
       StreamBuilder().Header().Short("OpenAVIPath").Byte(18).U32(2).Utf16(u"/").Byte(0x00).Byte(0xD8).Byte(0).Byte(0).Out,
       "/\xEF\xBF\xBD", ""},
      {"nameCase",  // property names match without regard to case
       StreamBuilder().Header().Short("saveGIFpath").Byte(6).Short("/s").Byte(0).Byte(0).Out, "", "/s"},
      {"repeated",  // the last value wins
       StreamBuilder().Header().Short("OpenAVIPath").Byte(6).Short("/1").Short("OpenAVIPath").Byte(6).Short("/2").Byte(0).Byte(0).Out,
       "/2", ""},
      {"otherClassName",
       StreamBuilder().Raw("TPF0").Short("TOther").Short("Obj").Short("OpenAVIPath").Byte(6).Short("/o").Byte(0).Byte(0).Out,
       "/o", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    TempDir dir;
    WriteFile(dir / "csm.dat", Encipher(c.Stream));
    TSettings s((dir / "csm.dat").string());
    EXPECT_EQ(s.OpenAVIPath, c.Open);
    EXPECT_EQ(s.SaveGIFPath, c.Save);
  }
}

// Every damaged file gives the defaults, also over values that were there before.
TEST(SettingsFile, DamagedFilesGiveDefaults) {
  TempDir good;
  SaveSettings(good / "csm.dat", "/home/ada/Videos", "/home/ada/GIFs");
  const Bytes valid = ReadFile(good / "csm.dat");
  ASSERT_EQ(valid.size(), 112u);  // 75 stream bytes in 5 blocks, trailer

  std::mt19937 rng(20240601);
  auto random = [&](std::size_t n) {
    Bytes b(n);
    for (auto& x : b) x = std::uint8_t(rng());
    return b;
  };
  auto randomWithHexTrailer = [&](std::size_t n) {
    Bytes b = random(n);
    for (std::size_t i = n - 32; i < n; ++i) b[i] = std::uint8_t("0123456789ABCDEF"[rng() % 16]);
    return b;
  };
  auto with = [&](auto change) {
    Bytes b = valid;
    change(b);
    return b;
  };
  const Bytes okProps = StreamBuilder().Header().Short("OpenAVIPath").Byte(6).Short("/v").Out;

  struct Case {
    const char* Label;
    Bytes File;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"truncatedByOne", Bytes(valid.begin(), valid.end() - 1)},
      {"trailerOnlyPart", Bytes(valid.end() - 31, valid.end())},
      {"oneByteAppended", with([](Bytes& b) { b.push_back('0'); })},
      {"trailerDigitChanged", with([](Bytes& b) { b[80] = b[80] == 'A' ? 'B' : 'A'; })},
      {"trailerNotHex", with([](Bytes& b) { b.back() = 'G'; })},
      {"bodyByteChanged", with([](Bytes& b) { b[3] ^= 0x40; })},
      {"bodyOnly", Bytes(valid.begin(), valid.end() - 32)},
      {"random64", random(64)},
      {"random1000", random(1000)},
      {"randomWithHexTrailer", randomWithHexTrailer(96)},
      {"plainText", ToBytes("OpenAVIPath=/home/ada/Videos\nSaveGIFPath=/home/ada/GIFs\n0123456789ABCDEF")},
      // Correctly enciphered, but the stream inside is wrong.
      {"badSignature", Encipher(StreamBuilder().Raw("TPF1").Short("TSettings").Short("").Byte(0).Byte(0).Out)},
      {"unknownPropertyAfterGoodOne",
       Encipher(StreamBuilder{okProps}.Short("Colour").Byte(6).Short("red").Byte(0).Byte(0).Out)},
      {"integerValue", Encipher(StreamBuilder().Header().Short("OpenAVIPath").Byte(2).Byte(7).Byte(0).Byte(0).Out)},
      {"lengthPastTheEnd", Encipher(StreamBuilder().Header().Short("OpenAVIPath").Byte(12).U32(0xFFFFFFFF).Raw("/x").Byte(0).Byte(0).Out)},
      {"utf16CountPastTheEnd", Encipher(StreamBuilder().Header().Short("OpenAVIPath").Byte(18).U32(0x80000000).Utf16(u"/x").Byte(0).Byte(0).Out)},
      {"noEndBytes", Encipher(okProps)},
      {"childObject", Encipher(StreamBuilder().Header().Byte(0).Byte(0xF0).Out)},
      // The trailer enciphered correctly, but its number does not fit the blocks.
      {"lengthOneBlockShort", Encipher(EmptyStream(), u"00000010")},
      {"lengthPastTheBlocks", Encipher(EmptyStream(), u"00000021")},
      // 38 bytes; 36 still needs three blocks but cuts off the two end bytes.
      {"lengthCutsTheStream",
       Encipher(StreamBuilder().Header().Short("OpenAVIPath").Byte(6).Short("/videos").Byte(0).Byte(0).Out, u"00000024")},
      {"lengthNotHex", Encipher(EmptyStream(), u"0000001G")},
      {"lengthWideDigit", Encipher(EmptyStream(), u"0000001\u0131")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Label);
    TempDir dir;
    const fs::path file = dir / "csm.dat";
    WriteFile(file, valid);
    TSettings s(file.string());
    ASSERT_EQ(s.OpenAVIPath, "/home/ada/Videos");
    WriteFile(file, c.File);
    s.ReadSettingsFromFile();
    EXPECT_EQ(s.OpenAVIPath, "");
    EXPECT_EQ(s.SaveGIFPath, "");
    TSettings fresh(file.string());
    EXPECT_EQ(fresh.OpenAVIPath, "");
    EXPECT_EQ(fresh.SaveGIFPath, "");
  }
}

TEST(SettingsFile, TrailerInLowerCaseIsAccepted) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "/v", "/g");
  Bytes bytes = ReadFile(file);
  for (std::size_t i = bytes.size() - 32; i < bytes.size(); ++i) bytes[i] = std::uint8_t(std::tolower(bytes[i]));
  WriteFile(file, bytes);
  TSettings s(file.string());
  EXPECT_EQ(s.OpenAVIPath, "/v");
  EXPECT_EQ(s.SaveGIFPath, "/g");
}

TEST(SettingsFile, OtherKeysReadAsDefaults) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "/v", "/g");
  TAESKey256 other = SettingsPayloadKey;
  other[0] ^= 1;
  TSettings s(other, file.string());
  EXPECT_EQ(s.OpenAVIPath, "");
  EXPECT_EQ(s.SaveGIFPath, "");
}

TEST(SettingsFile, TransientParametersAreNeverStored) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  {
    TSettings s(file.string());
    s.AVIFileName = "clip.mp4";
    s.GIFFileName = "/tmp/clip.gif";
    s.XSrc = 1, s.YSrc = 2, s.SrcW = 3, s.SrcH = 4, s.DstW = 5, s.DstH = 6;
  }
  Bytes bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 64u);
  Deciphered d = Decipher(bytes);
  EXPECT_EQ(Bytes(d.Plain.begin(), d.Plain.begin() + 17), EmptyStream());
  TSettings back(file.string());
  EXPECT_EQ(back.AVIFileName, "");
  EXPECT_EQ(back.GIFFileName, "");
  EXPECT_EQ(back.XSrc + back.YSrc + back.SrcW + back.SrcH + back.DstW + back.DstH, 0);
}

TEST(SettingsFile, ClearGIFTempParameterKeepsTheVideoName) {
  TSettings s(std::string{});
  s.AVIFileName = "clip.mp4";
  s.GIFFileName = "/tmp/clip.gif";
  s.XSrc = 1, s.YSrc = 2, s.SrcW = 3, s.SrcH = 4, s.DstW = 5, s.DstH = 6;
  s.OpenAVIPath = "/v";
  s.ClearGIFTempParameter();
  EXPECT_EQ(s.AVIFileName, "clip.mp4");
  EXPECT_EQ(s.GIFFileName, "");
  EXPECT_EQ(s.XSrc, 0);
  EXPECT_EQ(s.YSrc, 0);
  EXPECT_EQ(s.SrcW, 0);
  EXPECT_EQ(s.SrcH, 0);
  EXPECT_EQ(s.DstW, 0);
  EXPECT_EQ(s.DstH, 0);
  EXPECT_EQ(s.OpenAVIPath, "/v");
}

TEST(SettingsFile, EmptyFileNameIsAnErrorButNotAtExit) {
  TSettings s(std::string{});
  EXPECT_EQ(s.OpenAVIPath, "");
  s.OpenAVIPath = "/v";
  for (auto op : {&TCustomSettings::ReadSettingsFromFile, &TCustomSettings::WriteSettingsToFile}) {
    try {
      (s.*op)();
      ADD_FAILURE() << "no error";
    } catch (const ESettingsError& e) {
      EXPECT_STREQ(e.what(), "No Settings File");
    }
  }
  EXPECT_EQ(s.OpenAVIPath, "/v") << "the read did not even start";
}  // destroying s tries to write and must not throw

TEST(SettingsFile, ExitWithAnUnwritableFileIsQuiet) {
  TempDir dir;
  // The folder does not exist (its creation failed at start-up).
  { TSettings s((dir / "missing" / "csm.dat").string()); s.OpenAVIPath = "/v"; }
  EXPECT_FALSE(fs::exists(dir / "missing"));

  // The file's place is taken by a folder with something in it: nothing may be lost or left.
  fs::create_directories(dir / "csm.dat" / "keep");
  {
    TSettings s((dir / "csm.dat").string());
    EXPECT_EQ(s.OpenAVIPath, "") << "a folder reads as defaults";
    s.OpenAVIPath = "/v";
    EXPECT_THROW(s.WriteSettingsToFile(), std::exception);
  }
  EXPECT_TRUE(fs::is_directory(dir / "csm.dat" / "keep"));
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"csm.dat"}) << "no temporary file left";
}

TEST(SettingsFile, WritingReplacesTheOldFileWhole) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "/" + std::string(400, 'v'), "/g");
  ASSERT_GT(fs::file_size(file), 400u);
  SaveSettings(file, "", "");
  EXPECT_EQ(fs::file_size(file), 64u) << "no tail of the longer file remains";
  EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"csm.dat"});
}

TEST(SettingsFile, HugeFilesAreNotRead) {
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  SaveSettings(file, "/v", "/g");
  fs::resize_file(file, MaxSettingsFileSize + 1);  // sparse, quick
  TSettings s(file.string());
  EXPECT_EQ(s.OpenAVIPath, "");
}

// Every byte of a good stream changed in turn, enciphered correctly so the parser sees it: the
// result is either the defaults or values read, never a crash or an escaping error.
TEST(SettingsFile, MutatedStreamsNeverEscape) {
  const Bytes good = StreamBuilder()
                         .Header()
                         .Short("OpenAVIPath").Byte(18).U32(4).Utf16(u"/é🎬")
                         .Short("SaveGIFPath").Byte(20).U32(4).Raw("/é!")
                         .Byte(0).Byte(0)
                         .Out;
  TempDir dir;
  const fs::path file = dir / "csm.dat";
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (std::uint8_t v : {0x00, 0x01, 0x06, 0x0C, 0x12, 0x14, 0x7F, 0x80, 0xFF}) {
      Bytes m = good;
      m[i] = v;
      WriteFile(file, Encipher(m));
      EXPECT_NO_THROW({
        TSettings s(file.string());
        s.ReadSettingsFromFile();
      }) << "byte " << i << " = " << int(v);
    }
  }
  WriteFile(file, Encipher(good));
  TSettings s(file.string());
  EXPECT_EQ(s.OpenAVIPath, "/é🎬");
  EXPECT_EQ(s.SaveGIFPath, "/é!");
}
