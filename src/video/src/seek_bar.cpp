#include "video/seek_bar.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace clipsmith {

TDSTrackBar::TDSTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setObjectName("TrackBar");
  FModel.OnChanged = [this] { Sync(); };
  Sync();
  setPageStep(FModel.PageSize());
  // The user moving the thumb (mouse or keys) moves the model's position.
  QObject::connect(this, &QSlider::valueChanged, this, [this](int v) {
    if (!FSyncing) FModel.SetPosition(v);
  });
}

TDSTrackBar::~TDSTrackBar() { FModel.OnChanged = nullptr; }

void TDSTrackBar::SetOnTimer(TTimerEvent handler) {
  FOnTimer = std::move(handler);
  if (FOnTimer)
    FModel.SetOnTimer([this](TSeekBarModel*, std::uint32_t cur, std::uint32_t stop) { FOnTimer(this, cur, stop); });
  else
    FModel.SetOnTimer(nullptr);
}

void TDSTrackBar::SetPageSize(int v) {
  FModel.SetPageSize(v);
  setPageStep(v);
}

void TDSTrackBar::Sync() {
  FSyncing = true;
  setRange(FModel.Min(), FModel.Max());
  setValue(FModel.Position());
  FSyncing = false;
  update();
}

void TDSTrackBar::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) FModel.SetEnabled(isEnabled());
  QSlider::changeEvent(event);
}

void TDSTrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FModel.SetMouseDown(true);
  QSlider::mousePressEvent(event);
}

void TDSTrackBar::mouseReleaseEvent(QMouseEvent* event) {
  QSlider::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) FModel.SeekToPosition();
  FModel.SetMouseDown(false);
}

void TDSTrackBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  opt.subControls = QStyle::SC_SliderGroove;
  style()->drawComplexControl(QStyle::CC_Slider, &opt, &painter, this);
  const int selStart = FModel.SelStart(), selEnd = FModel.SelEnd();
  if (selEnd > selStart && maximum() > minimum()) {
    // The selection as a band under the channel with a mark at each end, between the thumb
    // centres of its two ends.
    QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    int span = groove.width() - handle.width();
    auto xOf = [&](int v) {
      return groove.left() + handle.width() / 2 +
             QStyle::sliderPositionFromValue(minimum(), maximum(), std::clamp(v, minimum(), maximum()), span);
    };
    int x1 = xOf(selStart), x2 = xOf(selEnd);
    QColor colour = palette().color(QPalette::Highlight);
    int y = std::min(groove.bottom() + 3, height() - 4);
    painter.fillRect(QRect(x1, y, std::max(1, x2 - x1 + 1), 3), colour);
    int top = std::max(0, groove.top() - 3);
    painter.fillRect(QRect(x1, top, 1, y + 3 - top), colour);
    painter.fillRect(QRect(x2, top, 1, y + 3 - top), colour);
  }
  opt.subControls = QStyle::SC_SliderHandle;
  style()->drawComplexControl(QStyle::CC_Slider, &opt, &painter, this);
}

}  // namespace clipsmith
