#include "video/filter_graph.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "graphics/stream.h"
#include "video/exception_report.h"

namespace clipsmith {

namespace {

// The hidden receiver of the graph's notification message.
class TGraphReceiver final : public QObject {
 public:
  explicit TGraphReceiver(TFilterGraph* owner) : FOwner(owner) { setObjectName("FilterGraphHandle"); }
  bool event(QEvent* e) override {
    if (e->type() == TWindowMessage::EventType()) {
      // One event per message: a handler that asks for the next step gets its event through a
      // fresh message, so input, timers and painting have their turn between the steps of a
      // conversion, however fast the graph answers.
      if (static_cast<TWindowMessage*>(e)->Msg == WM_GRAPHNOTIFY && FOwner->DispatchGraphEvent())
        QCoreApplication::postEvent(this, new TWindowMessage(WM_GRAPHNOTIFY, 0, 0));
      return true;
    }
    return QObject::event(e);
  }

 private:
  TFilterGraph* FOwner;
};

}  // namespace

std::string DSErrorText(HRESULT hr) { return AMGetErrorText(hr).substr(0, 255); }

HRESULT CheckDSResult(HRESULT hr) {
  if (hr >= 0) return hr;
  char code[32];
  std::snprintf(code, sizeof code, " ($%X).", unsigned(hr));
  throw EDirectShowException(DSErrorText(hr) + code, hr);
}

int LinearToDecibelVolume(int volume) { return int(std::lround(std::log(double(volume) + 1) * 1085.73)) - 10000; }

int LinearToDecibelBalance(int balance) {
  int magnitude = int(std::lround(std::log(double(std::abs(balance)) + 1) * 1085.73));
  return balance < 0 ? -magnitude : magnitude;
}

TFilterGraph::TFilterGraph() : GraphFactory(CreateFilterGraph), FHandle(std::make_unique<TGraphReceiver>(this)) {}

TFilterGraph::~TFilterGraph() {
  try {
    SetActive(false);
  } catch (...) {
    ReportException(std::current_exception());
  }
  // Components that still refer to this graph drop the reference.
  auto filters = FFilters;
  auto events = FGraphEvents;
  FFilters.clear();
  FGraphEvents.clear();
  for (auto* c : filters) c->GraphDestroyed(this);
  for (auto* e : events) e->GraphDestroyed(this);
}

void TFilterGraph::Loaded() {
  if (AutoCreate) SetActive(true);
}

void TFilterGraph::SetActive(bool value) {
  if (value == FActive) return;
  if (value)
    Activate();
  else
    Deactivate();
}

void TFilterGraph::Activate() {
  try {
    FFilterGraph = GraphFactory ? GraphFactory() : nullptr;
  } catch (const std::exception&) {
    FFilterGraph = nullptr;  // a failed creation is not reported
  }
  FActive = true;
  FMediaEventEx = QueryInterface<IMediaEventEx>();
  if (FMediaEventEx) {
    FMediaEventEx->SetNotifyFlags(0);
    FMediaEventEx->SetNotifyWindow(FHandle.get(), WM_GRAPHNOTIFY, 0);
  }
  OpenLog();
  for (auto* c : std::vector<IFilterComponent*>(FFilters)) AddComponentFilter(c);
  if (OnActivate) OnActivate(this);
  BroadcastControl(TControlNotice::cnActive, 1);
}

void TFilterGraph::Deactivate() {
  BroadcastControl(TControlNotice::cnActive, 0);
  for (auto* c : std::vector<IFilterComponent*>(FFilters)) RemoveComponentFilter(c);
  if (FMediaEventEx) {
    FMediaEventEx->SetNotifyFlags(1);
    FMediaEventEx->SetNotifyWindow(nullptr, 0, 0);
    FMediaEventEx.reset();
  }
  CloseLog();
  FFilterGraph.reset();
  FActive = false;
}

void TFilterGraph::AddComponentFilter(IFilterComponent* c) {
  c->FilterOperation(TFilterEvent::feAdding, 0);
  std::string name = c->GetFilterName();
  auto filter = c->GetBaseFilter();
  if (FFilterGraph && filter) FFilterGraph->AddFilter(filter, name);
  c->FilterOperation(TFilterEvent::feAdded, 0);
}

void TFilterGraph::RemoveComponentFilter(IFilterComponent* c) {
  c->FilterOperation(TFilterEvent::feRemoving, 0);
  auto filter = c->GetBaseFilter();
  if (FFilterGraph && filter) FFilterGraph->RemoveFilter(filter);
  c->FilterOperation(TFilterEvent::feRemoved, 0);
}

void TFilterGraph::AddFilterComponent(IFilterComponent* component) {
  if (!component || std::find(FFilters.begin(), FFilters.end(), component) != FFilters.end()) return;
  FFilters.push_back(component);
  if (FActive) AddComponentFilter(component);
}

void TFilterGraph::RemoveFilterComponent(IFilterComponent* component) {
  auto it = std::find(FFilters.begin(), FFilters.end(), component);
  if (it == FFilters.end()) return;
  FFilters.erase(it);
  if (FActive) RemoveComponentFilter(component);
}

void TFilterGraph::InsertEventNotifier(IEvent* notifier) {
  if (!notifier || std::find(FGraphEvents.begin(), FGraphEvents.end(), notifier) != FGraphEvents.end()) return;
  FGraphEvents.push_back(notifier);
}

void TFilterGraph::RemoveEventNotifier(IEvent* notifier) {
  FGraphEvents.erase(std::remove(FGraphEvents.begin(), FGraphEvents.end(), notifier), FGraphEvents.end());
}

void TFilterGraph::BroadcastControl(TControlNotice kind, long param) {
  // A notifier may unregister itself while being told; go over a copy.
  for (auto* e : std::vector<IEvent*>(FGraphEvents))
    if (std::find(FGraphEvents.begin(), FGraphEvents.end(), e) != FGraphEvents.end()) e->ControlNotify(kind, param);
}

void TFilterGraph::BroadcastGraphEvent(long event, LONG_PTR p1, LONG_PTR p2) {
  for (auto* e : std::vector<IEvent*>(FGraphEvents))
    if (std::find(FGraphEvents.begin(), FGraphEvents.end(), e) != FGraphEvents.end())
      e->GraphEventNotify(event, p1, p2);
}

bool TFilterGraph::DispatchGraphEvent() {
  if (!FMediaEventEx) return false;
  long code;
  LONG_PTR p1, p2;
  auto events = FMediaEventEx;
  if (events->GetEvent(&code, &p1, &p2, 0) != S_OK) return false;
  try {
    HandleGraphEvent(code, p1, p2);
  } catch (...) {
    events->FreeEventParams(code, p1, p2);
    // The rest of the queue waits for the next notification message.
    ReportException(std::current_exception());
    return false;
  }
  events->FreeEventParams(code, p1, p2);
  return true;
}

void TFilterGraph::DrainGraphEvents() {
  // A handler may deactivate the graph; DispatchGraphEvent checks the source each time round,
  // and after a failing handler the rest waits for the next notification message.
  while (DispatchGraphEvent()) {
  }
}

void TFilterGraph::HandleGraphEvent(long Event, LONG_PTR p1, LONG_PTR p2) {
  BroadcastGraphEvent(Event, p1, p2);
  if (OnDSEvent) OnDSEvent(this, Event, p1, p2);
  auto call = [&](auto& slot, auto... args) {
    if (slot) slot(this, args...);
  };
  switch (Event) {
    case EC_COMPLETE: call(OnGraphComplete, HRESULT(p1), reinterpret_cast<IBaseFilter*>(p2)); break;
    case EC_USERABORT: call(OnGraphUserAbort); break;
    case EC_ERRORABORT: call(OnGraphErrorAbort, HRESULT(p1)); break;
    case EC_STREAM_ERROR_STOPPED: call(OnGraphStreamErrorStopped, long(p1), long(p2)); break;
    case EC_STREAM_ERROR_STILLPLAYING: call(OnGraphStreamErrorStillPlaying, long(p1), long(p2)); break;
    case EC_ERROR_STILLPLAYING: call(OnGraphErrorStillPlaying, HRESULT(p1)); break;
    case EC_PALETTE_CHANGED: call(OnGraphPaletteChanged); break;
    case EC_VIDEO_SIZE_CHANGED: call(OnGraphVideoSizeChanged, int(p1 & 0xFFFF), int((p1 >> 16) & 0xFFFF)); break;
    case EC_QUALITY_CHANGE: call(OnGraphQualityChange); break;
    case EC_CLOCK_CHANGED: call(OnGraphClockChanged); break;
    case EC_PAUSED: call(OnGraphPaused, HRESULT(p1)); break;
    case EC_OPENING_FILE: call(OnGraphOpeningFile, p1 == 1); break;
    case EC_BUFFERING_DATA: call(OnGraphBufferingData, p1 == 1); break;
    case EC_FULLSCREEN_LOST: call(OnGraphFullscreenLost, reinterpret_cast<IBaseFilter*>(p2)); break;
    case EC_OLE_EVENT:
      call(OnGraphOleEvent, reinterpret_cast<const char*>(p1), reinterpret_cast<const char*>(p2));
      break;
    case EC_STREAM_CONTROL_STOPPED: call(OnGraphStreamControlStopped, reinterpret_cast<IPin*>(p1), long(p2)); break;
    case EC_STREAM_CONTROL_STARTED: call(OnGraphStreamControlStarted, reinterpret_cast<IPin*>(p1), long(p2)); break;
    case EC_END_OF_SEGMENT:
      call(OnGraphEndOfSegment, p1 ? *reinterpret_cast<const REFERENCE_TIME*>(p1) : REFERENCE_TIME(0), long(p2));
      break;
    case EC_DEVICE_LOST: call(OnGraphDeviceLost, p1, p2 == 1); break;
    case EC_STEP_COMPLETE: call(OnGraphStepComplete); break;
    case EC_TIMECODE_AVAILABLE: call(OnGraphTimeCodeAvailable, long(p1), long(p2)); break;
    case EC_EXTDEVICE_MODE_CHANGE: call(OnGraphEXTDeviceModeChange, long(p1), long(p2)); break;
    case EC_GRAPH_CHANGED: call(OnGraphChanged); break;
    case EC_CLOCK_UNSET: call(OnGraphClockUnset); break;
    case EC_VMR_RENDERDEVICE_SET: call(OnGraphVMRRenderDevice, long(p1)); break;
    case EC_SNDDEV_IN_ERROR: call(OnGraphSNDDevInError, long(p1), long(p2)); break;
    case EC_SNDDEV_OUT_ERROR: call(OnGraphSNDDevOutError, long(p1), long(p2)); break;
    default: break;
  }
}

bool TFilterGraph::Play() {
  auto control = QueryInterface<IMediaControl>();
  if (!control) return false;
  BroadcastControl(TControlNotice::cnPlay, 0);
  HRESULT hr = CheckDSResult(control->Run());
  return hr >= 0;
}

bool TFilterGraph::Pause() {
  auto control = QueryInterface<IMediaControl>();
  if (!control) return false;
  BroadcastControl(TControlNotice::cnPause, 0);
  return CheckDSResult(control->Pause()) == S_OK;
}

bool TFilterGraph::Stop() {
  auto control = QueryInterface<IMediaControl>();
  if (!control) return false;
  BroadcastControl(TControlNotice::cnStop, 0);
  return CheckDSResult(control->Stop()) == S_OK;
}

TGraphState TFilterGraph::State() {
  auto control = QueryInterface<IMediaControl>();
  if (!control) return TGraphState::gsUninitialized;
  OAFilterState s = State_Stopped;
  control->GetState(0, &s);  // a state in transition reads as the state it moves to
  switch (s) {
    case State_Stopped: return TGraphState::gsStopped;
    case State_Paused: return TGraphState::gsPaused;
    case State_Running: return TGraphState::gsPlaying;
  }
  return TGraphState::gsUninitialized;
}

void TFilterGraph::SetState(TGraphState value) {
  auto control = QueryInterface<IMediaControl>();
  if (!control) return;
  switch (value) {
    case TGraphState::gsStopped: CheckDSResult(control->Stop()); break;
    case TGraphState::gsPaused: CheckDSResult(control->Pause()); break;
    case TGraphState::gsPlaying: CheckDSResult(control->Run()); break;
    case TGraphState::gsUninitialized: break;
  }
}

HRESULT TFilterGraph::RenderFile(const std::string& fileName) {
  if (!FFilterGraph) return S_FALSE;
  BroadcastControl(TControlNotice::cnFileRendering, 0);
  HRESULT hr = CheckDSResult(FFilterGraph->RenderFile(fileName));
  ApplyAudioAndRate();
  BroadcastControl(TControlNotice::cnFileRendered, 0);
  return hr;
}

void TFilterGraph::ApplyAudioAndRate() {
  SetVolume(FVolume);
  SetBalance(FBalance);
  SetRate(FRate);
}

void TFilterGraph::DisconnectFilters() {
  if (!FFilterGraph) return;
  for (auto& f : FFilterGraph->EnumFilters())
    for (auto& pin : f->EnumPins()) CheckDSResult(pin->Disconnect());
}

void TFilterGraph::ClearGraph() {
  if (!FFilterGraph) return;
  Stop();
  DisconnectFilters();
  auto filters = FFilterGraph->EnumFilters();
  for (auto* c : FFilters) {
    auto own = c->GetBaseFilter();
    filters.erase(std::remove(filters.begin(), filters.end(), own), filters.end());
  }
  for (auto& f : filters) CheckDSResult(FFilterGraph->RemoveFilter(f));
}

void TFilterGraph::SetVolume(int value) {
  FVolume = std::clamp(value, 0, 10000);
  auto audio = QueryInterface<IBasicAudio>();
  if (!audio) return;
  audio->put_Volume(FLinearVolume ? LinearToDecibelVolume(FVolume) : FVolume - 10000);
}

void TFilterGraph::SetBalance(int value) {
  FBalance = std::clamp(value, -10000, 10000);
  auto audio = QueryInterface<IBasicAudio>();
  if (!audio) return;
  audio->put_Balance(FLinearVolume ? LinearToDecibelBalance(FBalance) : FBalance);
}

void TFilterGraph::SetLinearVolume(bool value) {
  if (value == FLinearVolume) return;
  FLinearVolume = value;
  SetVolume(FVolume);
  SetBalance(FBalance);
}

void TFilterGraph::SetRate(double value) {
  FRate = value;
  if (auto seeking = QueryInterface<IMediaSeeking>()) seeking->SetRate(value);
}

std::uint32_t TFilterGraph::Position() {
  auto seeking = QueryInterface<IMediaSeeking>();
  if (!seeking) return 0;
  REFERENCE_TIME t = 0;
  seeking->GetCurrentPosition(&t);
  return RefTimeToMilliseconds(t);
}

void TFilterGraph::SetPosition(std::uint32_t ms) {
  auto seeking = QueryInterface<IMediaSeeking>();
  if (!seeking) return;
  REFERENCE_TIME t = MillisecondsToRefTime(ms);
  REFERENCE_TIME stop = t;
  seeking->SetPositions(&t, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_NoPositioning);
}

std::uint32_t TFilterGraph::Duration() {
  auto seeking = QueryInterface<IMediaSeeking>();
  if (!seeking) return 0;
  REFERENCE_TIME t = 0;
  seeking->GetDuration(&t);
  return RefTimeToMilliseconds(t);
}

TSeekingCaps TFilterGraph::SeekCapabilities() {
  auto seeking = QueryInterface<IMediaSeeking>();
  if (!seeking) return {};
  std::uint32_t caps = 0;
  if (FAILED(seeking->GetCapabilities(&caps))) return {};
  return TSeekingCaps{std::uint8_t(caps & 0xFF)};
}

void TFilterGraph::SetLogFile(const std::string& fileName) {
  if (!FActive) {
    FLogFileName = fileName;
    return;
  }
  CloseLog();
  if (fileName.empty()) {
    FLogFileName.clear();
    return;
  }
  try {
    FLogFile = std::make_unique<TFileStream>(fileName, TFileMode::fmCreate);
    FLogFileName = fileName;
    if (FFilterGraph) FFilterGraph->SetLogFile(FLogFile.get());
  } catch (const std::exception&) {
    FLogFile.reset();  // logging off, the old name stays
  }
}

void TFilterGraph::OpenLog() {
  if (FLogFileName.empty()) return;
  try {
    FLogFile = std::make_unique<TFileStream>(FLogFileName, TFileMode::fmCreate);
    if (FFilterGraph) FFilterGraph->SetLogFile(FLogFile.get());
  } catch (const std::exception&) {
    FLogFile.reset();
  }
}

void TFilterGraph::CloseLog() {
  if (FFilterGraph) FFilterGraph->SetLogFile(nullptr);
  if (FLogFile) {
    try {
      FLogFile->Close();
    } catch (const std::exception&) {
    }
    FLogFile.reset();
  }
}

}  // namespace clipsmith
