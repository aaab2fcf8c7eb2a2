// The media graph's interfaces: filters and connections, the request queue, the state and the
// clock position, events, seeking and stepping. What the requests do is the worker's.
#include "media_graph_impl.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "graphics/stream.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace clipsmith {

QEvent::Type TWindowMessage::EventType() {
  static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
  return type;
}

std::string AMGetErrorText(HRESULT hr) {
  if (hr < 0) {
    char buf[256];
    if (av_strerror(hr, buf, sizeof buf) == 0) return std::string(buf).substr(0, 255);
  }
  return "Unspecified error";
}

namespace media {

TMediaGraph::~TMediaGraph() {
  {
    std::lock_guard lk(FMutex);
    FQuit = true;
    for (auto& r : FRequests)
      if (r.Done) r.Done->set_value(E_ABORT);
    FRequests.clear();
  }
  FWake.notify_all();
  FWorker.join();
  FDecoder.reset();
  FPendingDrop.reset();
  std::lock_guard lk(FMutex);
  for (auto& f : FFilters) {
    for (auto& [out, in] : FConnections) {
      if (out->Owner == f.get()) f->PinDisconnected(out);
      if (in->Owner == f.get()) f->PinDisconnected(in);
    }
    f->Graph = nullptr;
  }
}

void TMediaGraph::Log(const char* fmt, ...) {
  std::lock_guard lk(FLogMutex);
  if (!FLog) return;
  char msg[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(msg, sizeof msg, fmt, ap);
  va_end(ap);
  double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - FCreated).count();
  char line[1100];
  int n = std::snprintf(line, sizeof line, "[%10.3f] %s\n", t, msg);
  try {
    FLog->WriteBuffer(line, std::size_t(std::min<int>(n, int(sizeof line) - 1)));
  } catch (const std::exception&) {
    FLog = nullptr;  // a log that cannot be written is given up, the graph goes on
  }
}

HRESULT TMediaGraph::SetLogFile(TStream* stream) {
  {
    std::lock_guard lk(FLogMutex);
    FLog = stream;
  }
  if (stream) Log("log started");
  return S_OK;
}

// ----- filters and pins

HRESULT TMediaGraph::AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name) {
  auto f = std::dynamic_pointer_cast<TFilterBase>(filter);
  if (!f) return E_INVALIDARG;
  {
    std::lock_guard lk(FMutex);
    TMediaGraph* none = nullptr;
    if (!f->Graph.compare_exchange_strong(none, this)) return VFW_E_ALREADY_CONNECTED;
    f->SetName(name);
    FFilters.push_back(f);
  }
  Log("AddFilter \"%s\"", name.c_str());
  return S_OK;
}

HRESULT TMediaGraph::RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) {
  auto f = std::dynamic_pointer_cast<TFilterBase>(filter);
  if (!f || f->Graph.load() != this) return VFW_E_NOT_IN_GRAPH;
  bool isSource;
  {
    std::lock_guard lk(FMutex);
    isSource = f == FSource;
  }
  Log("RemoveFilter \"%s\"", f->QueryFilterName().c_str());
  if (isSource) return Call(TRequest{TRequest::Close, {}, 0, 0, nullptr});
  std::lock_guard lk(FMutex);
  RemoveConnectionsLocked(f.get());
  FFilters.erase(std::remove(FFilters.begin(), FFilters.end(), f), FFilters.end());
  f->Graph = nullptr;
  RebuildChainLocked();
  return S_OK;
}

std::vector<std::shared_ptr<IBaseFilter>> TMediaGraph::EnumFilters() {
  std::lock_guard lk(FMutex);
  return {FFilters.begin(), FFilters.end()};
}

TPinImpl* TMediaGraph::PeerOf(TPinImpl* pin) {
  std::lock_guard lk(FMutex);
  for (auto& [out, in] : FConnections) {
    if (out == pin) return in;
    if (in == pin) return out;
  }
  return nullptr;
}

HRESULT TMediaGraph::DisconnectPin(TPinImpl* pin) {
  std::lock_guard lk(FMutex);
  auto it = std::find_if(FConnections.begin(), FConnections.end(),
                         [pin](auto& c) { return c.first == pin || c.second == pin; });
  if (it == FConnections.end()) return S_FALSE;
  auto [out, in] = *it;
  FConnections.erase(it);
  out->Owner->PinDisconnected(out);
  in->Owner->PinDisconnected(in);
  RebuildChainLocked();
  return S_OK;
}

void TMediaGraph::RemoveConnectionsLocked(TFilterBase* filter) {
  for (auto it = FConnections.begin(); it != FConnections.end();) {
    if (it->first->Owner == filter || it->second->Owner == filter) {
      it->first->Owner->PinDisconnected(it->first);
      it->second->Owner->PinDisconnected(it->second);
      it = FConnections.erase(it);
    } else {
      ++it;
    }
  }
}

void TMediaGraph::RebuildChainLocked() {
  int w = FChain.Width, h = FChain.Height;
  FChain = TChain{};
  FChain.Width = w;
  FChain.Height = h;
  if (!FSource) return;
  auto peerOf = [&](TPinImpl* p) -> TPinImpl* {
    for (auto& [out, in] : FConnections)
      if (out == p) return in;
    return nullptr;
  };
  TPinImpl* next = peerOf(&FSource->Out);
  if (!next) return;
  if (auto* g = dynamic_cast<TSampleGrabberFilter*>(next->Owner)) {
    FChain.Grabber = std::static_pointer_cast<TSampleGrabberFilter>(g->shared_from_this());
    FChain.GrabberBits = g->AcceptedBitCount();
    if (FChain.GrabberBits == 0) FChain.GrabberBits = 32;
    next = peerOf(&g->Out);
  }
  if (next)
    if (auto* r = dynamic_cast<TVideoRendererFilter*>(next->Owner))
      FChain.Renderer = std::static_pointer_cast<TVideoRendererFilter>(r->shared_from_this());
}
// ----- requests

void TMediaGraph::EnqueueLocked(TRequest r) {
  // A seek being decoded that this request makes pointless is given up between two frames,
  // so that nobody waits for the rest of it.
  if (FSeeking && FRequests.empty() && Supersedes(r.What)) FAbandonSeek = true;
  FRequests.push_back(std::move(r));
  FWake.notify_all();
}

HRESULT TMediaGraph::Call(TRequest r) {
  auto done = std::make_shared<std::promise<HRESULT>>();
  auto result = done->get_future();
  r.Done = done;
  {
    std::lock_guard lk(FMutex);
    if (FQuit) return E_ABORT;
    EnqueueLocked(std::move(r));
  }
  return result.get();
}

HRESULT TMediaGraph::RenderFile(const std::string& fileName) {
  Log("RenderFile \"%s\"", fileName.c_str());
  HRESULT hr = Call(TRequest{TRequest::Render, fileName, 0, 0, nullptr});
  if (FAILED(hr)) Log("RenderFile failed: %s ($%08X)", AMGetErrorText(hr).c_str(), unsigned(hr));
  return hr;
}

REFERENCE_TIME TMediaGraph::ClockPositionLocked(Clock::time_point now) const {
  auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - FClockStart).count();
  REFERENCE_TIME t = FMediaStart + REFERENCE_TIME(double(elapsed) / 100.0 * FRate);
  if (FDuration > 0) t = std::min(t, FDuration);
  return std::max<REFERENCE_TIME>(t, 0);
}

REFERENCE_TIME TMediaGraph::CurrentPositionLocked() const {
  return FState == State_Running ? ClockPositionLocked(FClock->Now()) : FPosition;
}

HRESULT TMediaGraph::Run() {
  std::lock_guard lk(FMutex);
  bool busy = BusyLocked();
  if (FState != State_Running) {
    FMediaStart = FPosition;
    FClockStart = FClock->Now();
    FState = State_Running;
    EnqueueLocked(TRequest{TRequest::Run, {}, 0, 0, nullptr});
  }
  return busy ? S_FALSE : S_OK;
}

HRESULT TMediaGraph::Pause() {
  std::lock_guard lk(FMutex);
  bool busy = BusyLocked();
  if (FState == State_Running) FPosition = ClockPositionLocked(FClock->Now());
  if (FState != State_Paused) {
    FState = State_Paused;
    EnqueueLocked(TRequest{TRequest::Pause, {}, 0, 0, nullptr});
  }
  return busy ? S_FALSE : S_OK;
}

HRESULT TMediaGraph::Stop() {
  std::lock_guard lk(FMutex);
  bool busy = BusyLocked();
  FState = State_Stopped;
  FPosition = 0;
  ++FPendingPositionRequests;
  EnqueueLocked(TRequest{TRequest::Stop, {}, 0, 0, nullptr});
  return busy ? S_FALSE : S_OK;
}

HRESULT TMediaGraph::GetState(long msTimeout, OAFilterState* state) {
  if (!state) return E_POINTER;
  std::unique_lock lk(FMutex);
  if (msTimeout == INFINITE) {
    FIdle.wait(lk, [&] { return !BusyLocked() || FQuit; });
  } else if (msTimeout > 0) {
    FIdle.wait_for(lk, std::chrono::milliseconds(msTimeout), [&] { return !BusyLocked() || FQuit; });
  }
  *state = FState;
  return BusyLocked() ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

// ----- events

void TMediaGraph::QueueEvent(long code, LONG_PTR p1, LONG_PTR p2) {
  std::lock_guard lk(FEventMutex);
  bool wasEmpty = FEvents.empty();
  FEvents.push_back(TEvent{code, p1, p2});
  if (wasEmpty && FNotifyWindow && FNotifyFlags == 0)
    QCoreApplication::postEvent(FNotifyWindow, new TWindowMessage(FNotifyMsg, 0, FNotifyInstance));
  FEventCv.notify_all();
}

HRESULT TMediaGraph::GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long msTimeout) {
  if (!code || !param1 || !param2) return E_POINTER;
  std::unique_lock lk(FEventMutex);
  if (msTimeout == INFINITE)
    FEventCv.wait(lk, [&] { return !FEvents.empty(); });
  else if (msTimeout > 0)
    FEventCv.wait_for(lk, std::chrono::milliseconds(msTimeout), [&] { return !FEvents.empty(); });
  if (FEvents.empty()) return E_ABORT;
  TEvent e = FEvents.front();
  FEvents.pop_front();
  *code = e.Code;
  *param1 = e.Param1;
  *param2 = e.Param2;
  return S_OK;
}

HRESULT TMediaGraph::SetNotifyWindow(QObject* window, long msg, LONG_PTR instanceData) {
  std::lock_guard lk(FEventMutex);
  FNotifyWindow = window;
  FNotifyMsg = msg;
  FNotifyInstance = instanceData;
  if (window && FNotifyFlags == 0 && !FEvents.empty())
    QCoreApplication::postEvent(window, new TWindowMessage(msg, 0, instanceData));
  return S_OK;
}

HRESULT TMediaGraph::SetNotifyFlags(long flags) {
  if (flags != 0 && flags != 1) return E_INVALIDARG;
  std::lock_guard lk(FEventMutex);
  bool wasOff = FNotifyFlags != 0;
  FNotifyFlags = flags;
  if (wasOff && flags == 0 && FNotifyWindow && !FEvents.empty())
    QCoreApplication::postEvent(FNotifyWindow, new TWindowMessage(FNotifyMsg, 0, FNotifyInstance));
  return S_OK;
}

// ----- seeking

HRESULT TMediaGraph::GetCapabilities(std::uint32_t* capabilities) {
  if (!capabilities) return E_POINTER;
  *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                  AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
  return S_OK;
}

HRESULT TMediaGraph::GetDuration(REFERENCE_TIME* duration) {
  if (!duration) return E_POINTER;
  std::lock_guard lk(FMutex);
  if (!FHaveVideo) return E_NOTIMPL;
  *duration = FDuration;
  return S_OK;
}

HRESULT TMediaGraph::GetCurrentPosition(REFERENCE_TIME* current) {
  if (!current) return E_POINTER;
  std::lock_guard lk(FMutex);
  if (!FHaveVideo) return E_NOTIMPL;
  *current = CurrentPositionLocked();
  return S_OK;
}

HRESULT TMediaGraph::GetStopPosition(REFERENCE_TIME* stop) {
  if (!stop) return E_POINTER;
  std::lock_guard lk(FMutex);
  if (!FHaveVideo) return E_NOTIMPL;
  *stop = FStopSet ? FStop : FDuration;
  return S_OK;
}

HRESULT TMediaGraph::SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME* stop,
                                  std::uint32_t stopFlags) {
  std::uint32_t cmode = currentFlags & AM_SEEKING_PositioningBitsMask;
  std::uint32_t smode = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((cmode != AM_SEEKING_NoPositioning && !current) || (smode != AM_SEEKING_NoPositioning && !stop))
    return E_POINTER;
  std::lock_guard lk(FMutex);
  if (!FHaveVideo) return E_NOTIMPL;
  if (smode == AM_SEEKING_AbsolutePositioning) {
    FStop = *stop;
    FStopSet = true;
  } else if (smode != AM_SEEKING_NoPositioning) {
    FStop = (FStopSet ? FStop : FDuration) + *stop;
    FStopSet = true;
  }
  if (cmode == AM_SEEKING_NoPositioning) return S_OK;
  REFERENCE_TIME t = cmode == AM_SEEKING_AbsolutePositioning ? *current : CurrentPositionLocked() + *current;
  t = std::max<REFERENCE_TIME>(t, 0);
  if (FDuration > 0) t = std::min(t, FDuration);
  FPosition = t;
  if (FState == State_Running) {
    FMediaStart = t;
    FClockStart = FClock->Now();
  }
  FEndReported = false;
  ++FPendingPositionRequests;
  EnqueueLocked(TRequest{TRequest::Seek, {}, t, 0, nullptr});
  return S_OK;
}

HRESULT TMediaGraph::SetRate(double rate) {
  if (!(rate > 0) || rate > 128) return E_INVALIDARG;
  std::lock_guard lk(FMutex);
  if (FState == State_Running) {
    Clock::time_point now = FClock->Now();
    FMediaStart = ClockPositionLocked(now);
    FClockStart = now;
  }
  FRate = rate;
  FWake.notify_all();
  return S_OK;
}

HRESULT TMediaGraph::GetRate(double* rate) {
  if (!rate) return E_POINTER;
  std::lock_guard lk(FMutex);
  *rate = FRate;
  return S_OK;
}

// ----- stepping

HRESULT TMediaGraph::CanStep(long, void*) {
  std::lock_guard lk(FMutex);
  return FHaveVideo ? S_OK : E_FAIL;
}

HRESULT TMediaGraph::Step(std::uint32_t frames, void*) {
  if (frames == 0) return E_INVALIDARG;
  std::lock_guard lk(FMutex);
  if (!FHaveVideo) return VFW_E_WRONG_STATE;
  if (FState == State_Running) FPosition = ClockPositionLocked(FClock->Now());
  FState = State_Paused;
  EnqueueLocked(TRequest{TRequest::Step, {}, 0, frames, nullptr});
  return S_OK;
}

HRESULT TMediaGraph::CancelStep() {
  std::lock_guard lk(FMutex);
  FRequests.erase(std::remove_if(FRequests.begin(), FRequests.end(),
                                 [](const TRequest& r) { return r.What == TRequest::Step; }),
                  FRequests.end());
  if (!BusyLocked()) FIdle.notify_all();
  return S_OK;
}

}  // namespace media

namespace {

struct TQuietFFmpeg {
  TQuietFFmpeg() { av_log_set_level(AV_LOG_FATAL); }
};

}  // namespace

std::shared_ptr<IGraphBuilder> CreateFilterGraph() {
  static TQuietFFmpeg quiet;
  return std::make_shared<media::TMediaGraph>();
}

}  // namespace clipsmith
