#include <gtest/gtest.h>

#include "error_of.h"

#include "gif/gif_extensions.h"
#include "giflib_decode.h"

using namespace clipsmith;
using clipsmith::testing::FromHex;
using clipsmith::testing::ToHex;

namespace {

std::vector<std::uint8_t> BytesOf(TGIFExtension& e) {
  TMemoryStream m;
  e.SaveToStream(m);
  return m.Bytes();
}

struct Fixture {
  TGIFImage image;
  TGIFFrame* frame = TGIFFrame::Create(&image);
  std::vector<std::string> warnings;
  Fixture() {
    image.OnWarning = [this](TPersistent*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  }
  // Reads one extension list from bytes into the frame.
  void Load(const std::vector<std::uint8_t>& bytes) {
    TMemoryStream m(bytes);
    frame->Extensions().LoadFromStream(m);
  }
};

using clipsmith::testing::ErrorOf;

}  // namespace

TEST(Extensions, BytesWritten) {
  Fixture fx;
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(fx.frame);
  gce->SetDelay(7);
  auto* loop = TGIFExtension::Create<TGIFAppExtNSLoop>(fx.frame);
  auto* comment = TGIFExtension::Create<TGIFCommentExtension>(fx.frame);
  struct Case {
    const char* what;
    std::function<void()> setup;
    TGIFExtension* ext;
    const char* hex;
  };
  const Case cases[] = {
      // introducer, label, block size 4, packed, delay (LE), transparent index, terminator
      {"gce delay 7", [] {}, gce, "21f904 00 0700 00 00"},
      // introducer, label, size 11, "NETSCAPE2.0", sub-block 3: id 1, loops (LE), terminator
      {"loops 0", [] {}, loop, "21ff0b 4e45545343415045322e30 030100 00 00"},
      {"loops 4", [&] { loop->SetLoops(4); }, loop, "21ff0b 4e45545343415045322e30 030104 00 00"},
      // with a buffer size, sub-block 5: id 2, size (LE, 4 bytes)
      {"buffer 1000", [&] { loop->SetBufferSize(1000); }, loop,
       "21ff0b 4e45545343415045322e30 030104 00 0502e8030000 00"},
      {"empty comment", [] {}, comment, "21fe 00"},
      {"abc", [&] { comment->Text() = {"abc"}; }, comment, "21fe 05 6162630d0a 00"},
  };
  for (const auto& c : cases) {
    c.setup();
    EXPECT_EQ(ToHex(BytesOf(*c.ext)), ToHex(FromHex(c.hex))) << c.what;
  }
  EXPECT_EQ(BytesOf(*loop).size(), 25u);
  loop->SetBufferSize(0);
  EXPECT_EQ(BytesOf(*loop).size(), 19u);
}

TEST(Extensions, LongTextIsCutInto255ByteSubBlocks) {
  Fixture fx;
  auto* comment = TGIFExtension::Create<TGIFCommentExtension>(fx.frame);
  comment->Text() = {std::string(148, 'x'), std::string(148, 'y')};  // 2 x (148 + CR LF) = 300 bytes
  auto bytes = BytesOf(*comment);
  ASSERT_EQ(bytes.size(), 2 + 1 + 255 + 1 + 45 + 1u);
  EXPECT_EQ(bytes[2], 255);
  EXPECT_EQ(bytes[2 + 256], 45);
  EXPECT_EQ(bytes.back(), 0);
  // and it reads back line by line
  Fixture back;
  back.Load(bytes);
  ASSERT_EQ(back.frame->Extensions().Count(), 1);
  auto* read = dynamic_cast<TGIFCommentExtension*>(back.frame->Extensions()[0]);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Text(), comment->Text());
}

TEST(Extensions, TextWithLatinLettersRoundTrips) {
  Fixture fx;
  auto* text = TGIFExtension::Create<TGIFTextExtension>(fx.frame);
  text->SetLeft(1), text->SetTop(2), text->SetGridWidth(300), text->SetGridHeight(4);
  text->SetCharWidth(8), text->SetCharHeight(9), text->SetForegroundColorIndex(3), text->SetBackgroundColorIndex(4);
  text->Text() = {"Grüße", "", "ok"};
  auto bytes = BytesOf(*text);
  // label, block size 12, left, top, width 300, height, cell w/h, fg, bg
  EXPECT_EQ(ToHex(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 15)),
            ToHex(FromHex("2101 0c 0100 0200 2c01 0400 08 09 03 04")));
  EXPECT_EQ(bytes[16], 'G');
  EXPECT_EQ(bytes[18], 0xFC);  // ü in a single byte
  Fixture back;
  back.Load(bytes);
  auto* read = dynamic_cast<TGIFTextExtension*>(back.frame->Extensions()[0]);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Text(), text->Text());
  EXPECT_EQ(read->GridWidth(), 300);
  EXPECT_EQ(read->BackgroundColorIndex(), 4);
}

TEST(Extensions, TransparentIndexIsCheckedAgainstTheActiveMap) {
  Fixture fx;
  for (int i = 0; i < 5; ++i) fx.frame->ColorMap().Add(RGBColor(10 * i + 1, 1, 1));
  auto* gce = TGIFExtension::Create<TGIFGraphicControlExtension>(fx.frame);
  gce->SetTransparentColorIndex(5);
  EXPECT_EQ(gce->TransparentColorIndex(), 5);
  EXPECT_EQ(fx.frame->ColorMap().Count(), 6);
  EXPECT_EQ(fx.frame->ColorMap().GetColor(5), clBlack);
  gce->SetTransparentColorIndex(9);
  EXPECT_EQ(gce->TransparentColorIndex(), 0);
  EXPECT_EQ(fx.warnings, (std::vector<std::string>{"Invalid color index - color map expanded", "Invalid color index"}));

  Fixture bare;
  auto* g2 = TGIFExtension::Create<TGIFGraphicControlExtension>(bare.frame);
  g2->SetTransparentColorIndex(200);
  EXPECT_EQ(g2->TransparentColorIndex(), 200);
  g2->SetTransparent(true);
  EXPECT_TRUE(bare.frame->Transparent());
  g2->SetDisposal(TDisposalMethod::dmPrevious);
  g2->SetUserInput(true);
  EXPECT_EQ(g2->FGCExtension.PackedFields, 0x01 | 0x02 | (3 << 2));
  EXPECT_EQ(g2->Disposal(), TDisposalMethod::dmPrevious);
  g2->SetTransparent(false);
  EXPECT_EQ(g2->FGCExtension.PackedFields, 0x02 | (3 << 2));
}

TEST(Extensions, ReadingBlocks) {
  struct Case {
    const char* what;
    const char* hex;
    const char* error;      // expected GIFException, or ""
    const char* className;  // class of the first extension read
  };
  const Case cases[] = {
      {"gce", "21f904 05 0a00 03 00 2c", "", "TGIFGraphicControlExtension"},
      {"animexts", "21ff0b 414e494d45585453312e30 030102 00 00 3b", "", "TGIFAppExtNSLoop"},
      {"unknown app", "21ff0b 58595a4150503132333435 02aabb 01cc 00 2c", "", "TGIFUnknownAppExtension"},
      {"ten-byte ident", "21ff0a 41424344454647483132 01ee 00 2c", "", "TGIFUnknownAppExtension"},
      {"label 0x02", "2102 00 2c", "Unknown extension type", ""},
      {"short ident", "21ff09 414243444546474831 00 2c", "Unsupported Application Extension block size", ""},
      {"loop block too short", "21ff0b 4e45545343415045322e30 0201ff 00 2c", "Invalid GIF data", ""},
      {"truncated comment", "21fe 05 6162", "Premature end of data", ""},
  };
  for (const auto& c : cases) {
    Fixture fx;
    std::string err = ErrorOf([&] { fx.Load(FromHex(c.hex)); });
    EXPECT_EQ(err, c.error) << c.what;
    if (*c.className) {
      ASSERT_GE(fx.frame->Extensions().Count(), 1) << c.what;
      EXPECT_STREQ(fx.frame->Extensions()[0]->ClassType().Name, c.className) << c.what;
    } else {
      EXPECT_EQ(fx.frame->Extensions().Count(), 0) << c.what;  // a failed load leaves nothing behind
    }
  }
}

TEST(Extensions, ApplicationBlocksAreWrittenBackAsRead) {
  const char* blocks[] = {
      "21ff0b 414e494d45585453312e30 030102 00 00",            // ANIMEXTS1.0 keeps its identification
      "21ff0b 58595a4150503132333435 02aabb 01cc 00",          // unregistered: byte for byte
      "21ff0b 4e45545343415045322e30 030105 00 0502 10270000 00",  // loops and buffer size
      "21ff0a 4e45545343415045322e 030105 00 00",              // a 10-byte identification stays one
      "21ff0d 4e45545343415045322e30 aabb 030105 00 00",       // so does a 13-byte one, excess kept
  };
  for (const char* hex : blocks) {
    Fixture fx;
    auto bytes = FromHex(hex);
    auto withEnd = bytes;
    withEnd.push_back(0x2C);
    fx.Load(withEnd);
    ASSERT_EQ(fx.frame->Extensions().Count(), 1);
    EXPECT_EQ(ToHex(BytesOf(*fx.frame->Extensions()[0])), ToHex(bytes)) << hex;
  }
}

TEST(Extensions, StrayByteStopsTheListWithAWarning) {
  Fixture fx;
  TMemoryStream m(FromHex("21fe 00 77 2c"));
  fx.frame->Extensions().LoadFromStream(m);
  EXPECT_EQ(fx.frame->Extensions().Count(), 1);
  EXPECT_EQ(fx.warnings, std::vector<std::string>{"Invalid extension introducer"});
  EXPECT_EQ(m.Position(), 3);  // back on the stray byte
}

TEST(Extensions, LaterRegistrationWins) {
  TExtensionList list;
  list.Add(0xFE, &TGIFCommentExtension::Class());
  list.Add(0xFE, &TGIFTextExtension::Class());
  EXPECT_EQ(list.FindExt(0xFE), &TGIFTextExtension::Class());
  list.Remove(&TGIFTextExtension::Class());
  EXPECT_EQ(list.FindExt(0xFE), &TGIFCommentExtension::Class());
  EXPECT_EQ(list.FindExt(0x02), nullptr);

  // Registering globally changes what the reader builds for comments.
  TGIFExtension::RegisterExtension(0xFE, &TGIFTextExtension::Class());
  TMemoryStream m(FromHex("fe 00"));
  EXPECT_EQ(TGIFExtension::FindExtension(m), &TGIFTextExtension::Class());
  EXPECT_EQ(m.Position(), 0);
  ExtensionList().Remove(&TGIFTextExtension::Class());
  ExtensionList().Add(0x01, &TGIFTextExtension::Class());
  EXPECT_EQ(TGIFExtension::FindExtension(m), &TGIFCommentExtension::Class());
}

TEST(Extensions, IdentifierText) {
  Fixture fx;
  auto* app = TGIFExtension::Create<TGIFAppExtNSLoop>(fx.frame);
  EXPECT_EQ(app->Identifier(), "NETSCAPE");
  EXPECT_EQ(app->Authentication(), "2.0");
  app->SetIdentifier("AB");
  EXPECT_EQ(std::string(app->FIdent.Identifier.data(), 8), "AB      ");
  app->SetAuthentication("TOOLONG");
  EXPECT_EQ(std::string(app->FIdent.Authentication.data(), 3), "TOO");
}
