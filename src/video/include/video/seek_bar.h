// TDSTrackBar: the seek bar under the video. A timer makes its range and thumb follow the media
// and raises OnTimer; releasing the thumb with the left button seeks. Its selection is the range
// to convert. One unit is TimerInterval milliseconds.
#pragma once

#include <QSlider>
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

class TDSTrackBar : public QSlider, public IEvent {
 public:
  explicit TDSTrackBar(QWidget* parent = nullptr);
  ~TDSTrackBar() override;

  TFilterGraph* FilterGraph() const { return FFilterGraph; }
  void SetFilterGraph(TFilterGraph* graph);
  std::uint32_t TimerInterval() const { return FInterval; }
  void SetTimerInterval(std::uint32_t ms);
  // (sender, CurrentPos, StopPos) in milliseconds; StopPos is the duration.
  using TTimerEvent = std::function<void(TDSTrackBar*, std::uint32_t, std::uint32_t)>;
  const TTimerEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TTimerEvent handler);

  // The track bar's own properties.
  int Min() const { return minimum(); }
  void SetMin(int v) { setMinimum(v); }
  int Max() const { return maximum(); }
  void SetMax(int v) { setMaximum(v); }
  int Position() const { return value(); }
  void SetPosition(int v) { setValue(v); }
  int PageSize() const { return pageStep(); }
  void SetPageSize(int v) { setPageStep(v); }
  int SelStart() const { return FSelStart; }
  void SetSelStart(int v);
  int SelEnd() const { return FSelEnd; }
  void SetSelEnd(int v);

  bool TimerRunning() const { return FEnabled; }
  bool MouseDown() const { return FMouseDown; }

  // One timer tick: range and position from the graph, then OnTimer.
  virtual void SeekBarTimer();

  // IEvent
  void GraphEventNotify(long Event, LONG_PTR Param1, LONG_PTR Param2) override;
  void ControlNotify(TControlNotice Kind, long Param) override;
  void GraphDestroyed(TFilterGraph* graph) override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void RestartTimer();
  void SetTimerRunning(bool value);
  void TimerFired();

  TFilterGraph* FFilterGraph = nullptr;
  std::shared_ptr<IMediaSeeking> FMediaSeeking;
  QTimer* FTimer;
  std::uint32_t FInterval = 1000;
  TTimerEvent FOnTimer;
  bool FEnabled = false;
  bool FMouseDown = false;
  int FSelStart = 0;
  int FSelEnd = 0;
};

}  // namespace clipsmith
