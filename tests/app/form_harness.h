// The bare main window with a host that records every message instead of showing it, over the
// real media graph seen through a thin spy that counts and can disturb the requests the window
// makes. Helpers run the Qt event loop until a job has ended.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app_test_support.h"
#include "settings/settings.h"
#include "video/media_graph.h"

namespace clipsmith::apptest {

// Passes every request on to a real graph. Before each Step it runs BeforeStep with the number
// of that step (from 1); CanStep fails from call FailCanStepFrom on (0: never).
//
// The real graph presents a frame it has decoded ahead within microseconds, so with a tiny clip
// the graph's event loop takes one step-complete event after the other without returning to the
// window's event loop; DeferSteps passes each step on from the event loop instead.
class TGraphSpy final : public IGraphBuilder,
                        public IMediaControl,
                        public IMediaEventEx,
                        public IMediaSeeking,
                        public IVideoFrameStep {
 public:
  TGraphSpy()
      : FReal(CreateFilterGraph()),
        FControl(std::dynamic_pointer_cast<IMediaControl>(FReal)),
        FEvents(std::dynamic_pointer_cast<IMediaEventEx>(FReal)),
        FSeeking(std::dynamic_pointer_cast<IMediaSeeking>(FReal)),
        FStep(std::dynamic_pointer_cast<IVideoFrameStep>(FReal)) {}

  std::function<void(int step)> BeforeStep;
  int FailCanStepFrom = 0;
  bool DeferSteps = false;
  int Steps = 0;
  int CanSteps = 0;
  std::vector<REFERENCE_TIME> Seeks;  // targets of absolute seeks

  HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& f, const std::string& name) override {
    return FReal->AddFilter(f, name);
  }
  HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& f) override { return FReal->RemoveFilter(f); }
  std::vector<std::shared_ptr<IBaseFilter>> EnumFilters() override { return FReal->EnumFilters(); }
  HRESULT RenderFile(const std::string& fileName) override { return FReal->RenderFile(fileName); }
  HRESULT SetLogFile(TStream* stream) override { return FReal->SetLogFile(stream); }

  HRESULT Run() override { return FControl->Run(); }
  HRESULT Pause() override { return FControl->Pause(); }
  HRESULT Stop() override { return FControl->Stop(); }
  HRESULT GetState(long ms, OAFilterState* s) override { return FControl->GetState(ms, s); }

  HRESULT GetEvent(long* c, LONG_PTR* p1, LONG_PTR* p2, long ms) override { return FEvents->GetEvent(c, p1, p2, ms); }
  HRESULT FreeEventParams(long c, LONG_PTR p1, LONG_PTR p2) override { return FEvents->FreeEventParams(c, p1, p2); }
  HRESULT SetNotifyWindow(QObject* w, long msg, LONG_PTR data) override { return FEvents->SetNotifyWindow(w, msg, data); }
  HRESULT SetNotifyFlags(long flags) override { return FEvents->SetNotifyFlags(flags); }

  HRESULT GetCapabilities(std::uint32_t* c) override { return FSeeking->GetCapabilities(c); }
  HRESULT GetDuration(REFERENCE_TIME* d) override { return FSeeking->GetDuration(d); }
  HRESULT GetCurrentPosition(REFERENCE_TIME* c) override { return FSeeking->GetCurrentPosition(c); }
  HRESULT GetStopPosition(REFERENCE_TIME* s) override { return FSeeking->GetStopPosition(s); }
  HRESULT SetPositions(REFERENCE_TIME* c, std::uint32_t cf, REFERENCE_TIME* s, std::uint32_t sf) override {
    if (c && (cf & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) Seeks.push_back(*c);
    return FSeeking->SetPositions(c, cf, s, sf);
  }
  HRESULT SetRate(double r) override { return FSeeking->SetRate(r); }
  HRESULT GetRate(double* r) override { return FSeeking->GetRate(r); }

  HRESULT CanStep(long multiple, void* obj) override {
    ++CanSteps;
    if (FailCanStepFrom > 0 && CanSteps >= FailCanStepFrom) return E_FAIL;
    return FStep->CanStep(multiple, obj);
  }
  HRESULT Step(std::uint32_t frames, void* obj) override {
    ++Steps;
    if (BeforeStep) BeforeStep(Steps);
    if (!DeferSteps) return FStep->Step(frames, obj);
    // Passed on from the event loop, as a graph that takes its time would answer: the window's
    // other events get their turn between two steps. Dropped if the graph goes first.
    QMetaObject::invokeMethod(
        &FContext, [step = FStep, frames, obj] { step->Step(frames, obj); }, Qt::QueuedConnection);
    return S_OK;
  }
  HRESULT CancelStep() override { return FStep->CancelStep(); }

  REFERENCE_TIME Position() {
    REFERENCE_TIME t = -1;
    FSeeking->GetCurrentPosition(&t);
    return t;
  }

 private:
  std::shared_ptr<IGraphBuilder> FReal;
  std::shared_ptr<IMediaControl> FControl;
  std::shared_ptr<IMediaEventEx> FEvents;
  std::shared_ptr<IMediaSeeking> FSeeking;
  std::shared_ptr<IVideoFrameStep> FStep;
  QObject FContext;
};

// Runs the event loop until pred holds or timeoutMs pass; returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > timeoutMs) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

inline void PumpFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

struct TMessage {
  std::string Text, Caption;
  friend bool operator==(const TMessage&, const TMessage&) = default;
};
inline std::ostream& operator<<(std::ostream& os, const TMessage& m) {
  return os << '"' << m.Text << "\" / \"" << m.Caption << '"';
}

// A frame the job added to its GIF: the seek-bar position at that moment and which frame of the
// clip the player showed (-1 none of them, -2 no frame at all).
struct TCapture {
  int Position;
  int Frame;
};

class TFormHarness {
 public:
  TFormMain Form;
  std::shared_ptr<TGraphSpy> Spy;  // the graph of the latest activation
  TScratchDir Out{"app-out"};

  // What the host was asked and told.
  std::vector<TMessage> Errors, Warnings;
  int RangeErrors = 0;
  std::vector<std::pair<std::string, std::string>> SaveDialogs;  // initial folder and name
  std::optional<std::string> SaveAnswer;                         // what the save dialog returns
  bool PreviewAnswer = false;
  int PreviewAsks = 0;
  std::vector<std::string> Reported;  // messages of errors that escaped a handler
  std::vector<bool> Cursor;           // every busy-cursor change
  std::vector<bool> Ended;            // JobEnded calls
  std::vector<TCapture> Captures;
  std::vector<int> StepPositions;  // seek-bar position at every step-complete event of a job
  std::vector<std::string> Opened;  // preview pages the builder opened

  std::string ClipName;
  // Runs after each captured frame has been recorded, inside the step handler.
  std::function<void(int frames)> OnCaptured;

  // Runs f from the event loop, after the events already queued: as a click the user makes
  // while a job runs.
  void Later(std::function<void()> f) { QMetaObject::invokeMethod(&Form, std::move(f), Qt::QueuedConnection); }

  TFormHarness() {
    Form.FilterGraph1.GraphFactory = [this] {
      Spy = std::make_shared<TGraphSpy>();
      return Spy;
    };
    Form.Host.ShowErrorBox = [this](const std::string& t, const std::string& c) { Errors.push_back({t, c}); };
    Form.Host.ShowWarningBox = [this](const std::string& t, const std::string& c) { Warnings.push_back({t, c}); };
    Form.Host.ShowRangeError = [this] { ++RangeErrors; };
    Form.Host.AskOpenFileName = [](const std::string&) { return std::optional<std::string>(); };
    Form.Host.AskSaveFileName = [this](const std::string& dir, const std::string& name) {
      SaveDialogs.push_back({dir, name});
      return SaveAnswer;
    };
    Form.Host.AskPreview = [this] {
      ++PreviewAsks;
      return PreviewAnswer;
    };
    Form.Host.ReportError = [this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& ex) {
        Reported.push_back(ex.what());
      } catch (...) {
        Reported.push_back("?");
      }
    };
    // The window's own cursor handling still runs, so tests can look at the application's cursor.
    Form.Host.SetBusyCursor = [this, windowCursor = Form.Host.SetBusyCursor](bool busy) {
      Cursor.push_back(busy);
      windowCursor(busy);
    };
    Form.Host.JobEnded = [this](bool written) { Ended.push_back(written); };
    Form.Host.ConfigureBuilder = [this](TSkGIF& gif) {
      gif.Opener.Attempts = {[this](const std::string& page) {
        Opened.push_back(page);
        return true;
      }};
    };
    Form.Host.FrameCaptured = [this](int) {
      TBitmap shown;
      int frame = !Form.GrabCurrentFrame(shown) ? -2 : ClipName.empty() ? -1 : FindReferenceFrame(ClipName, shown);
      Captures.push_back({Form.TrackBar->Position(), frame});
      if (OnCaptured) OnCaptured(int(Captures.size()));
    };
    Form.FilterGraph1.OnGraphStepComplete = [this](TFilterGraph*) {
      if (Form.Job.IsConverting) StepPositions.push_back(Form.TrackBar->Position());
      Form.FilterGraph1GraphStepComplete();
    };
    SaveAnswer = Out / "out.gif";
  }

  ~TFormHarness() {
    // A job that stopped on an error keeps its busy cursor; the next test starts without it.
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }

  // Opens the clip as the open button does, but paused instead of playing, so that nothing moves
  // on its own.
  void Load(const std::string& clip) {
    ClipName = clip;
    ASSERT_TRUE(Form.LoadVideoFile(ClipPath(clip)));
    Form.BtnPlayerPauseClick();
    Cursor.clear();  // the reset's own restore
  }

  // Marks in seek-bar units, as the mark buttons leave them.
  void Marks(int selStart, int selEnd) {
    Form.TrackBar->SetSelStart(selStart);
    Form.TrackBar->SetSelEnd(selEnd);
  }

  static void SetText(QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); }
  // As the user ticks it: the click handler runs.
  static void Check(QCheckBox* box, bool on) {
    if (box->isChecked() != on) box->click();
  }

  // Presses Make GIF and runs the event loop until the job has ended (or stopped with a message).
  // False when it neither ended nor stopped in time.
  bool MakeGif() {
    Form.BtnMakeGIFClick();
    return PumpUntil([this] { return !Form.Job.IsConverting || !Errors.empty() || !Reported.empty(); });
  }

  // The frame indices the job added, in order.
  std::vector<int> CapturedFrames() const {
    std::vector<int> f;
    for (const auto& c : Captures) f.push_back(c.Frame);
    return f;
  }
  std::vector<int> CapturedPositions() const {
    std::vector<int> p;
    for (const auto& c : Captures) p.push_back(c.Position);
    return p;
  }

  // The written GIF as giflib reads it.
  clipsmith::testing::DecodedGif WrittenGif(const std::string& path) const {
    return clipsmith::testing::DecodeWithGiflib(ReadBytes(path));
  }
};

}  // namespace clipsmith::apptest
