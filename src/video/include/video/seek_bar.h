// TDSTrackBar: the seek bar under the video. It draws a TSeekBarModel (range, thumb, selection,
// the timer that makes them follow the media) and turns a release of the thumb with the left
// button into a seek. One unit is TimerInterval milliseconds.
#pragma once

#include <QSlider>
#include <cstdint>
#include <functional>

#include "video/seek_bar_model.h"

namespace clipsmith {

class TDSTrackBar : public QSlider {
 public:
  explicit TDSTrackBar(QWidget* parent = nullptr);
  ~TDSTrackBar() override;

  // What the bar shows; the conversion and the command line read it without the widget.
  TSeekBarModel& Model() { return FModel; }
  const TSeekBarModel& Model() const { return FModel; }

  TFilterGraph* FilterGraph() const { return FModel.FilterGraph(); }
  void SetFilterGraph(TFilterGraph* graph) { FModel.SetFilterGraph(graph); }
  std::uint32_t TimerInterval() const { return FModel.TimerInterval(); }
  void SetTimerInterval(std::uint32_t ms) { FModel.SetTimerInterval(ms); }
  // (sender, CurrentPos, StopPos) in milliseconds; StopPos is the duration.
  using TTimerEvent = std::function<void(TDSTrackBar*, std::uint32_t, std::uint32_t)>;
  const TTimerEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TTimerEvent handler);

  int Min() const { return FModel.Min(); }
  void SetMin(int v) { FModel.SetMin(v); }
  int Max() const { return FModel.Max(); }
  void SetMax(int v) { FModel.SetMax(v); }
  int Position() const { return FModel.Position(); }
  void SetPosition(int v) { FModel.SetPosition(v); }
  int PageSize() const { return FModel.PageSize(); }
  void SetPageSize(int v);
  int SelStart() const { return FModel.SelStart(); }
  void SetSelStart(int v) { FModel.SetSelStart(v); }
  int SelEnd() const { return FModel.SelEnd(); }
  void SetSelEnd(int v) { FModel.SetSelEnd(v); }

  bool TimerRunning() const { return FModel.TimerRunning(); }
  bool MouseDown() const { return FModel.MouseDown(); }

  // One timer tick: range and position from the graph, then OnTimer.
  void SeekBarTimer() { FModel.SeekBarTimer(); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The slider's range and value follow the model.
  void Sync();

  TSeekBarModel FModel;
  TTimerEvent FOnTimer;
  bool FSyncing = false;
};

}  // namespace clipsmith
