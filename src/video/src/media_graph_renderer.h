// The video renderer filter: holds the last picture handed to it and draws it into the window
// it is given. The only part of the graph that paints.
#pragma once

#include <QRect>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "media_graph_pins.h"

class QObject;

namespace clipsmith::media {

class TVideoRendererFilter final : public TFilterBase,
                                   public IVMRWindowlessControl9,
                                   public IVMRAspectRatioControl9,
                                   public IQualProp {
 public:
  TVideoRendererFilter() { FPins = {&In}; }

  HRESULT SetVideoClippingWindow(QObject* window) override;
  HRESULT SetVideoPosition(const QRect* source, const QRect* destination) override;
  HRESULT GetVideoPosition(QRect* source, QRect* destination) override;
  HRESULT GetNativeVideoSize(long* width, long* height) override;
  HRESULT RepaintVideo(QWidget* window, QPainter& painter) override;
  HRESULT GetCurrentImage(std::vector<std::uint8_t>& dib) override;
  HRESULT SetAspectRatioMode(std::uint32_t mode) override;
  HRESULT GetAspectRatioMode(std::uint32_t* mode) override;
  HRESULT get_FramesDroppedInRenderer(int* frames) override;
  HRESULT get_FramesDrawn(int* frames) override;

  void Connected(int width, int height, int sarNum, int sarDen);
  void PinDisconnected(TPinImpl*) override;
  void Deliver(const TSamplePtr& sample);
  void Dropped() { ++FDropped; }

  TPinImpl In{this, true};

 private:
  void RequestRepaintLocked();

  std::mutex FLock;
  QObject* FWindow = nullptr;
  QRect FSource, FDestination;
  std::uint32_t FARMode = VMR9ARMode_None;
  TSamplePtr FSample;
  int FNativeW = 0, FNativeH = 0, FSarNum = 1, FSarDen = 1;
  std::atomic<int> FDrawn{0}, FDropped{0};
};

}  // namespace clipsmith::media
