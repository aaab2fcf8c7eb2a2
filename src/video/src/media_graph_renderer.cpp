// The video renderer filter: letter-boxing, drawing the bottom-up picture and asking its window
// to repaint when a new picture arrives.
#include "media_graph_renderer.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace clipsmith {
namespace media {

HRESULT TVideoRendererFilter::SetVideoClippingWindow(QObject* window) {
  std::lock_guard lk(FLock);
  FWindow = window;
  return S_OK;
}

HRESULT TVideoRendererFilter::SetVideoPosition(const QRect* source, const QRect* destination) {
  std::lock_guard lk(FLock);
  FSource = source ? *source : QRect();
  if (destination) FDestination = *destination;
  RequestRepaintLocked();
  return S_OK;
}

HRESULT TVideoRendererFilter::GetVideoPosition(QRect* source, QRect* destination) {
  std::lock_guard lk(FLock);
  if (source) *source = FSource.isNull() ? QRect(0, 0, FNativeW, FNativeH) : FSource;
  if (destination) *destination = FDestination;
  return S_OK;
}

HRESULT TVideoRendererFilter::GetNativeVideoSize(long* width, long* height) {
  std::lock_guard lk(FLock);
  if (width) *width = FNativeW;
  if (height) *height = FNativeH;
  return S_OK;
}

HRESULT TVideoRendererFilter::RepaintVideo(QWidget* window, QPainter& painter) {
  TSamplePtr sample;
  QRect dst, src;
  std::uint32_t mode;
  int sarNum, sarDen;
  {
    std::lock_guard lk(FLock);
    sample = FSample;
    dst = FDestination;
    src = FSource;
    mode = FARMode;
    sarNum = FSarNum;
    sarDen = FSarDen;
  }
  // The window's own rectangle is the device the painter draws on.
  if (dst.isEmpty() && window && painter.device())
    dst = QRect(0, 0, painter.device()->width(), painter.device()->height());
  painter.fillRect(dst, Qt::black);  // the border
  if (!sample || sample->Width <= 0 || sample->Height <= 0) return S_OK;
  if (src.isNull()) src = QRect(0, 0, sample->Width, sample->Height);
  QRect target = dst;
  if (mode == VMR9ARMode_LetterBox) {
    double aspect = double(src.width()) * sarNum / (double(src.height()) * sarDen);
    int w = dst.width(), h = dst.height();
    if (w > h * aspect) {
      int tw = std::max(1, int(h * aspect + 0.5));
      target = QRect(dst.left() + (w - tw) / 2, dst.top(), tw, h);
    } else {
      int th = std::max(1, int(w / aspect + 0.5));
      target = QRect(dst.left(), dst.top() + (h - th) / 2, w, th);
    }
  }
  // The rows are stored bottom-up: wrap them as they are and draw them mirrored.
  QImage image(sample->Bits, sample->Width, sample->Height, qsizetype(sample->Stride), QImage::Format_RGB32);
  QRect flippedSource(src.left(), sample->Height - src.top() - src.height(), src.width(), src.height());
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.translate(target.left(), target.top() + target.height());
  painter.scale(1, -1);
  painter.drawImage(QRect(0, 0, target.width(), target.height()), image, flippedSource);
  painter.restore();
  return S_OK;
}

HRESULT TVideoRendererFilter::GetCurrentImage(std::vector<std::uint8_t>& dib) {
  TSamplePtr sample;
  {
    std::lock_guard lk(FLock);
    sample = FSample;
  }
  if (!sample) return E_UNEXPECTED;
  BITMAPINFOHEADER h;
  h.biWidth = sample->Width;
  h.biHeight = sample->Height;
  h.biBitCount = std::uint16_t(sample->BitCount);
  h.biSizeImage = std::uint32_t(sample->Size);
  dib.assign(kBitmapInfoHeaderSize + sample->Size, 0);
  WriteBitmapInfoHeader(h, dib.data());
  std::memcpy(dib.data() + kBitmapInfoHeaderSize, sample->Bits, sample->Size);
  return S_OK;
}

HRESULT TVideoRendererFilter::SetAspectRatioMode(std::uint32_t mode) {
  if (mode != VMR9ARMode_None && mode != VMR9ARMode_LetterBox) return E_INVALIDARG;
  std::lock_guard lk(FLock);
  FARMode = mode;
  RequestRepaintLocked();
  return S_OK;
}

HRESULT TVideoRendererFilter::GetAspectRatioMode(std::uint32_t* mode) {
  if (!mode) return E_POINTER;
  std::lock_guard lk(FLock);
  *mode = FARMode;
  return S_OK;
}

HRESULT TVideoRendererFilter::get_FramesDroppedInRenderer(int* frames) {
  if (!frames) return E_POINTER;
  *frames = FDropped.load();
  return S_OK;
}

HRESULT TVideoRendererFilter::get_FramesDrawn(int* frames) {
  if (!frames) return E_POINTER;
  *frames = FDrawn.load();
  return S_OK;
}

void TVideoRendererFilter::Connected(int width, int height, int sarNum, int sarDen) {
  std::lock_guard lk(FLock);
  FNativeW = width;
  FNativeH = height;
  FSarNum = sarNum;
  FSarDen = sarDen;
  FSample.reset();
  FDrawn = 0;
  FDropped = 0;
}

void TVideoRendererFilter::PinDisconnected(TPinImpl*) {
  std::lock_guard lk(FLock);
  FSample.reset();
  RequestRepaintLocked();
}

void TVideoRendererFilter::Deliver(const TSamplePtr& sample) {
  std::lock_guard lk(FLock);
  FSample = sample;
  ++FDrawn;
  RequestRepaintLocked();
}

void TVideoRendererFilter::RequestRepaintLocked() {
  // Posted while holding the lock, and the window unregisters itself under the same lock
  // before it is destroyed, so the event never reaches a dead object.
  if (FWindow) QMetaObject::invokeMethod(FWindow, "update", Qt::QueuedConnection);
}

}  // namespace media

std::shared_ptr<IBaseFilter> CreateVideoRendererFilter() { return std::make_shared<media::TVideoRendererFilter>(); }

}  // namespace clipsmith
