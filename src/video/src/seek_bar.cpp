#include "video/seek_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include "video/exception_report.h"

namespace clipsmith {

TDSTrackBar::TDSTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent), FTimer(new QTimer(this)) {
  setObjectName("TrackBar");
  setRange(0, 10);
  setPageStep(2);
  FTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(FTimer, &QTimer::timeout, this, [this] { TimerFired(); });
}

TDSTrackBar::~TDSTrackBar() {
  FEnabled = false;
  FTimer->stop();
  SetFilterGraph(nullptr);
  FMediaSeeking.reset();
}

void TDSTrackBar::SetFilterGraph(TFilterGraph* graph) {
  if (graph == FFilterGraph) return;
  if (FFilterGraph) FFilterGraph->RemoveEventNotifier(this);
  if (graph) graph->InsertEventNotifier(this);
  FFilterGraph = graph;
}

void TDSTrackBar::GraphDestroyed(TFilterGraph* graph) {
  if (graph != FFilterGraph) return;
  FMediaSeeking.reset();
  FFilterGraph = nullptr;
}

void TDSTrackBar::SetTimerInterval(std::uint32_t ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  RestartTimer();
}

void TDSTrackBar::SetOnTimer(TTimerEvent handler) {
  FOnTimer = std::move(handler);
  RestartTimer();
}

void TDSTrackBar::SetSelStart(int v) {
  FSelStart = v;
  update();
}

void TDSTrackBar::SetSelEnd(int v) {
  FSelEnd = v;
  update();
}

void TDSTrackBar::RestartTimer() {
  FTimer->stop();
  if (FInterval != 0 && FEnabled) {
    FTimer->start(int(std::min<std::uint32_t>(FInterval, 0x7FFFFFFF)));
    if (!FTimer->isActive()) throw EOutOfResources("Not enough timers available");
  }
}

void TDSTrackBar::SetTimerRunning(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  RestartTimer();
}

void TDSTrackBar::TimerFired() {
  try {
    SeekBarTimer();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

void TDSTrackBar::SeekBarTimer() {
  if (!FMediaSeeking || FMouseDown) return;
  REFERENCE_TIME duration = 0, current = 0;
  if (FAILED(FMediaSeeking->GetDuration(&duration))) return;
  if (FAILED(FMediaSeeking->GetCurrentPosition(&current))) return;
  std::uint32_t currentPos = RefTimeToMilliseconds(current);
  std::uint32_t stopPos = RefTimeToMilliseconds(duration);
  if (FInterval == 0) return;  // no unit to count in
  SetMin(0);
  SetMax(int(stopPos / FInterval));
  SetPosition(int(currentPos / FInterval));
  if (FOnTimer) FOnTimer(this, currentPos, stopPos);
}

void TDSTrackBar::ControlNotify(TControlNotice kind, long param) {
  switch (kind) {
    case TControlNotice::cnPlay: SetTimerRunning(isEnabled()); break;
    case TControlNotice::cnStop: SetTimerRunning(false); break;
    case TControlNotice::cnActive:
      if (param == 1 && FFilterGraph)
        FMediaSeeking = FFilterGraph->QueryInterface<IMediaSeeking>();
      else if (param == 0)
        FMediaSeeking.reset();
      break;
    default: break;  // pausing keeps the timer running: the thumb follows steps and seeks
  }
}

void TDSTrackBar::GraphEventNotify(long event, LONG_PTR, LONG_PTR) {
  if (event == EC_CLOCK_CHANGED && FMediaSeeking) {
    REFERENCE_TIME duration = 0;
    FMediaSeeking->GetDuration(&duration);
    REFERENCE_TIME start = 0;
    FMediaSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_NoPositioning);
  } else if (event == EC_STEP_COMPLETE) {
    // The graph calls the notifiers before the window's step handler, so that handler compares
    // the position of the frame just shown, not one a timer period old.
    SeekBarTimer();
  }
}

void TDSTrackBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FMouseDown = true;
  QSlider::mousePressEvent(event);
}

void TDSTrackBar::mouseReleaseEvent(QMouseEvent* event) {
  QSlider::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && FMediaSeeking) {
    REFERENCE_TIME stop = 0;
    FMediaSeeking->GetStopPosition(&stop);
    // With no range yet (Max 0) there is nothing to seek to.
    if (Max() != 0) {
      REFERENCE_TIME current = stop * REFERENCE_TIME(Position()) / REFERENCE_TIME(Max());
      FMediaSeeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
    }
  }
  FMouseDown = false;
}

void TDSTrackBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  opt.subControls = QStyle::SC_SliderGroove;
  style()->drawComplexControl(QStyle::CC_Slider, &opt, &painter, this);
  if (FSelEnd > FSelStart && maximum() > minimum()) {
    // The selection as a band under the channel with a mark at each end, between the thumb
    // centres of its two ends.
    QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    int span = groove.width() - handle.width();
    auto xOf = [&](int v) {
      return groove.left() + handle.width() / 2 +
             QStyle::sliderPositionFromValue(minimum(), maximum(), std::clamp(v, minimum(), maximum()), span);
    };
    int x1 = xOf(FSelStart), x2 = xOf(FSelEnd);
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
