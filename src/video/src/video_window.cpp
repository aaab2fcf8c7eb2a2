#include "video/video_window.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "graphics/stream.h"
#include "graphics/bmp_image.h"

namespace clipsmith {

void TVMROptions::SetStreams(std::uint32_t value) {
  FStreams = (value < 1 || value > 16) ? 1 : value;
  if (FOwner) FOwner->ReAddFilter();
}

void TVMROptions::SetPreferences(std::uint8_t value) {
  FPreferences = value;
  if (FOwner) FOwner->ReAddFilter();
}

void TVMROptions::SetMode(TVMRVideoMode value) {
  FMode = value;
  if (FOwner) FOwner->ReAddFilter();
}

void TVMROptions::SetKeepAspectRatio(bool value) {
  FKeepAspectRatio = value;
  if (FOwner) FOwner->ApplyKeepAspectRatio();
}

TVideoWindow::TVideoWindow(QWidget* parent) : QWidget(parent) {
  setObjectName("VideoWindow");
  resize(160, 120);
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TVideoWindow::~TVideoWindow() {
  SetFilterGraph(nullptr);
  ReleaseRenderer();
}

void TVideoWindow::SetColor(TColor value) {
  FColor = value;
  update();
}

void TVideoWindow::SetFilterGraph(TFilterGraph* graph) {
  if (graph == FFilterGraph) return;
  if (FFilterGraph) {
    FFilterGraph->RemoveFilterComponent(this);
    FFilterGraph->RemoveEventNotifier(this);
  }
  FFilterGraph = graph;
  if (graph) {
    graph->AddFilterComponent(this);
    graph->InsertEventNotifier(this);
  }
}

void TVideoWindow::GraphDestroyed(TFilterGraph* graph) {
  if (graph == FFilterGraph) FFilterGraph = nullptr;
}

std::string TVideoWindow::GetFilterName() { return objectName().toStdString(); }

void TVideoWindow::SetMode(TVideoMode value) {
  if (value == TVideoMode::vmVMR && !CheckVMR()) value = TVideoMode::vmNormal;
  if (value == FMode) return;
  FMode = value;
  if (FFilterGraph && FFilterGraph->Active()) {
    FFilterGraph->RemoveFilterComponent(this);
    FFilterGraph->AddFilterComponent(this);
  }
}

void TVideoWindow::ReAddFilter() {
  if (FMode != TVideoMode::vmVMR || !FFilterGraph || !FFilterGraph->Active()) return;
  FFilterGraph->RemoveFilterComponent(this);
  FFilterGraph->AddFilterComponent(this);
}

void TVideoWindow::FilterOperation(TFilterEvent operation, long) {
  switch (operation) {
    case TFilterEvent::feAdding:
      if (FMode == TVideoMode::vmVMR && FVMROptions.FMode == TVMRVideoMode::vmrRenderless)
        throw EVideoWindowError("Allocator class not set.");
      FBaseFilter = CreateVideoRendererFilter();
      break;
    case TFilterEvent::feAdded:
      FRenderer = std::dynamic_pointer_cast<IVMRWindowlessControl9>(FBaseFilter);
      if (FRenderer) FRenderer->SetVideoClippingWindow(this);
      if (FMode == TVideoMode::vmVMR && FVMROptions.FMode == TVMRVideoMode::vmrWindowless) FWindowLess = FRenderer;
      ApplyVideoPosition();
      if (FMode == TVideoMode::vmVMR) ApplyKeepAspectRatio();
      break;
    case TFilterEvent::feRemoving:
      if (FBaseFilter) {
        FBaseFilter->Stop();
        for (auto& pin : FBaseFilter->EnumPins()) CheckDSResult(pin->Disconnect());
      }
      break;
    case TFilterEvent::feRemoved:
      ReleaseRenderer();
      update();
      break;
  }
}

void TVideoWindow::ReleaseRenderer() {
  // The renderer posts repaints to this control from the worker thread: unhook it first.
  if (FRenderer) FRenderer->SetVideoClippingWindow(nullptr);
  FRenderer.reset();
  FWindowLess.reset();
  FBaseFilter.reset();
}

void TVideoWindow::ApplyKeepAspectRatio() {
  if (FVMROptions.FMode == TVMRVideoMode::vmrRenderless) return;
  auto aspect = QueryInterface<IVMRAspectRatioControl9>();
  if (!aspect) return;
  CheckDSResult(aspect->SetAspectRatioMode(FVMROptions.FKeepAspectRatio ? VMR9ARMode_LetterBox : VMR9ARMode_None));
}

void TVideoWindow::ApplyVideoPosition() {
  if (!FRenderer) return;
  QRect dst(0, 0, width(), height());
  FRenderer->SetVideoPosition(nullptr, &dst);
}

void TVideoWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyVideoPosition();
}

void TVideoWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(GetRValue(FColor), GetGValue(FColor), GetBValue(FColor)));
  if (FRenderer && CheckInputPinsConnected()) FRenderer->RepaintVideo(this, painter);
  painter.end();
  if (OnPaint) OnPaint(this);
}

bool TVideoWindow::CheckInputPinsConnected() {
  if (!FBaseFilter) return false;
  for (auto& pin : FBaseFilter->EnumPins()) {
    std::shared_ptr<IPin> peer;
    if (pin->ConnectedTo(peer) == S_OK) return true;
  }
  return false;
}

void TVideoWindow::GraphEventNotify(long, LONG_PTR, LONG_PTR) {
  // Palette and render-device changes concern a platform video window, which this control
  // does not have.
}

void TVideoWindow::ControlNotify(TControlNotice kind, long) {
  if (kind == TControlNotice::cnFileRendered) update();
}

bool TVideoWindow::VMRGetBitmap(TStream& stream) {
  if (!FWindowLess) return false;
  std::vector<std::uint8_t> dib;
  if (FAILED(FWindowLess->GetCurrentImage(dib)) || dib.size() < kBitmapInfoHeaderSize) return false;
  BITMAPINFOHEADER h = ReadBitmapInfoHeader(dib.data());
  // The file size counts the colour table the packed bitmap carries, also when biClrUsed is 0.
  TBMPFileHeader fh = BMPFileHeaderFor(h);
  WriteBMPFileHeader(stream, fh);
  std::size_t body = std::min<std::size_t>(dib.size(), fh.FileSize - kBMPFileHeaderSize);
  stream.WriteBuffer(dib.data(), body);
  stream.SetPosition(0);
  return true;
}

}  // namespace clipsmith
