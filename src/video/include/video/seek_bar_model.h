// TSeekBarModel: what the seek bar is without its widget. A timer makes its range and position
// follow the media and raises OnTimer; its selection is the range to convert; one unit is
// TimerInterval milliseconds. The widget draws it and turns the mouse into seeks; the
// command-line converter uses it alone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

#include "video/filter_graph.h"

class QTimer;

namespace clipsmith {

class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSeekBarModel : public IEvent {
 public:
  TSeekBarModel();
  ~TSeekBarModel() override;
  TSeekBarModel(const TSeekBarModel&) = delete;
  TSeekBarModel& operator=(const TSeekBarModel&) = delete;

  TFilterGraph* FilterGraph() const { return FFilterGraph; }
  void SetFilterGraph(TFilterGraph* graph);
  std::uint32_t TimerInterval() const { return FInterval; }
  void SetTimerInterval(std::uint32_t ms);
  // (sender, CurrentPos, StopPos) in milliseconds; StopPos is the duration.
  using TTimerEvent = std::function<void(TSeekBarModel*, std::uint32_t, std::uint32_t)>;
  const TTimerEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TTimerEvent handler);
  // Range, position or selection changed (the widget redraws).
  std::function<void()> OnChanged;

  // A track bar's range rules: the maximum never below the minimum, the position clamped into
  // the range whenever either changes.
  int Min() const { return FMin; }
  void SetMin(int v) { SetRange(v, std::max(FMax, v)); }
  int Max() const { return FMax; }
  void SetMax(int v) { SetRange(std::min(FMin, v), v); }
  void SetRange(int min, int max);
  int Position() const { return FPosition; }
  void SetPosition(int v);
  int PageSize() const { return FPageSize; }
  void SetPageSize(int v) { FPageSize = v; }
  int SelStart() const { return FSelStart; }
  void SetSelStart(int v);
  int SelEnd() const { return FSelEnd; }
  void SetSelEnd(int v);

  // Whether playing starts the timer (a disabled seek bar stays still).
  bool Enabled() const { return FEnabledControl; }
  void SetEnabled(bool value) { FEnabledControl = value; }

  bool TimerRunning() const { return FEnabled; }
  // While the thumb is held, ticks leave it where the user put it.
  bool MouseDown() const { return FMouseDown; }
  void SetMouseDown(bool value) { FMouseDown = value; }
  // The thumb let go at Position: seeks there, in proportion to the stop position. Nothing
  // without a range.
  void SeekToPosition();

  // One timer tick: range and position from the graph, then OnTimer.
  virtual void SeekBarTimer();

  // IEvent
  void GraphEventNotify(long Event, LONG_PTR Param1, LONG_PTR Param2) override;
  void ControlNotify(TControlNotice Kind, long Param) override;
  void GraphDestroyed(TFilterGraph* graph) override;

 private:
  void RestartTimer();
  void SetTimerRunning(bool value);
  void TimerFired();
  void Changed() {
    if (OnChanged) OnChanged();
  }

  TFilterGraph* FFilterGraph = nullptr;
  std::shared_ptr<IMediaSeeking> FMediaSeeking;
  std::unique_ptr<QTimer> FTimer;
  std::uint32_t FInterval = 1000;
  TTimerEvent FOnTimer;
  bool FEnabled = false;
  bool FEnabledControl = true;
  bool FMouseDown = false;
  // A fresh track bar's range and page.
  int FMin = 0, FMax = 10, FPosition = 0, FPageSize = 2;
  int FSelStart = 0;
  int FSelEnd = 0;
};

}  // namespace clipsmith
