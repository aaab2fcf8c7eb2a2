// A small stand-in for the main window's video side: one graph, a frame grabber asking for
// RGB32 and a windowless video window bound to it, and helpers that run the Qt event loop until
// the graph's events have arrived.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "test_clips.h"
#include "graphics/bitmap.h"
#include "graphics/stream.h"
#include "video/filter_graph.h"
#include "video/media_clock.h"
#include "video/sample_grabber.h"
#include "video/video_window.h"

namespace clipsmith::testing {

// Waits for events, waking at least every 10 ms (the maxtime overload of processEvents does not
// wait: it would spin).
inline void WaitForEvents() {
  QTimer wake;
  wake.start(10);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until pred holds or timeoutMs pass; returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > timeoutMs) return pred();
    WaitForEvents();
  }
  return true;
}

// Runs the event loop for a while.
inline void PumpFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  QCoreApplication::processEvents();
  while (timer.elapsed() < ms) WaitForEvents();
}

// Playback time that passes only while the graph waits for a frame to be due: every wait ends at
// once, at the time it waits for. A clip plays as fast as it decodes, and every frame is shown
// exactly when the graph's clock says it is due, however busy the machine is.
class TJumpingClock final : public IMediaClock {
 public:
  TimePoint Now() override { return TimePoint(TimePoint::duration(FNow.load())); }
  void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, TimePoint until,
                 const std::function<bool()>& stop) override {
    if (stop()) return;
    TimePoint::rep t = until.time_since_epoch().count();
    TimePoint::rep now = FNow.load();
    while (t > now && !FNow.compare_exchange_weak(now, t)) {
    }
  }

 private:
  std::atomic<TimePoint::rep> FNow{std::chrono::duration_cast<TimePoint::duration>(std::chrono::hours(1)).count()};
};

// Graphs created while this lives play by the clock given.
class TClockScope {
 public:
  explicit TClockScope(std::shared_ptr<IMediaClock> clock) { SetMediaClock(std::move(clock)); }
  ~TClockScope() { SetMediaClock(nullptr); }
  TClockScope(const TClockScope&) = delete;
  TClockScope& operator=(const TClockScope&) = delete;
};

// The bitmap's rows top-down, as the ffmpeg command writes them.
inline std::vector<std::uint8_t> TopDownPixels(const TBitmap& b) {
  std::size_t row = std::size_t(b.Width()) * 4;
  std::vector<std::uint8_t> out;
  out.reserve(row * std::size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + row);
  return out;
}

struct THarness {
  TFilterGraph Graph;
  TSampleGrabber Grabber;
  TVideoWindow Window;
  std::vector<long> Events;  // every event code in dispatch order
  int StepCompletes = 0;
  int Completes = 0;

  THarness() {
    Window.SetMode(TVideoMode::vmVMR);
    Window.VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
    Window.SetFilterGraph(&Graph);
    Grabber.MediaType().SetMajorType(MEDIATYPE_Video);
    Grabber.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
    Grabber.MediaType().SetFormatType(FORMAT_VideoInfo);
    Grabber.SetFilterGraph(&Graph);
    Graph.OnDSEvent = [this](TFilterGraph*, long code, LONG_PTR, LONG_PTR) { Events.push_back(code); };
    Graph.OnGraphStepComplete = [this](TFilterGraph*) { ++StepCompletes; };
    Graph.OnGraphComplete = [this](TFilterGraph*, HRESULT, IBaseFilter*) { ++Completes; };
    Graph.SetActive(true);
  }

  HRESULT Render(const std::string& clipName) { return Graph.RenderFile(testclips::ClipPath(clipName)); }

  std::shared_ptr<IMediaSeeking> Seeking() { return Graph.QueryInterface<IMediaSeeking>(); }
  std::shared_ptr<IMediaControl> Control() { return Graph.QueryInterface<IMediaControl>(); }

  // Waits until the graph has carried out every request made so far.
  void Settle() {
    OAFilterState s;
    ASSERT_EQ(Control()->GetState(10000, &s), S_OK);
  }
  void Seek(REFERENCE_TIME t) {
    ASSERT_EQ(Seeking()->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  }
  REFERENCE_TIME Position() {
    REFERENCE_TIME t = -1;
    Seeking()->GetCurrentPosition(&t);
    return t;
  }
  REFERENCE_TIME Duration() {
    REFERENCE_TIME t = -1;
    Seeking()->GetDuration(&t);
    return t;
  }
  // One Step(1) and the event loop until its EC_STEP_COMPLETE has been dispatched.
  bool StepAndWait() {
    auto step = Graph.QueryInterface<IVideoFrameStep>();
    if (!step || step->CanStep(0, nullptr) < 0) return false;
    int before = StepCompletes;
    if (step->Step(1, nullptr) < 0) return false;
    return PumpUntil([&] { return StepCompletes > before; });
  }
  // Index of the grabbed frame among the clip's reference frames (-1 none, -2 no bitmap).
  int GrabbedFrame(const std::string& clipName) {
    TBitmap b;
    if (!Grabber.GetBitmap(b)) return -2;
    return testclips::FindReferenceFrame(clipName, TopDownPixels(b));
  }
};

}  // namespace clipsmith::testing
