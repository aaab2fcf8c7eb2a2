// Something that can write the frame it shows as a bitmap file image: the video window, where
// the conversion takes a frame from when the grabber has none.
#pragma once

namespace clipsmith {

class TStream;

class IFrameImageSource {
 public:
  virtual ~IFrameImageSource() = default;
  // Writes the current frame into the stream as a bitmap file image; false when there is none.
  virtual bool VMRGetBitmap(TStream& stream) = 0;
};

}  // namespace clipsmith
