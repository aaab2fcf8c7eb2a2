// TVideoWindow: the control that owns the video renderer and shows the graph's current frame,
// scaled into the control with its proportions kept, on black.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "graphics/bitmap.h"
#include "video/filter_graph.h"
#include "video/frame_image_source.h"

namespace clipsmith {

class TStream;
class TVideoWindow;

enum class TVideoMode { vmNormal, vmVMR };
enum class TVMRVideoMode { vmrWindowed, vmrWindowless, vmrRenderless };

// Preference bits.
constexpr std::uint8_t vpForceOffscreen = 1 << 0;
constexpr std::uint8_t vpForceOverlays = 1 << 1;
constexpr std::uint8_t vpForceMixer = 1 << 2;
constexpr std::uint8_t vpDoNotRenderColorKeyAndBorder = 1 << 3;
constexpr std::uint8_t vpRestrictToInitialMonitor = 1 << 4;
constexpr std::uint8_t vpPreferAGPMemWhenMixing = 1 << 5;

class TVMROptions {
 public:
  explicit TVMROptions(TVideoWindow* owner) : FOwner(owner) {}

  std::uint32_t Streams() const { return FStreams; }
  // Outside 1..16 stores 1.
  void SetStreams(std::uint32_t value);
  std::uint8_t Preferences() const { return FPreferences; }
  void SetPreferences(std::uint8_t value);
  TVMRVideoMode Mode() const { return FMode; }
  void SetMode(TVMRVideoMode value);
  bool KeepAspectRatio() const { return FKeepAspectRatio; }
  void SetKeepAspectRatio(bool value);

 private:
  friend class TVideoWindow;
  TVideoWindow* FOwner;
  std::uint32_t FStreams = 4;
  std::uint8_t FPreferences = vpForceMixer;
  TVMRVideoMode FMode = TVMRVideoMode::vmrWindowed;
  bool FKeepAspectRatio = true;
};

class EVideoWindowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TVideoWindow : public QWidget, public IEvent, public IFilterComponent, public IFrameImageSource {
 public:
  explicit TVideoWindow(QWidget* parent = nullptr);
  ~TVideoWindow() override;

  TVideoMode Mode() const { return FMode; }
  void SetMode(TVideoMode value);
  TFilterGraph* FilterGraph() const { return FFilterGraph; }
  void SetFilterGraph(TFilterGraph* graph);
  TVMROptions& VMROptions() { return FVMROptions; }
  bool FullScreen() const { return FFullScreen; }
  void SetFullScreen(bool value) { FFullScreen = value; }
  bool FullScreenTopMost = false;
  bool IsFullScreen() const { return false; }
  // Background colour, 0x00BBGGRR.
  TColor Color() const { return FColor; }
  void SetColor(TColor value);

  // Raised after painting.
  std::function<void(TVideoWindow*)> OnPaint;

  // The video mixing renderer is always there.
  static bool CheckVMR() { return true; }
  // The shown frame as a bitmap file image written into stream, which is then rewound to 0.
  // False outside windowless VMR mode and while the renderer has no picture.
  bool VMRGetBitmap(TStream& stream) override;
  bool CheckInputPinsConnected();

  // IVMRWindowlessControl9 in windowless VMR mode; otherwise the renderer's interfaces.
  template <class I>
  std::shared_ptr<I> QueryInterface() const {
    if constexpr (std::is_same_v<I, IVMRWindowlessControl9>) return FWindowLess;
    return std::dynamic_pointer_cast<I>(FBaseFilter);
  }

  // IEvent
  void GraphEventNotify(long Event, LONG_PTR Param1, LONG_PTR Param2) override;
  void ControlNotify(TControlNotice Kind, long Param) override;
  // IFilterComponent
  std::shared_ptr<IBaseFilter> GetBaseFilter() override { return FBaseFilter; }
  std::string GetFilterName() override;
  void FilterOperation(TFilterEvent Operation, long Param) override;
  void GraphDestroyed(TFilterGraph* graph) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TVMROptions;
  void ReAddFilter();
  void ApplyKeepAspectRatio();
  void ApplyVideoPosition();
  void ReleaseRenderer();

  TVideoMode FMode = TVideoMode::vmNormal;
  TVMROptions FVMROptions{this};
  std::shared_ptr<IBaseFilter> FBaseFilter;
  // Draws into this control in every mode; handed out as the windowless control only in
  // windowless VMR mode.
  std::shared_ptr<IVMRWindowlessControl9> FRenderer;
  std::shared_ptr<IVMRWindowlessControl9> FWindowLess;
  bool FFullScreen = false;
  TFilterGraph* FFilterGraph = nullptr;
  TColor FColor = clBlack;
};

}  // namespace clipsmith
