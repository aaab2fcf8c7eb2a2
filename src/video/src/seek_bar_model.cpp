#include "video/seek_bar_model.h"

#include <QTimer>

#include "video/exception_report.h"
#include "video/time_text.h"

namespace clipsmith {

TSeekBarModel::TSeekBarModel() : FTimer(std::make_unique<QTimer>()) {
  FTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(FTimer.get(), &QTimer::timeout, [this] { TimerFired(); });
}

TSeekBarModel::~TSeekBarModel() {
  FEnabled = false;
  FTimer->stop();
  SetFilterGraph(nullptr);
  FMediaSeeking.reset();
}

void TSeekBarModel::SetFilterGraph(TFilterGraph* graph) {
  if (graph == FFilterGraph) return;
  if (FFilterGraph) FFilterGraph->RemoveEventNotifier(this);
  if (graph) graph->InsertEventNotifier(this);
  FFilterGraph = graph;
}

void TSeekBarModel::GraphDestroyed(TFilterGraph* graph) {
  if (graph != FFilterGraph) return;
  FMediaSeeking.reset();
  FFilterGraph = nullptr;
}

void TSeekBarModel::SetTimerInterval(std::uint32_t ms) {
  if (ms == FInterval) return;
  FInterval = ms;
  RestartTimer();
}

void TSeekBarModel::SetOnTimer(TTimerEvent handler) {
  FOnTimer = std::move(handler);
  RestartTimer();
}

void TSeekBarModel::SetRange(int min, int max) {
  const int oldMin = FMin, oldMax = FMax, oldPosition = FPosition;
  FMin = min;
  FMax = std::max(min, max);
  FPosition = std::clamp(FPosition, FMin, FMax);
  if (FMin != oldMin || FMax != oldMax || FPosition != oldPosition) Changed();
}

void TSeekBarModel::SetPosition(int v) {
  v = std::clamp(v, FMin, FMax);
  if (v == FPosition) return;
  FPosition = v;
  Changed();
}

void TSeekBarModel::SetSelStart(int v) {
  FSelStart = v;
  Changed();
}

void TSeekBarModel::SetSelEnd(int v) {
  FSelEnd = v;
  Changed();
}

void TSeekBarModel::RestartTimer() {
  FTimer->stop();
  if (FInterval != 0 && FEnabled) {
    FTimer->start(int(std::min<std::uint32_t>(FInterval, 0x7FFFFFFF)));
    if (!FTimer->isActive()) throw EOutOfResources("Not enough timers available");
  }
}

void TSeekBarModel::SetTimerRunning(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  RestartTimer();
}

void TSeekBarModel::TimerFired() {
  try {
    SeekBarTimer();
  } catch (...) {
    ReportException(std::current_exception());
  }
}

void TSeekBarModel::SeekBarTimer() {
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

void TSeekBarModel::SeekToPosition() {
  if (!FMediaSeeking) return;
  REFERENCE_TIME stop = 0;
  FMediaSeeking->GetStopPosition(&stop);
  // With no range yet (Max 0) there is nothing to seek to.
  if (Max() != 0) {
    REFERENCE_TIME current = stop * REFERENCE_TIME(Position()) / REFERENCE_TIME(Max());
    FMediaSeeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
  }
}

void TSeekBarModel::ControlNotify(TControlNotice kind, long param) {
  switch (kind) {
    case TControlNotice::cnPlay: SetTimerRunning(FEnabledControl); break;
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

void TSeekBarModel::GraphEventNotify(long event, LONG_PTR, LONG_PTR) {
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

}  // namespace clipsmith
