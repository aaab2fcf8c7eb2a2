// The frame converter: decoded FFmpeg pictures to the graph's bottom-up RGB samples, scaled to
// the connected size and turned as the file says, in buffers taken from a small pool.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "frame_orientation.h"
#include "media_graph_internal.h"

struct SwsContext;

namespace clipsmith::media {

// Picture buffers for the converted frames. A buffer comes back here when its last holder (the
// grabber, the renderer, a copy in progress) lets go of it, on whatever thread that is.
class TSamplePool : public std::enable_shared_from_this<TSamplePool> {
 public:
  TSamplePtr Get(int width, int height, int bitCount);

 private:
  void Put(TVideoSample* p);
  std::mutex FLock;
  std::vector<std::unique_ptr<TVideoSample>> FFree;
};

// Used by the worker thread only.
class TFrameConverter {
 public:
  TFrameConverter() = default;
  ~TFrameConverter();
  TFrameConverter(const TFrameConverter&) = delete;
  TFrameConverter& operator=(const TFrameConverter&) = delete;

  // The picture f scaled to width x height (the size as shown) at bitCount bits per pixel, turned
  // by orientation, stamped with time.
  TSamplePtr Convert(const AVFrame* f, int width, int height, int bitCount, REFERENCE_TIME time,
                     const TOrientation& orientation);

 private:
  SwsContext* FSws[2] = {nullptr, nullptr};
  TFramePtr FScratch[2];  // the scaler's aligned output, one per destination format
  int FSwsColorspace[2] = {-1, -1}, FSwsRange[2] = {-1, -1};
  std::shared_ptr<TSamplePool> FPool = std::make_shared<TSamplePool>();
};

}  // namespace clipsmith::media
