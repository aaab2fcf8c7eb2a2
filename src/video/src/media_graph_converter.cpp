// The frame converter and its sample pool.
#include "media_graph_converter.h"

#include "media_tuning.h"

#include "graphics/stage_times.h"

#include <cstring>
#include <new>
#include <string>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace clipsmith::media {

TSamplePtr TSamplePool::Get(int width, int height, int bitCount) {
  std::unique_ptr<TVideoSample> sample;
  {
    std::lock_guard lk(FLock);
    for (auto it = FFree.begin(); it != FFree.end(); ++it) {
      if ((*it)->Width == width && (*it)->Height == height && (*it)->BitCount == bitCount) {
        sample = std::move(*it);
        FFree.erase(it);
        break;
      }
    }
    if (!sample) FFree.clear();  // another size: the old buffers will not be asked for again
  }
  if (!sample) sample = std::make_unique<TVideoSample>(width, height, bitCount);
  std::weak_ptr<TSamplePool> pool = weak_from_this();
  return TSamplePtr(sample.release(), [pool](TVideoSample* p) {
    if (auto owner = pool.lock())
      owner->Put(p);
    else
      delete p;
  });
}

void TSamplePool::Put(TVideoSample* p) {
  std::unique_ptr<TVideoSample> sample(p);
  std::lock_guard lk(FLock);
  if (FFree.size() < tuning::kSamplePoolSize) FFree.push_back(std::move(sample));
}

TFrameConverter::~TFrameConverter() {
  for (auto*& s : FSws) sws_freeContext(s);
}

TSamplePtr TFrameConverter::Convert(const AVFrame* f, int width, int height, int bitCount, REFERENCE_TIME time,
                                    const TOrientation& orientation) {
  TStageTimer timer(TStage::PixelConversion);
  TSamplePtr sample = FPool->Get(width, height, bitCount);
  sample->Time = time;
  int slot = bitCount == 32 ? 0 : 1;
  AVPixelFormat dstFormat = bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  // A picture shown turned by a quarter turn is scaled at its coded size, then turned.
  const int codedWidth = orientation.SwapsSides() ? height : width;
  const int codedHeight = orientation.SwapsSides() ? width : height;
  SwsContext* sws = sws_getCachedContext(FSws[slot], f->width, f->height, AVPixelFormat(f->format), codedWidth, codedHeight,
                                         dstFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (sws != FSws[slot]) {
    FSws[slot] = sws;
    FSwsColorspace[slot] = FSwsRange[slot] = -1;
  }
  if (!sws) {
    // A picture the scaler cannot take (a pixel format it does not read, a size it refuses) has
    // no frame to show: a black one would pass for the video's picture.
    const char* format = av_get_pix_fmt_name(AVPixelFormat(f->format));
    throw EMediaError(AVERROR(ENOSYS), "no scaler from " + std::string(format ? format : "an unknown format") + " " +
                                           std::to_string(f->width) + "x" + std::to_string(f->height) + " to " +
                                           std::to_string(codedWidth) + "x" + std::to_string(codedHeight) + " at " +
                                           std::to_string(bitCount) + " bits");
  }
  if (FSwsColorspace[slot] != f->colorspace || FSwsRange[slot] != f->color_range) {
    // The colour matrix and range of the frame, as the ffmpeg command's scaler takes them.
    int *invTable, *table, srcFull, dstFull, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(sws, &invTable, &srcFull, &table, &dstFull, &brightness, &contrast, &saturation) >= 0) {
      const int* coefficients = sws_getCoefficients(f->colorspace);
      if (f->color_range != AVCOL_RANGE_UNSPECIFIED) srcFull = f->color_range == AVCOL_RANGE_JPEG;
      sws_setColorspaceDetails(sws, coefficients, srcFull, coefficients, dstFull, brightness, contrast, saturation);
    }
    FSwsColorspace[slot] = f->colorspace;
    FSwsRange[slot] = f->color_range;
  }
  // The scaler writes into a frame of FFmpeg's own aligned, padded layout (its assembly writes
  // whole vector widths past the row's end, and reads the destination it blends into); the
  // sample's rows are then copied bottom-up, with each row's padding zeroed, so that every byte
  // the sample holds is set on every run.
  AVFrame* scratch = FScratch[slot].get();
  if (!scratch || scratch->width != codedWidth || scratch->height != codedHeight || scratch->format != dstFormat) {
    FScratch[slot].reset(av_frame_alloc());
    scratch = FScratch[slot].get();
    if (!scratch) throw std::bad_alloc();
    scratch->width = codedWidth;
    scratch->height = codedHeight;
    scratch->format = dstFormat;
    if (av_frame_get_buffer(scratch, 0) < 0) {
      FScratch[slot].reset();
      throw std::bad_alloc();
    }
  }
  int scaled = sws_scale(sws, f->data, f->linesize, 0, f->height, scratch->data, scratch->linesize);
  if (scaled != codedHeight)
    throw EMediaError(AVERROR_EXTERNAL, "the scaler gave " + std::to_string(scaled) + " of " +
                                            std::to_string(codedHeight) + " rows");
  const std::size_t rowBytes = std::size_t(width) * std::size_t(bitCount / 8);
  if (!orientation.Identity())
    CopyOriented(scratch->data[0], scratch->linesize[0], codedWidth, codedHeight, bitCount / 8, orientation,
                 sample->Bits + std::size_t(height - 1) * sample->Stride, -std::ptrdiff_t(sample->Stride));
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = sample->Bits + std::size_t(height - 1 - y) * sample->Stride;
    if (orientation.Identity())
      std::memcpy(row, scratch->data[0] + std::size_t(y) * std::size_t(scratch->linesize[0]), rowBytes);
    std::memset(row + rowBytes, 0, sample->Stride - rowBytes);
  }
  return sample;
}

}  // namespace clipsmith::media
