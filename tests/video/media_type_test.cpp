// The media-type record: its defaults and copy rules, comparisons, the stored "data" layout,
// and the grabber's RGB type choice.
#include <gtest/gtest.h>

#include "graphics/stream.h"
#include "video/media_type.h"
#include "video/sample_grabber.h"

namespace clipsmith {
namespace {

TEST(MediaType, NewRecordIsZeroButFixedSizeOne) {
  TMediaType m;
  EXPECT_TRUE(m.MajorType().IsNull());
  EXPECT_TRUE(m.SubType().IsNull());
  EXPECT_TRUE(m.FormatType().IsNull());
  EXPECT_TRUE(m.IsFixedSize());
  EXPECT_FALSE(m.IsTemporalCompressed());
  EXPECT_EQ(m.GetSampleSize(), 1u);
  EXPECT_EQ(m.FormatLength(), 0u);
  EXPECT_EQ(m.Format(), nullptr);
  EXPECT_FALSE(m.IsValid());
  EXPECT_TRUE(m.IsPartiallySpecified());
  m.SetSampleSize(0);
  EXPECT_FALSE(m.IsFixedSize());
  EXPECT_EQ(m.GetSampleSize(), 0u);
  m.SetSampleSize(4096);
  EXPECT_TRUE(m.IsFixedSize());
  EXPECT_EQ(m.GetSampleSize(), 4096u);
  m.SetVariableSize();
  EXPECT_EQ(m.GetSampleSize(), 0u);
}

TEST(MediaType, CopiesDuplicateTheFormatBlockAndShareTheInterface) {
  TMediaType a(MEDIATYPE_Video);
  const std::uint8_t block[] = {1, 2, 3, 4, 5};
  a.SetFormat(block, 5);
  a.AMMediaType().pUnk = std::make_shared<int>(7);
  TMediaType b(a);
  EXPECT_TRUE(b.Equal(a));
  EXPECT_NE(b.Format(), a.Format());
  EXPECT_EQ(a.AMMediaType().pUnk.use_count(), 2);
  b.ReallocFormatBuffer(3);  // keeps the prefix
  EXPECT_EQ(b.FormatLength(), 3u);
  EXPECT_EQ(b.Format()[2], 3);
  EXPECT_EQ(a.FormatLength(), 5u);
  EXPECT_FALSE(b.Equal(a));
  EXPECT_TRUE(b.NotEqual(a));
  EXPECT_FALSE(a.NotEqual(a));
  b.ReallocFormatBuffer(6);
  EXPECT_EQ(b.Format()[0], 1);
  EXPECT_EQ(b.Format()[5], 0);
  b.AllocFormatBuffer(2);
  EXPECT_EQ(b.FormatLength(), 2u);
  b.ResetFormatBuffer();
  EXPECT_EQ(b.FormatLength(), 0u);
  b = a;
  EXPECT_TRUE(b.Equal(a));
  EXPECT_EQ(a.AMMediaType().pUnk.use_count(), 2);
  b.InitMediaType();
  EXPECT_EQ(a.AMMediaType().pUnk.use_count(), 1) << "freeing a record releases its interface";
}

TEST(MediaType, MatchesPartial) {
  TMediaType full(MEDIATYPE_Video);
  full.SetSubType(MEDIASUBTYPE_RGB32);
  full.SetFormatType(FORMAT_VideoInfo);
  const std::uint8_t block[] = {9, 9};
  full.SetFormat(block, 2);
  EXPECT_FALSE(full.IsPartiallySpecified());
  EXPECT_TRUE(full.IsValid());
  TMediaType p;
  EXPECT_TRUE(full.MatchesPartial(p)) << "nothing asked for";
  p.SetMajorType(MEDIATYPE_Video);
  EXPECT_TRUE(full.MatchesPartial(p));
  p.SetSubType(MEDIASUBTYPE_RGB24);
  EXPECT_FALSE(full.MatchesPartial(p));
  p.SetSubType(MEDIASUBTYPE_RGB32);
  p.SetFormatType(FORMAT_VideoInfo);
  EXPECT_FALSE(full.MatchesPartial(p)) << "format bytes differ";
  p.SetFormat(block, 2);
  EXPECT_TRUE(full.MatchesPartial(p));
  p.SetMajorType(MEDIATYPE_Audio);
  EXPECT_FALSE(full.MatchesPartial(p));
}

TEST(MediaType, DataIsTheRecordThenTheFormatBlock) {
  TMediaType m(MEDIATYPE_Video);
  m.SetSubType(MEDIASUBTYPE_RGB32);
  m.SetTemporalCompression(true);
  m.SetSampleSize(0x01020304);
  m.SetFormatType(FORMAT_VideoInfo);
  const std::uint8_t block[] = {0xAA, 0xBB, 0xCC};
  m.SetFormat(block, 3);
  auto d = m.Data();
  ASSERT_EQ(d.size(), 75u);
  // major type {73646976-0000-0010-8000-00AA00389B71}: Data1 little-endian, then Data2, Data3,
  // then the 8 bytes as they are.
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.begin() + 16),
            (std::vector<std::uint8_t>{0x76, 0x69, 0x64, 0x73, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}));
  EXPECT_EQ(d[16], 0x7E);  // subtype RGB32 {E436EB7E-...}
  EXPECT_EQ(d[19], 0xE4);
  EXPECT_EQ(d[32], 1);  // fixed-size samples
  EXPECT_EQ(d[36], 1);  // temporal compression
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 40, d.begin() + 44), (std::vector<std::uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(d[44], 0x80);  // format type {05589F80-...}
  EXPECT_EQ(d[45], 0x9F);
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 60, d.begin() + 64), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 64, d.begin() + 68), (std::vector<std::uint8_t>{3, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 72, d.end()), (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));
  // Through a stream and back; reading replaces the old format block.
  TMemoryStream s;
  m.WriteData(s);
  s.SetPosition(0);
  TMediaType r;
  const std::uint8_t old[] = {1, 2, 3, 4, 5, 6, 7, 8};
  r.SetFormat(old, 8);
  r.ReadData(s);
  EXPECT_TRUE(r.Equal(m));
  EXPECT_TRUE(r.IsTemporalCompressed());
  EXPECT_EQ(r.GetSampleSize(), 0x01020304u);
  // Without a block the value is the bare record.
  TMediaType bare;
  EXPECT_EQ(bare.Data().size(), 72u);
  EXPECT_EQ(GUIDToString(MEDIASUBTYPE_RGB32), "{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
}

TEST(MediaType, DataWhoseFormatLengthRunsPastItsEndIsRefused) {
  TMediaType m(MEDIATYPE_Video);
  const std::uint8_t block[] = {1, 2, 3, 4};
  m.SetFormat(block, 4);
  auto d = m.Data();
  TMediaType target(MEDIATYPE_Audio);
  // Too short for the record.
  EXPECT_THROW(target.SetData(std::span(d).first(71)), EReadError);
  // A format length of 0xFFFFFFF0 with 4 bytes after the record.
  d[64] = 0xF0;
  d[65] = d[66] = d[67] = 0xFF;
  EXPECT_THROW(target.SetData(d), EReadError);
  TMemoryStream s(d);
  EXPECT_THROW(target.ReadData(s), EReadError);
  EXPECT_EQ(target.MajorType(), MEDIATYPE_Audio) << "left as it was";
}

TEST(MediaType, GrabberBmpCompatibleTypes) {
  TSampleGrabber g;
  EXPECT_EQ(g.MediaType().SubType(), MEDIASUBTYPE_RGB24) << "the default";
  EXPECT_EQ(g.MediaType().FormatType(), FORMAT_VideoInfo);
  struct {
    int depth;
    const TGUID* sub;
  } depths[] = {{0, &MEDIASUBTYPE_RGB24},  {1, &MEDIASUBTYPE_RGB1},   {2, &MEDIASUBTYPE_RGB4},
                {4, &MEDIASUBTYPE_RGB4},   {5, &MEDIASUBTYPE_RGB8},   {8, &MEDIASUBTYPE_RGB8},
                {9, &MEDIASUBTYPE_RGB555}, {16, &MEDIASUBTYPE_RGB555}, {17, &MEDIASUBTYPE_RGB24},
                {24, &MEDIASUBTYPE_RGB24}, {25, &MEDIASUBTYPE_RGB32},  {32, &MEDIASUBTYPE_RGB32},
                {48, &MEDIASUBTYPE_RGB32}};
  for (auto& c : depths) {
    g.SetBMPCompatible(nullptr, c.depth);
    EXPECT_EQ(g.MediaType().SubType(), *c.sub) << c.depth;
    EXPECT_EQ(g.MediaType().MajorType(), MEDIATYPE_Video);
    EXPECT_EQ(g.MediaType().FormatType(), FORMAT_VideoInfo);
  }
  // An RGB source keeps its subtype.
  AM_MEDIA_TYPE src;
  src.subtype = MEDIASUBTYPE_RGB555;
  g.SetBMPCompatible(&src, 32);
  EXPECT_EQ(g.MediaType().SubType(), MEDIASUBTYPE_RGB555);
  // Otherwise its format block names the depth: byte 62 of a VideoInfo block, 86 of VideoInfo2.
  src.subtype = GUID_NULL;
  src.formattype = FORMAT_VideoInfo;
  src.pbFormat = MakeVideoInfo(8, 8, 8, 0);
  g.SetBMPCompatible(&src, 32);
  EXPECT_EQ(g.MediaType().SubType(), MEDIASUBTYPE_RGB8);
  src.formattype = FORMAT_VideoInfo2;
  src.pbFormat.assign(112, 0);
  src.pbFormat[86] = 16;
  g.SetBMPCompatible(&src, 32);
  EXPECT_EQ(g.MediaType().SubType(), MEDIASUBTYPE_RGB555);
  // A block too short to hold the depth leaves the default.
  src.pbFormat.assign(80, 0);
  g.SetBMPCompatible(&src, 24);
  EXPECT_EQ(g.MediaType().SubType(), MEDIASUBTYPE_RGB24);
}

}  // namespace
}  // namespace clipsmith
