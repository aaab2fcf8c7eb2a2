// Media types as the frame grabber and the media graph exchange them: the AM_MEDIA_TYPE record,
// the GUIDs it names, the video-info headers of uncompressed video (their bitmap header is in
// graphics/dib.h), and TMediaType, the owned record with its copy rules and its stored "data"
// bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "graphics/dib.h"

namespace clipsmith {

class TStream;

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::array<std::uint8_t, 8> D4{};
  bool IsNull() const { return *this == TGUID{}; }
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::string GUIDToString(const TGUID& g);

extern const TGUID GUID_NULL;
extern const TGUID MEDIATYPE_Video;
extern const TGUID MEDIATYPE_Audio;
extern const TGUID MEDIASUBTYPE_RGB1;
extern const TGUID MEDIASUBTYPE_RGB4;
extern const TGUID MEDIASUBTYPE_RGB8;
extern const TGUID MEDIASUBTYPE_RGB565;
extern const TGUID MEDIASUBTYPE_RGB555;
extern const TGUID MEDIASUBTYPE_RGB24;
extern const TGUID MEDIASUBTYPE_RGB32;
extern const TGUID FORMAT_None;
extern const TGUID FORMAT_VideoInfo;
extern const TGUID FORMAT_VideoInfo2;
extern const TGUID FORMAT_MPEGVideo;
extern const TGUID FORMAT_MPEG2Video;

// The media-type record. The format block is owned by the record and copied with it; pUnk is the
// record's interface reference, shared by copies.
struct AM_MEDIA_TYPE {
  TGUID majortype;
  TGUID subtype;
  bool bFixedSizeSamples = false;
  bool bTemporalCompression = false;
  std::uint32_t lSampleSize = 0;
  TGUID formattype;
  std::shared_ptr<void> pUnk;
  std::vector<std::uint8_t> pbFormat;

  std::uint32_t cbFormat() const { return std::uint32_t(pbFormat.size()); }
};

// Size of the record as stored in "data", and where each field sits in it.
constexpr std::size_t kMediaTypeRecordSize = 72;

// VIDEOINFOHEADER: source and target rectangles, bit rate, error rate, frame time, then the
// bitmap header at byte 48; 88 bytes without colour table or masks.
constexpr std::size_t kVideoInfoHeaderSize = 88;
constexpr std::size_t kVideoInfoBitmapOffset = 48;
// VIDEOINFOHEADER2 carries its bitmap header at byte 72; 112 bytes in all.
constexpr std::size_t kVideoInfo2HeaderSize = 112;
constexpr std::size_t kVideoInfo2BitmapOffset = 72;

// An 88-byte VIDEOINFOHEADER for a w x h uncompressed picture of the given depth.
std::vector<std::uint8_t> MakeVideoInfo(int width, int height, int bitCount, std::int64_t avgTimePerFrame);

class TMediaType {
 public:
  // All zeros except fixed-size samples with sample size 1.
  TMediaType();
  explicit TMediaType(const TGUID& majorType);
  explicit TMediaType(const AM_MEDIA_TYPE& mt);
  TMediaType(const TMediaType& other);
  TMediaType& operator=(const TMediaType& other);

  void Assign(const TMediaType& other) { *this = other; }
  void Read(const AM_MEDIA_TYPE& mt);

  // Major type, subtype, format type, format length and format bytes equal.
  bool Equal(const TMediaType& other) const;
  bool Equal(const AM_MEDIA_TYPE& other) const;
  // Different objects (not different contents), as the record's identity test is.
  bool NotEqual(const TMediaType& other) const { return this != &other; }
  bool IsValid() const { return !FMediaType.majortype.IsNull(); }
  bool IsFixedSize() const { return FMediaType.bFixedSizeSamples; }
  bool IsTemporalCompressed() const { return FMediaType.bTemporalCompression; }
  // 0 when the samples are not of a fixed size.
  std::uint32_t GetSampleSize() const;
  // 0 makes the samples variable-size; anything else fixed-size of that size.
  void SetSampleSize(std::uint32_t size);
  void SetVariableSize();
  void SetTemporalCompression(bool compressed);

  const std::uint8_t* Format() const { return FMediaType.pbFormat.empty() ? nullptr : FMediaType.pbFormat.data(); }
  std::uint32_t FormatLength() const { return FMediaType.cbFormat(); }
  void SetFormat(const std::uint8_t* block, std::uint32_t length);
  void ResetFormatBuffer();
  std::uint8_t* AllocFormatBuffer(std::uint32_t length);
  // Keeps the common prefix of the old block.
  std::uint8_t* ReallocFormatBuffer(std::uint32_t length);
  // Back to the state of a new record.
  void InitMediaType();
  // Every non-null GUID of partial equal to ours and, when its format type is set, equal
  // format bytes.
  bool MatchesPartial(const TMediaType& partial) const;
  // Major type or format type null.
  bool IsPartiallySpecified() const;

  const TGUID& MajorType() const { return FMediaType.majortype; }
  const TGUID& SubType() const { return FMediaType.subtype; }
  const TGUID& FormatType() const { return FMediaType.formattype; }
  void SetMajorType(const TGUID& g) { FMediaType.majortype = g; }
  void SetSubType(const TGUID& g) { FMediaType.subtype = g; }
  void SetFormatType(const TGUID& g) { FMediaType.formattype = g; }

  AM_MEDIA_TYPE& AMMediaType() { return FMediaType; }
  const AM_MEDIA_TYPE& AMMediaType() const { return FMediaType; }

  // The stored "data" value: the 72-byte record as the platform laid it out (little-endian,
  // 32-bit pointers, which are written as 0 since they mean nothing outside the process),
  // followed by the format block when its length is not 0.
  std::vector<std::uint8_t> Data() const;
  void WriteData(TStream& stream) const;
  // Replaces the contents from a stored value; raises EReadError for a value that is too short
  // or whose format length runs past its end, leaving the type unchanged.
  void SetData(std::span<const std::uint8_t> data);
  void ReadData(TStream& stream);

 private:
  AM_MEDIA_TYPE FMediaType;
};

}  // namespace clipsmith
