#include "video/media_type.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "graphics/little_endian.h"
#include "graphics/stream.h"

namespace clipsmith {

using le::Get16;
using le::Get32;
using le::Put16;
using le::Put32;
using le::Put64;

namespace {

constexpr TGUID G(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::array<std::uint8_t, 8> d4) {
  return TGUID{d1, d2, d3, d4};
}

void PutGUID(std::uint8_t* p, const TGUID& g) {
  Put32(p, g.D1);
  Put16(p + 4, g.D2);
  Put16(p + 6, g.D3);
  std::memcpy(p + 8, g.D4.data(), 8);
}
TGUID GetGUID(const std::uint8_t* p) {
  TGUID g;
  g.D1 = Get32(p);
  g.D2 = Get16(p + 4);
  g.D3 = Get16(p + 6);
  std::memcpy(g.D4.data(), p + 8, 8);
  return g;
}

// Field offsets of the 72-byte record.
constexpr std::size_t kOffMajor = 0, kOffSub = 16, kOffFixed = 32, kOffTemporal = 36, kOffSampleSize = 40,
                      kOffFormatType = 44, kOffUnk = 60, kOffCbFormat = 64, kOffPbFormat = 68;

}  // namespace

const TGUID GUID_NULL{};
const TGUID MEDIATYPE_Video = G(0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
const TGUID MEDIATYPE_Audio = G(0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
const TGUID MEDIASUBTYPE_RGB1 = G(0xE436EB78, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB4 = G(0xE436EB79, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB8 = G(0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB565 = G(0xE436EB7B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB555 = G(0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB24 = G(0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID MEDIASUBTYPE_RGB32 = G(0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const TGUID FORMAT_None = G(0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96});
const TGUID FORMAT_VideoInfo = G(0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A});
const TGUID FORMAT_VideoInfo2 = G(0xF72A76A0, 0xEB0A, 0x11D0, {0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA});
const TGUID FORMAT_MPEGVideo = G(0x05589F82, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A});
const TGUID FORMAT_MPEG2Video = G(0xE06D80E3, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA});

std::string GUIDToString(const TGUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2, g.D3, g.D4[0],
                g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

std::vector<std::uint8_t> MakeVideoInfo(int width, int height, int bitCount, std::int64_t avgTimePerFrame) {
  std::vector<std::uint8_t> block(kVideoInfoHeaderSize, 0);
  // rcSource and rcTarget stay empty: the whole picture.
  Put64(block.data() + 40, std::uint64_t(avgTimePerFrame));
  BITMAPINFOHEADER h;
  h.biWidth = width;
  h.biHeight = height;  // bottom-up rows
  h.biBitCount = std::uint16_t(bitCount);
  h.biSizeImage = std::uint32_t(DIBStride(width, std::uint16_t(bitCount)) * std::uint64_t(height));
  std::uint64_t bitRate = avgTimePerFrame > 0 ? std::uint64_t(h.biSizeImage) * 8 * 10000000 / std::uint64_t(avgTimePerFrame) : 0;
  Put32(block.data() + 32, std::uint32_t(std::min<std::uint64_t>(bitRate, 0xFFFFFFFFu)));
  WriteBitmapInfoHeader(h, block.data() + kVideoInfoBitmapOffset);
  return block;
}

// ---------------------------------------------------------------------------------------------

TMediaType::TMediaType() { InitMediaType(); }

TMediaType::TMediaType(const TGUID& majorType) {
  InitMediaType();
  FMediaType.majortype = majorType;
}

TMediaType::TMediaType(const AM_MEDIA_TYPE& mt) { Read(mt); }

TMediaType::TMediaType(const TMediaType& other) { Read(other.FMediaType); }

TMediaType& TMediaType::operator=(const TMediaType& other) {
  if (this != &other) Read(other.FMediaType);
  return *this;
}

void TMediaType::Read(const AM_MEDIA_TYPE& mt) {
  if (&mt == &FMediaType) return;
  AM_MEDIA_TYPE copy;
  copy.majortype = mt.majortype;
  copy.subtype = mt.subtype;
  copy.bFixedSizeSamples = mt.bFixedSizeSamples;
  copy.bTemporalCompression = mt.bTemporalCompression;
  copy.lSampleSize = mt.lSampleSize;
  copy.formattype = mt.formattype;
  copy.pUnk = mt.pUnk;
  try {
    copy.pbFormat = mt.pbFormat;
  } catch (const std::bad_alloc&) {
    copy.pbFormat.clear();  // no memory for the block: the copy has none
  }
  FMediaType = std::move(copy);
}

bool TMediaType::Equal(const AM_MEDIA_TYPE& o) const {
  return FMediaType.majortype == o.majortype && FMediaType.subtype == o.subtype &&
         FMediaType.formattype == o.formattype && FMediaType.pbFormat == o.pbFormat;
}

bool TMediaType::Equal(const TMediaType& other) const { return Equal(other.FMediaType); }

std::uint32_t TMediaType::GetSampleSize() const { return FMediaType.bFixedSizeSamples ? FMediaType.lSampleSize : 0; }

void TMediaType::SetSampleSize(std::uint32_t size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    FMediaType.bFixedSizeSamples = true;
    FMediaType.lSampleSize = size;
  }
}

void TMediaType::SetVariableSize() { FMediaType.bFixedSizeSamples = false; }

void TMediaType::SetTemporalCompression(bool compressed) { FMediaType.bTemporalCompression = compressed; }

void TMediaType::SetFormat(const std::uint8_t* block, std::uint32_t length) {
  if (length == 0 || block == nullptr) {
    FMediaType.pbFormat.clear();
    return;
  }
  FMediaType.pbFormat.assign(block, block + length);
}

void TMediaType::ResetFormatBuffer() {
  FMediaType.pbFormat.clear();
  FMediaType.pbFormat.shrink_to_fit();
}

std::uint8_t* TMediaType::AllocFormatBuffer(std::uint32_t length) {
  if (length == 0) return nullptr;
  if (FMediaType.pbFormat.size() == length) return FMediaType.pbFormat.data();
  FMediaType.pbFormat.assign(length, 0);
  return FMediaType.pbFormat.data();
}

std::uint8_t* TMediaType::ReallocFormatBuffer(std::uint32_t length) {
  if (length == 0) return nullptr;
  FMediaType.pbFormat.resize(length, 0);
  return FMediaType.pbFormat.data();
}

void TMediaType::InitMediaType() {
  FMediaType = AM_MEDIA_TYPE{};
  FMediaType.bFixedSizeSamples = true;
  FMediaType.lSampleSize = 1;
}

bool TMediaType::MatchesPartial(const TMediaType& partial) const {
  const AM_MEDIA_TYPE& p = partial.FMediaType;
  if (!p.majortype.IsNull() && p.majortype != FMediaType.majortype) return false;
  if (!p.subtype.IsNull() && p.subtype != FMediaType.subtype) return false;
  if (!p.formattype.IsNull()) {
    if (p.formattype != FMediaType.formattype) return false;
    if (p.pbFormat != FMediaType.pbFormat) return false;
  }
  return true;
}

bool TMediaType::IsPartiallySpecified() const {
  return FMediaType.majortype.IsNull() || FMediaType.formattype.IsNull();
}

std::vector<std::uint8_t> TMediaType::Data() const {
  std::vector<std::uint8_t> out(kMediaTypeRecordSize + FMediaType.pbFormat.size(), 0);
  std::uint8_t* p = out.data();
  PutGUID(p + kOffMajor, FMediaType.majortype);
  PutGUID(p + kOffSub, FMediaType.subtype);
  Put32(p + kOffFixed, FMediaType.bFixedSizeSamples ? 1 : 0);
  Put32(p + kOffTemporal, FMediaType.bTemporalCompression ? 1 : 0);
  Put32(p + kOffSampleSize, FMediaType.lSampleSize);
  PutGUID(p + kOffFormatType, FMediaType.formattype);
  Put32(p + kOffUnk, 0);
  Put32(p + kOffCbFormat, FMediaType.cbFormat());
  Put32(p + kOffPbFormat, 0);
  std::copy(FMediaType.pbFormat.begin(), FMediaType.pbFormat.end(), out.begin() + kMediaTypeRecordSize);
  return out;
}

void TMediaType::WriteData(TStream& stream) const {
  auto bytes = Data();
  stream.WriteBuffer(bytes.data(), bytes.size());
}

void TMediaType::SetData(std::span<const std::uint8_t> data) {
  if (data.size() < kMediaTypeRecordSize) throw EReadError("Stream read error");
  const std::uint8_t* p = data.data();
  std::uint32_t cb = Get32(p + kOffCbFormat);
  if (cb > data.size() - kMediaTypeRecordSize) throw EReadError("Stream read error");
  AM_MEDIA_TYPE mt;
  mt.majortype = GetGUID(p + kOffMajor);
  mt.subtype = GetGUID(p + kOffSub);
  mt.bFixedSizeSamples = Get32(p + kOffFixed) != 0;
  mt.bTemporalCompression = Get32(p + kOffTemporal) != 0;
  mt.lSampleSize = Get32(p + kOffSampleSize);
  mt.formattype = GetGUID(p + kOffFormatType);
  mt.pbFormat.assign(p + kMediaTypeRecordSize, p + kMediaTypeRecordSize + cb);
  FMediaType = std::move(mt);  // the old block and interface reference go here
}

void TMediaType::ReadData(TStream& stream) {
  std::uint8_t record[kMediaTypeRecordSize];
  stream.ReadBuffer(record, sizeof record);
  std::uint32_t cb = Get32(record + kOffCbFormat);
  std::int64_t left = stream.Size() - stream.Position();
  if (left < 0 || std::uint64_t(cb) > std::uint64_t(left)) throw EReadError("Stream read error");
  std::vector<std::uint8_t> all(record, record + sizeof record);
  all.resize(sizeof record + cb);
  if (cb != 0) stream.ReadBuffer(all.data() + sizeof record, cb);
  SetData(all);
}

}  // namespace clipsmith
