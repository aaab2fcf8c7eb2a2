// The pins and the frame grabber filter: what the grabber keeps of the pictures handed to it
// and how it passes them on to the callback.
#include "media_graph_pins.h"

#include <cstring>

#include "media_graph_impl.h"

namespace clipsmith {
namespace media {

HRESULT TPinImpl::Disconnect() {
  TMediaGraph* g = Owner->Graph.load();
  if (!g) return S_FALSE;
  return g->DisconnectPin(this);
}

HRESULT TPinImpl::ConnectedTo(std::shared_ptr<IPin>& pin) {
  pin.reset();
  TMediaGraph* g = Owner->Graph.load();
  if (!g) return VFW_E_NOT_CONNECTED;
  TPinImpl* peer = g->PeerOf(this);
  if (!peer) return VFW_E_NOT_CONNECTED;
  pin = peer->Owner->PinPtr(peer);
  return S_OK;
}


HRESULT TSampleGrabberFilter::SetMediaType(const AM_MEDIA_TYPE& type) {
  std::lock_guard lk(FLock);
  FType = type;
  return S_OK;
}

HRESULT TSampleGrabberFilter::GetConnectedMediaType(AM_MEDIA_TYPE& type) {
  std::lock_guard lk(FLock);
  if (!FConnected) return VFW_E_NOT_CONNECTED;
  type = FConnectedType;
  return S_OK;
}

HRESULT TSampleGrabberFilter::SetBufferSamples(bool buffer) {
  std::lock_guard lk(FLock);
  FBufferSamples = buffer;
  if (!buffer) FSample.reset();
  return S_OK;
}

HRESULT TSampleGrabberFilter::GetCurrentBuffer(long* size, void* buffer) {
  if (!size) return E_POINTER;
  TSamplePtr sample;
  {
    std::lock_guard lk(FLock);
    if (!FBufferSamples) return E_INVALIDARG;
    sample = FSample;
  }
  if (!sample) return VFW_E_WRONG_STATE;
  // The sample is never written again once handed out, so copying outside the lock is safe.
  if (!buffer) {
    *size = long(sample->Size);
    return S_OK;
  }
  if (*size < 0 || std::size_t(*size) < sample->Size) return E_OUTOFMEMORY;
  std::memcpy(buffer, sample->Bits, sample->Size);
  *size = long(sample->Size);
  return S_OK;
}

HRESULT TSampleGrabberFilter::SetCallback(ISampleGrabberCB* callback, long which) {
  std::lock_guard lk(FCallbackLock);  // waits for a callback in progress
  FCallback = callback;
  FWhich = which;
  return S_OK;
}

int TSampleGrabberFilter::AcceptedBitCount() {
  std::lock_guard lk(FLock);
  if (!FType.majortype.IsNull() && FType.majortype != MEDIATYPE_Video) return 0;
  if (!FType.formattype.IsNull() && FType.formattype != FORMAT_VideoInfo) return 0;
  if (FType.subtype.IsNull() || FType.subtype == MEDIASUBTYPE_RGB32) return 32;
  if (FType.subtype == MEDIASUBTYPE_RGB24) return 24;
  return 0;
}

void TSampleGrabberFilter::Connected(int width, int height, int bitCount, REFERENCE_TIME frameTime) {
  std::lock_guard lk(FLock);
  FConnected = true;
  FConnectedType = AM_MEDIA_TYPE{};
  FConnectedType.majortype = MEDIATYPE_Video;
  FConnectedType.subtype = bitCount == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
  FConnectedType.bFixedSizeSamples = true;
  FConnectedType.bTemporalCompression = false;
  FConnectedType.lSampleSize = DIBStride(width, std::uint16_t(bitCount)) * std::uint32_t(height);
  FConnectedType.formattype = FORMAT_VideoInfo;
  FConnectedType.pbFormat = MakeVideoInfo(width, height, bitCount, frameTime);
  FSample.reset();
}

void TSampleGrabberFilter::PinDisconnected(TPinImpl* pin) {
  if (pin != &In) return;
  std::lock_guard lk(FLock);
  FConnected = false;
  FSample.reset();
}

void TSampleGrabberFilter::Deliver(const TSamplePtr& sample) {
  {
    std::lock_guard lk(FLock);
    if (FBufferSamples) FSample = sample;
  }
  std::lock_guard lk(FCallbackLock);
  if (!FCallback) return;
  double t = double(sample->Time) / 1e7;
  if (FWhich == 0)
    FCallback->SampleCB(t);
  else
    FCallback->BufferCB(t, sample->Bits, long(sample->Size));
}

}  // namespace media

std::shared_ptr<IBaseFilter> CreateSampleGrabberFilter() { return std::make_shared<media::TSampleGrabberFilter>(); }

}  // namespace clipsmith
