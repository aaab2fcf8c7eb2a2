#include "video/sample_grabber.h"

#include <cstring>
#include <limits>

namespace clipsmith {

TSampleGrabber::TSampleGrabber() : FilterFactory(CreateSampleGrabberFilter) {
  FMediaType.SetMajorType(MEDIATYPE_Video);
  FMediaType.SetSubType(MEDIASUBTYPE_RGB24);
  FMediaType.SetFormatType(FORMAT_VideoInfo);
}

TSampleGrabber::~TSampleGrabber() { SetFilterGraph(nullptr); }

void TSampleGrabber::SetFilterGraph(TFilterGraph* graph) {
  if (graph == FFilterGraph) return;
  if (FFilterGraph) FFilterGraph->RemoveFilterComponent(this);
  FFilterGraph = graph;
  if (graph) graph->AddFilterComponent(this);
}

void TSampleGrabber::GraphDestroyed(TFilterGraph* graph) {
  if (graph == FFilterGraph) FFilterGraph = nullptr;
}

void TSampleGrabber::FilterOperation(TFilterEvent operation, long) {
  // The stage results are not looked at: a grabber that cannot do its part is left out of the
  // chain, and GetBitmap reports it.
  switch (operation) {
    case TFilterEvent::feAdding:
      FBaseFilter = FilterFactory ? FilterFactory() : nullptr;
      break;
    case TFilterEvent::feAdded: {
      FSampleGrabber = std::dynamic_pointer_cast<ISampleGrabber>(FBaseFilter);
      if (!FBaseFilter) break;
      auto pins = FBaseFilter->EnumPins();
      if (pins.size() > 0) InPutPin = pins[0];
      if (pins.size() > 1) OutPutPin = pins[1];
      UpdateMediaType();
      if (FSampleGrabber) {
        FSampleGrabber->SetBufferSamples(true);
        FSampleGrabber->SetCallback(this, 1);
      }
      break;
    }
    case TFilterEvent::feRemoving:
      if (FBaseFilter) FBaseFilter->Stop();
      if (InPutPin) InPutPin->Disconnect();
      if (OutPutPin) OutPutPin->Disconnect();
      break;
    case TFilterEvent::feRemoved:
      if (FSampleGrabber) {
        FSampleGrabber->SetCallback(nullptr, 1);
        FSampleGrabber->SetBufferSamples(false);
      }
      FSampleGrabber.reset();
      InPutPin.reset();
      OutPutPin.reset();
      FBaseFilter.reset();
      break;
  }
}

void TSampleGrabber::UpdateMediaType() {
  if (!FSampleGrabber) return;
  if (FBaseFilter) FBaseFilter->Stop();
  if (InPutPin) InPutPin->Disconnect();
  FSampleGrabber->SetMediaType(FMediaType.AMMediaType());
}

void TSampleGrabber::SetBMPCompatible(const AM_MEDIA_TYPE* source, int setDefault) {
  FMediaType.ResetFormatBuffer();
  FMediaType.AMMediaType() = AM_MEDIA_TYPE{};
  FMediaType.SetMajorType(MEDIATYPE_Video);
  FMediaType.SetFormatType(FORMAT_VideoInfo);
  const TGUID* rgb[] = {&MEDIASUBTYPE_RGB1,   &MEDIASUBTYPE_RGB4,  &MEDIASUBTYPE_RGB8,
                        &MEDIASUBTYPE_RGB555, &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32};
  bool taken = false;
  if (source) {
    for (const TGUID* g : rgb)
      if (source->subtype == *g) {
        FMediaType.SetSubType(*g);
        taken = true;
      }
  }
  if (!taken) {
    int depth = setDefault;
    if (source && !source->pbFormat.empty()) {
      std::size_t at = 0;
      if (source->formattype == FORMAT_VideoInfo || source->formattype == FORMAT_MPEGVideo) at = 62;
      if (source->formattype == FORMAT_VideoInfo2 || source->formattype == FORMAT_MPEG2Video) at = 86;
      if (at != 0 && source->pbFormat.size() >= at + 2) depth = source->pbFormat[at] | (source->pbFormat[at + 1] << 8);
    }
    const TGUID* sub;
    if (depth == 0)
      sub = &MEDIASUBTYPE_RGB24;
    else if (depth == 1)
      sub = &MEDIASUBTYPE_RGB1;
    else if (depth <= 4)
      sub = &MEDIASUBTYPE_RGB4;
    else if (depth <= 8)
      sub = &MEDIASUBTYPE_RGB8;
    else if (depth <= 16)
      sub = &MEDIASUBTYPE_RGB555;
    else if (depth <= 24)
      sub = &MEDIASUBTYPE_RGB24;
    else
      sub = &MEDIASUBTYPE_RGB32;
    FMediaType.SetSubType(*sub);
  }
  UpdateMediaType();
}

bool TSampleGrabber::GetBitmap(TBitmap& bitmap) { return MakeBitmap(bitmap, nullptr, 0, true); }

bool TSampleGrabber::GetBitmap(TBitmap& bitmap, const void* buffer, std::size_t bufferLen) {
  if (buffer && bufferLen == 0) return false;
  return MakeBitmap(bitmap, buffer, bufferLen, buffer == nullptr);
}

bool TSampleGrabber::MakeBitmap(TBitmap& bitmap, const void* buffer, std::size_t bufferLen, bool fromGrabber) {
  if (!FSampleGrabber) return false;
  AM_MEDIA_TYPE mt;
  if (FSampleGrabber->GetConnectedMediaType(mt) != S_OK) return false;
  if (mt.majortype != MEDIATYPE_Video) return false;
  std::size_t at;
  if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat() == kVideoInfoHeaderSize)
    at = kVideoInfoBitmapOffset;
  else if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat() == kVideoInfo2HeaderSize)
    at = kVideoInfo2BitmapOffset;
  else
    return false;
  BITMAPINFOHEADER h = ReadBitmapInfoHeader(mt.pbFormat.data() + at);
  TPixelFormat pf;
  switch (h.biBitCount) {
    case 1: pf = TPixelFormat::pf1bit; break;
    case 4: pf = TPixelFormat::pf4bit; break;
    case 8: pf = TPixelFormat::pf8bit; break;
    case 15:
    case 16: pf = TPixelFormat::pf16bit; break;
    case 24: pf = TPixelFormat::pf24bit; break;
    case 32: pf = TPixelFormat::pf32bit; break;
    default: return false;
  }
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1 ||
      (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS))
    return false;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  std::uint64_t imageSize = DIBImageSize(h);
  TBitmap section;
  try {
    section = TBitmap::ForOverwrite(h.biWidth, height, pf, h.biHeight > 0 ? TRowOrder::BottomUp : TRowOrder::TopDown);
  } catch (const std::exception&) {
    return false;
  }
  auto bits = section.Bits();
  std::size_t size = std::size_t(std::min<std::uint64_t>(imageSize, bits.size()));
  std::size_t copied;
  if (!fromGrabber) {
    copied = std::min(bufferLen, size);
    std::memcpy(bits.data(), buffer, copied);
  } else {
    long available = 0;
    if (FSampleGrabber->GetCurrentBuffer(&available, nullptr) != S_OK || available < 1) return false;
    // The kept frame is copied once, straight into the bitmap's pixels.
    if (std::size_t(available) > size) return false;
    if (FSampleGrabber->GetCurrentBuffer(&available, bits.data()) != S_OK) return false;
    copied = std::size_t(available);
  }
  // The bitmap was not cleared: whatever the frame did not fill is black.
  std::memset(bits.data() + copied, 0, bits.size() - copied);
  bitmap = std::move(section);
  return true;
}

void TSampleGrabber::SetOnBuffer(TOnBuffer handler) {
  std::lock_guard lk(FCriticalSection);  // waits for a callback in progress
  FOnBuffer = std::move(handler);
}

HRESULT TSampleGrabber::BufferCB(double sampleTime, const std::uint8_t* buffer, long bufferLen) {
  std::lock_guard lk(FCriticalSection);
  if (FOnBuffer) FOnBuffer(this, sampleTime, buffer, bufferLen);
  return S_OK;
}

}  // namespace clipsmith
