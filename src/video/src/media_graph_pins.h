// The media graph's pins and the filter base every filter of the graph derives from, with the
// source filter that stands for the open file and the frame grabber filter. The graph owns the
// connections; a pin asks its filter's graph about them.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media_graph_internal.h"
#include "video/media_graph.h"

namespace clipsmith::media {

class TMediaGraph;
class TFilterBase;

class TPinImpl final : public IPin {
 public:
  TPinImpl(TFilterBase* owner, bool input) : Owner(owner), Input(input) {}
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(std::shared_ptr<IPin>& pin) override;
  TFilterBase* const Owner;
  const bool Input;
};

class TFilterBase : public IBaseFilter, public std::enable_shared_from_this<TFilterBase> {
 public:
  std::vector<std::shared_ptr<IPin>> EnumPins() override {
    std::vector<std::shared_ptr<IPin>> pins;
    auto self = shared_from_this();
    for (TPinImpl* p : FPins) pins.push_back(std::shared_ptr<IPin>(self, p));  // pins live with the filter
    return pins;
  }
  HRESULT Stop() override { return S_OK; }
  std::string QueryFilterName() const override {
    std::lock_guard lk(FNameLock);
    return FName;
  }
  void SetName(const std::string& name) {
    std::lock_guard lk(FNameLock);
    FName = name;
  }
  std::shared_ptr<IPin> PinPtr(TPinImpl* p) { return std::shared_ptr<IPin>(shared_from_this(), p); }
  // Called by the graph when a pin of this filter loses its connection.
  virtual void PinDisconnected(TPinImpl*) {}

  std::atomic<TMediaGraph*> Graph{nullptr};

 protected:
  std::vector<TPinImpl*> FPins;

 private:
  mutable std::mutex FNameLock;
  std::string FName;
};

class TSourceFilter final : public TFilterBase {
 public:
  TSourceFilter() { FPins = {&Out}; }
  TPinImpl Out{this, false};
};

// ---------------------------------------------------------------------------------------------
// Frame grabber

class TSampleGrabberFilter final : public TFilterBase, public ISampleGrabber {
 public:
  TSampleGrabberFilter() {
    FPins = {&In, &Out};
    FType.majortype = MEDIATYPE_Video;
    FType.subtype = MEDIASUBTYPE_RGB32;
    FType.formattype = FORMAT_VideoInfo;
  }

  HRESULT SetMediaType(const AM_MEDIA_TYPE& type) override;
  HRESULT GetConnectedMediaType(AM_MEDIA_TYPE& type) override;
  HRESULT SetBufferSamples(bool buffer) override;
  HRESULT GetCurrentBuffer(long* size, void* buffer) override;
  HRESULT SetCallback(ISampleGrabberCB* callback, long which) override;

  // Bits per pixel the grabber accepts for decoded video: 32 or 24, 0 for none.
  int AcceptedBitCount();
  void Connected(int width, int height, int bitCount, REFERENCE_TIME frameTime);
  void PinDisconnected(TPinImpl* pin) override;
  void Deliver(const TSamplePtr& sample);

  TPinImpl In{this, true};
  TPinImpl Out{this, false};

 private:
  std::mutex FLock;
  AM_MEDIA_TYPE FType;
  bool FConnected = false;
  AM_MEDIA_TYPE FConnectedType;
  bool FBufferSamples = false;
  TSamplePtr FSample;
  std::mutex FCallbackLock;
  ISampleGrabberCB* FCallback = nullptr;
  long FWhich = 1;
};

}  // namespace clipsmith::media
