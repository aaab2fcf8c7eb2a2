// The demuxing and decoding half of the media graph.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "media_graph_internal.h"
#include "media_tuning.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mem.h>
}

namespace clipsmith::media {

namespace {

constexpr AVRational kRefTimeBase{1, 10000000};

AVRational TimeBaseOf(int num, int den) { return AVRational{num, den}; }

}  // namespace

TVideoSample::TVideoSample(int width, int height, int bitCount)
    : Width(width),
      Height(height),
      BitCount(bitCount),
      Stride(std::uint32_t(((std::size_t(width) * std::size_t(bitCount) + 31) / 32) * 4)),
      Size(std::size_t(Stride) * std::size_t(height)),
      Bits(static_cast<std::uint8_t*>(av_malloc(Size ? Size : 1))) {
  if (!Bits) throw std::bad_alloc();
}

TVideoSample::~TVideoSample() { av_free(Bits); }

void TFrameDeleter::operator()(AVFrame* f) const { av_frame_free(&f); }

TDecoder::~TDecoder() { CloseContexts(); }

void TDecoder::CloseContexts() {
  FAhead.clear();
  if (FPacket) av_packet_free(&FPacket);
  if (FCodec) avcodec_free_context(&FCodec);
  if (FFormat) avformat_close_input(&FFormat);
  FStream = -1;
}

HRESULT TDecoder::Open(const std::string& fileName, std::unique_ptr<TDecoder>& decoder, std::string& info) {
  std::unique_ptr<TDecoder> d(new TDecoder);
  d->FFileName = fileName;
  HRESULT hr = d->OpenContexts(info);
  if (FAILED(hr)) return hr;
  TDecodedFrame first;
  if (d->DecodeOne(first) != 1) {
    info = "no decodable video frame";
    return AVERROR_INVALIDDATA;
  }
  // The first frame is the origin of the time line.
  std::int64_t ts = first.Frame->best_effort_timestamp;
  d->FOrigin = ts == AV_NOPTS_VALUE ? 0 : ts;
  d->FOriginKnown = true;
  first.Time = 0;
  d->FLastEnd = first.Duration;
  d->FWidth = first.Frame->width;
  d->FHeight = first.Frame->height;
  AVRational sar = first.Frame->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = d->FFormat->streams[d->FStream]->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0) {
    d->FSarNum = sar.num;
    d->FSarDen = sar.den;
  }
  // Everything after the decoder sees the picture the way it is shown.
  if (d->FOrientation.SwapsSides()) {
    std::swap(d->FWidth, d->FHeight);
    std::swap(d->FSarNum, d->FSarDen);
  }
  d->FAhead.push_back(std::move(first));
  d->FDuration = d->ScanDuration();
  char line[256];
  std::snprintf(line, sizeof line, "%s %dx%d, duration %.3f s", d->FCodecName.c_str(), d->FWidth, d->FHeight,
                double(d->FDuration) / 1e7);
  info = line;
  decoder = std::move(d);
  return S_OK;
}

HRESULT TDecoder::OpenContexts(std::string& info) {
  // Only regular files: a FIFO blocks the open until someone writes to it (the worker would
  // never answer again), and a device such as /dev/zero is data without end.
  struct stat file;
  if (::stat(FFileName.c_str(), &file) != 0) {
    info = "cannot open the file";
    return AVERROR(errno);
  }
  if (!S_ISREG(file.st_mode)) {
    info = "not a regular file";
    return S_ISDIR(file.st_mode) ? AVERROR(EISDIR) : AVERROR(EINVAL);
  }
  AVDictionary* opts = nullptr;
  // Only ever read local files, also for formats that name further resources.
  av_dict_set(&opts, "protocol_whitelist", "file", 0);
  std::string url = "file:" + FFileName;
  int r = avformat_open_input(&FFormat, url.c_str(), nullptr, &opts);
  av_dict_free(&opts);
  if (r < 0) {
    info = "cannot open the file";
    return r;
  }
  r = avformat_find_stream_info(FFormat, nullptr);
  if (r < 0) {
    info = "cannot read the streams";
    return r;
  }
  const AVCodec* codec = nullptr;
  r = av_find_best_stream(FFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (r < 0) {
    info = "no video stream";
    return r;
  }
  FStream = r;
  AVStream* st = FFormat->streams[FStream];
  for (unsigned i = 0; i < FFormat->nb_streams; ++i)
    if (int(i) != FStream) FFormat->streams[i]->discard = AVDISCARD_ALL;
  std::size_t matrixSize = 0;
  const std::uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
  FOrientation = matrix && matrixSize >= 9 * sizeof(std::int32_t)
                     ? OrientationOfDisplayMatrix(reinterpret_cast<const std::int32_t*>(matrix))
                     : TOrientation{};
  FTimeBaseNum = st->time_base.num;
  FTimeBaseDen = st->time_base.den;
  FCodec = avcodec_alloc_context3(codec);
  if (!FCodec) return AVERROR(ENOMEM);
  r = avcodec_parameters_to_context(FCodec, st->codecpar);
  if (r < 0) return r;
  FCodec->pkt_timebase = st->time_base;
  FCodec->thread_count = 0;
  FCodec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  r = avcodec_open2(FCodec, codec, nullptr);
  if (r < 0) {
    info = "cannot open the decoder";
    return r;
  }
  FCodecName = codec->name;
  FPacket = av_packet_alloc();
  if (!FPacket) return AVERROR(ENOMEM);
  AVRational rate = st->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = AVRational{tuning::kFallbackFrameRate, 1};
  FNominal = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), st->time_base));
  FNominalRef = av_rescale_q(FNominal, st->time_base, kRefTimeBase);
  return S_OK;
}

void TDecoder::ResetDecoding() {
  FAhead.clear();
  avcodec_flush_buffers(FCodec);
  FDemuxDone = false;
  FFlushSent = false;
  FDrained = false;
  FErrorRun = 0;
  FStalledPackets = 0;
  FFurthestPos = -1;
  FHaveLast = false;
}

int TDecoder::DecodeOne(TDecodedFrame& out) {
  if (FDrained || !FCodec || !FFormat) return 0;
  TFramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  for (;;) {
    int r = avcodec_receive_frame(FCodec, frame.get());
    if (r == 0) {
      FErrorRun = 0;
      FStalledPackets = 0;
      AVRational tb = TimeBaseOf(FTimeBaseNum, FTimeBaseDen);
      std::int64_t ts = frame->best_effort_timestamp;
      if (ts == AV_NOPTS_VALUE) ts = FHaveLast ? FLastTs + FLastDur : (FOriginKnown ? FOrigin : 0);
      std::int64_t dur = frame->pkt_duration > 0 ? frame->pkt_duration : FNominal;
      FLastTs = ts;
      FLastDur = dur;
      FHaveLast = true;
      out.Time = av_rescale_q(ts - FOrigin, tb, kRefTimeBase);
      out.Duration = av_rescale_q(dur, tb, kRefTimeBase);
      out.Frame = std::move(frame);
      FLastEnd = out.Time + out.Duration;
      return 1;
    }
    if (r == AVERROR_EOF) {
      FDrained = true;
      return 0;
    }
    if (r != AVERROR(EAGAIN)) {
      // A damaged frame: skip it, but do not spin forever on data that never decodes.
      if (++FErrorRun > tuning::kMaxErrorRun) {
        FDrained = true;
        return 0;
      }
      continue;
    }
    if (FDemuxDone) {
      if (FFlushSent) {
        FDrained = true;  // the decoder wants input we no longer have
        return 0;
      }
      avcodec_send_packet(FCodec, nullptr);
      FFlushSent = true;
      continue;
    }
    r = av_read_frame(FFormat, FPacket);
    if (r < 0) {
      FDemuxDone = true;  // end of the file, or of its readable data
      continue;
    }
    if (FPacket->pos > FFurthestPos) {
      FFurthestPos = FPacket->pos;
      FStalledPackets = 0;
    } else if (++FStalledPackets > tuning::kMaxStalledPackets) {
      av_packet_unref(FPacket);
      FDemuxDone = true;
      continue;
    }
    if (FPacket->stream_index != FStream) {
      av_packet_unref(FPacket);
      continue;
    }
    if (!FHaveFirstPacketTs) {
      std::int64_t t = FPacket->dts != AV_NOPTS_VALUE ? FPacket->dts : FPacket->pts;
      if (t != AV_NOPTS_VALUE) {
        FFirstPacketTs = t;
        FHaveFirstPacketTs = true;
      }
    }
    r = avcodec_send_packet(FCodec, FPacket);
    av_packet_unref(FPacket);
    if (r < 0 && r != AVERROR(EAGAIN) && ++FErrorRun > tuning::kMaxErrorRun) {
      FDemuxDone = true;
    }
  }
}

bool TDecoder::Next(TDecodedFrame& frame) {
  if (!FAhead.empty()) {
    frame = std::move(FAhead.front());
    FAhead.pop_front();
    return true;
  }
  return DecodeOne(frame) == 1;
}

bool TDecoder::DecodeAhead() {
  TDecodedFrame f;
  if (DecodeOne(f) != 1) return false;
  FAhead.push_back(std::move(f));
  return true;
}

bool TDecoder::SeekToStart() {
  ResetDecoding();
  if (FHaveFirstPacketTs &&
      av_seek_frame(FFormat, FStream, FFirstPacketTs, AVSEEK_FLAG_BACKWARD) >= 0)
    return true;
  if (avformat_seek_file(FFormat, FStream, std::numeric_limits<std::int64_t>::min(), FOrigin, FOrigin, 0) >= 0)
    return true;
  // The container cannot seek: open it again.
  avcodec_free_context(&FCodec);
  av_packet_free(&FPacket);
  avformat_close_input(&FFormat);
  std::string info;
  if (FAILED(OpenContexts(info))) return false;
  ResetDecoding();
  return true;
}

bool TDecoder::Seek(REFERENCE_TIME t, TDecodedFrame& current, const std::function<bool()>& abandon) {
  if (!FFormat) return false;
  AVRational tb = TimeBaseOf(FTimeBaseNum, FTimeBaseDen);
  REFERENCE_TIME backoff = 0;
  for (int attempt = 0;; ++attempt) {
    if (abandon && abandon()) return false;
    REFERENCE_TIME from = t - backoff;
    bool fromStart = from <= 0 || attempt >= tuning::kSeekAttemptsBeforeStart;
    if (!fromStart) {
      ResetDecoding();
      std::int64_t ts = FOrigin + av_rescale_q(from, kRefTimeBase, tb);
      if (av_seek_frame(FFormat, FStream, ts, AVSEEK_FLAG_BACKWARD) < 0) fromStart = true;
    }
    if (fromStart && !SeekToStart()) return false;
    TDecodedFrame first;
    if (DecodeOne(first) != 1) {
      if (fromStart) return false;
      backoff = backoff ? backoff * 2 : tuning::kSeekBackoff;
      continue;
    }
    if (first.Time > t && !fromStart) {
      // Landed after t (an inexact index): start further back.
      backoff = backoff ? backoff * 2 : tuning::kSeekBackoff;
      continue;
    }
    TDecodedFrame prev = std::move(first);
    for (;;) {
      if (abandon && abandon()) return false;
      TDecodedFrame f;
      if (DecodeOne(f) != 1) break;
      if (f.Time > t) {
        FAhead.push_back(std::move(f));
        break;
      }
      prev = std::move(f);
    }
    current = std::move(prev);
    return true;
  }
}

REFERENCE_TIME TDecoder::ScanDuration() {
  // Reads the packet headers near the end with a second demuxer, so the main one keeps its
  // place; the end of the last frame in presentation order is the duration.
  AVFormatContext* fc = nullptr;
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "protocol_whitelist", "file", 0);
  std::string url = "file:" + FFileName;
  REFERENCE_TIME containerDuration = FFormat->duration != AV_NOPTS_VALUE && FFormat->duration > 0
                                         ? av_rescale_q(FFormat->duration, AVRational{1, AV_TIME_BASE}, kRefTimeBase)
                                         : 0;
  int r = avformat_open_input(&fc, url.c_str(), nullptr, &opts);
  av_dict_free(&opts);
  if (r < 0) return containerDuration;
  std::int64_t bestPts = AV_NOPTS_VALUE, bestDur = 0;
  if (avformat_find_stream_info(fc, nullptr) >= 0 && FStream < int(fc->nb_streams)) {
    for (unsigned i = 0; i < fc->nb_streams; ++i)
      if (int(i) != FStream) fc->streams[i]->discard = AVDISCARD_ALL;
    const std::int64_t scan = tuning::kDurationScanSeconds * std::int64_t(AV_TIME_BASE);
    if (fc->duration != AV_NOPTS_VALUE && fc->duration > scan) {
      std::int64_t start = fc->start_time != AV_NOPTS_VALUE ? fc->start_time : 0;
      av_seek_frame(fc, -1, start + fc->duration - scan, AVSEEK_FLAG_BACKWARD);
    }
    AVPacket* pkt = av_packet_alloc();
    while (pkt && av_read_frame(fc, pkt) >= 0) {
      if (pkt->stream_index == FStream && pkt->pts != AV_NOPTS_VALUE && !(pkt->flags & AV_PKT_FLAG_DISCARD)) {
        if (bestPts == AV_NOPTS_VALUE || pkt->pts > bestPts) {
          bestPts = pkt->pts;
          bestDur = pkt->duration;
        }
      }
      av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
  }
  avformat_close_input(&fc);
  if (bestPts == AV_NOPTS_VALUE) return std::max(containerDuration, FLastEnd);
  if (bestDur <= 0) bestDur = FNominal;
  AVRational tb = TimeBaseOf(FTimeBaseNum, FTimeBaseDen);
  REFERENCE_TIME end = av_rescale_q(bestPts + bestDur - FOrigin, tb, kRefTimeBase);
  return std::max(end, FLastEnd);
}

}  // namespace clipsmith::media
