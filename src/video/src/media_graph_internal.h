// Internal pieces of the media graph shared by its translation units: the decoded picture that
// travels from the worker to the grabber and the renderer, and the FFmpeg decoder.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "frame_orientation.h"
#include "video/media_graph.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;

namespace clipsmith::media {

// A failure on the worker thread with the code its caller is given: the request's result, or
// the EC_ERRORABORT event of a request nobody waits for.
class EMediaError : public std::runtime_error {
 public:
  EMediaError(HRESULT code, const std::string& message) : std::runtime_error(message), Code(code) {}
  const HRESULT Code;
};

// The code an exception caught on the worker stands for: an EMediaError's own, E_OUTOFMEMORY for
// memory that could not be had, E_FAIL for anything else.
HRESULT ErrorCodeOf(const std::exception& e);

// A converted picture: bottom-up rows of BitCount bits per pixel (blue, green, red[, 255]).
// Written once by the worker before it is handed out, read-only afterwards.
struct TVideoSample {
  TVideoSample(int width, int height, int bitCount);
  ~TVideoSample();
  TVideoSample(const TVideoSample&) = delete;
  TVideoSample& operator=(const TVideoSample&) = delete;

  int Width;
  int Height;
  int BitCount;
  std::uint32_t Stride;  // bytes per stored row, a multiple of 4
  std::size_t Size;      // Stride * Height
  std::uint8_t* Bits;    // first stored row = bottom row of the picture
  REFERENCE_TIME Time = 0;
};
using TSamplePtr = std::shared_ptr<TVideoSample>;

struct TFrameDeleter {
  void operator()(AVFrame* f) const;
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TDecodedFrame {
  TFramePtr Frame;
  REFERENCE_TIME Time = 0;      // from the first frame
  REFERENCE_TIME Duration = 0;  // display duration
};

// Demuxer and decoder of one video stream. Used by the worker thread only.
class TDecoder {
 public:
  ~TDecoder();
  // Opens the file and decodes its first frame, which becomes frame 0 of the time line and waits
  // in the look-ahead. A negative FFmpeg code on failure, with a line for the log in info.
  static HRESULT Open(const std::string& fileName, std::unique_ptr<TDecoder>& decoder, std::string& info);

  // The next frame in presentation order: from the look-ahead, else decoded. False at the end.
  bool Next(TDecodedFrame& frame);
  // Decodes one more frame into the look-ahead; false at the end of the stream.
  bool DecodeAhead();
  std::size_t AheadCount() const { return FAhead.size(); }
  const TDecodedFrame* PeekAhead() const { return FAhead.empty() ? nullptr : &FAhead.front(); }
  bool AtEnd() const { return FDrained && FAhead.empty(); }
  // Nothing more will be decoded (what is in the look-ahead is still to come).
  bool Drained() const { return FDrained; }

  // Drops everything decoded, seeks to the key frame before t and decodes forward to the last
  // frame whose time is at most t (the first frame when t lies before it). False when the
  // stream gives no frame at all.
  // abandon is asked between frames; when it answers true the seek stops where it is and
  // returns false, leaving the decoder for the next seek to put right.
  bool Seek(REFERENCE_TIME t, TDecodedFrame& current, const std::function<bool()>& abandon = {});

  // Width and height as shown: traded when the file asks for a quarter turn.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int SarNum() const { return FSarNum; }
  int SarDen() const { return FSarDen; }
  REFERENCE_TIME Duration() const { return FDuration; }
  REFERENCE_TIME NominalFrameDuration() const { return FNominalRef; }
  // End of the last frame once decoding has reached the end of the stream, else -1.
  REFERENCE_TIME DecodedEnd() const { return FDrained ? FLastEnd : -1; }
  const std::string& CodecName() const { return FCodecName; }
  // How decoded pictures are turned to be shown.
  TOrientation Orientation() const { return FOrientation; }

 private:
  TDecoder() = default;
  HRESULT OpenContexts(std::string& info);
  void CloseContexts();
  // 1 a frame, 0 the end of the stream.
  int DecodeOne(TDecodedFrame& frame);
  void ResetDecoding();
  bool SeekToStart();
  REFERENCE_TIME ScanDuration();

  std::string FFileName;
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FCodec = nullptr;
  AVPacket* FPacket = nullptr;
  int FStream = -1;
  int FTimeBaseNum = 1, FTimeBaseDen = 1;
  std::int64_t FOrigin = 0;  // stream timestamp of the first frame
  bool FOriginKnown = false;
  std::int64_t FNominal = 0;  // one frame in stream units, for frames without a duration
  REFERENCE_TIME FNominalRef = 0;
  std::int64_t FFirstPacketTs = 0;
  bool FHaveFirstPacketTs = false;
  std::int64_t FLastTs = 0, FLastDur = 0;
  bool FHaveLast = false;
  bool FDemuxDone = false, FFlushSent = false, FDrained = false;
  int FErrorRun = 0;
  int FStalledPackets = 0;
  std::int64_t FFurthestPos = -1;  // furthest read position since the last seek
  REFERENCE_TIME FLastEnd = 0;
  REFERENCE_TIME FDuration = 0;
  int FWidth = 0, FHeight = 0, FSarNum = 1, FSarDen = 1;
  TOrientation FOrientation;
  std::string FCodecName;
  std::deque<TDecodedFrame> FAhead;
};

}  // namespace clipsmith::media
