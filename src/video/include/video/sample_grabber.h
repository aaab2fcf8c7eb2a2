// TSampleGrabber: the component that puts the frame grabber into the graph, sets the media type
// it accepts, and turns the last frame that passed into a bitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "graphics/bitmap.h"
#include "video/filter_graph.h"
#include "video/media_type.h"

namespace clipsmith {

class TSampleGrabber : public IFilterComponent, private ISampleGrabberCB {
 public:
  TSampleGrabber();
  ~TSampleGrabber() override;
  TSampleGrabber(const TSampleGrabber&) = delete;
  TSampleGrabber& operator=(const TSampleGrabber&) = delete;

  std::string Name = "SampleGrabber";
  // Creates the grabber filter when the graph is activated; tests may put a stand-in here.
  std::function<std::shared_ptr<IBaseFilter>()> FilterFactory;

  TFilterGraph* FilterGraph() const { return FFilterGraph; }
  void SetFilterGraph(TFilterGraph* graph);

  // The type the grabber accepts; call UpdateMediaType after changing it. A new grabber asks for
  // RGB24 video; the program sets RGB32.
  TMediaType& MediaType() { return FMediaType; }
  void UpdateMediaType();
  // An uncompressed RGB video type, from source's subtype when that is RGB, else from the bit
  // depth setDefault or the depth named in source's format block.
  void SetBMPCompatible(const AM_MEDIA_TYPE* source, int setDefault);

  // The last frame that passed, as a bitmap of the connected type's size, depth and row order
  // (for RGB32: pf32bit, bottom-up rows, stride width * 4). False, leaving bitmap untouched,
  // when there is no connection, no kept frame, or a format block it does not expect.
  bool GetBitmap(TBitmap& bitmap);
  // The same from a caller's buffer of bufferLen bytes.
  bool GetBitmap(TBitmap& bitmap, const void* buffer, std::size_t bufferLen);

  // Raised on the graph's worker thread for every frame, one at a time (sender, sample time in
  // seconds, pixels, byte count); it must not touch widgets.
  using TOnBuffer = std::function<void(TSampleGrabber*, double, const std::uint8_t*, long)>;
  void SetOnBuffer(TOnBuffer handler);

  std::shared_ptr<ISampleGrabber> SampleGrabber() const { return FSampleGrabber; }
  template <class I>
  std::shared_ptr<I> QueryInterface() const {
    return std::dynamic_pointer_cast<I>(FBaseFilter);
  }

  // IFilterComponent
  std::shared_ptr<IBaseFilter> GetBaseFilter() override { return FBaseFilter; }
  std::string GetFilterName() override { return Name; }
  void FilterOperation(TFilterEvent operation, long param) override;
  void GraphDestroyed(TFilterGraph* graph) override;

 private:
  HRESULT SampleCB(double) override { return S_OK; }
  HRESULT BufferCB(double sampleTime, const std::uint8_t* buffer, long bufferLen) override;
  bool MakeBitmap(TBitmap& bitmap, const void* buffer, std::size_t bufferLen, bool fromGrabber);

  std::shared_ptr<IBaseFilter> FBaseFilter;
  TFilterGraph* FFilterGraph = nullptr;
  TMediaType FMediaType;
  std::mutex FCriticalSection;
  TOnBuffer FOnBuffer;
  std::shared_ptr<ISampleGrabber> FSampleGrabber;
  std::shared_ptr<IPin> InPutPin, OutPutPin;
};

}  // namespace clipsmith
