// The media graph itself: its public interfaces, the request queue that carries every request to
// the worker thread, and the worker's state. The interfaces are in media_graph.cpp, the worker in
// media_graph_worker.cpp.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "media_graph_converter.h"
#include "media_graph_internal.h"
#include "media_graph_pins.h"
#include "media_graph_renderer.h"
#include "media_tuning.h"
#include "video/media_clock.h"
#include "video/media_graph.h"

namespace clipsmith::media {

using Clock = std::chrono::steady_clock;

struct TRequest {
  enum Kind { Render, Close, Run, Pause, Stop, Seek, Step } What;
  std::string FileName;
  REFERENCE_TIME Time = 0;
  std::uint32_t Frames = 0;
  std::shared_ptr<std::promise<HRESULT>> Done;
};

inline bool Supersedes(TRequest::Kind k) {
  return k == TRequest::Seek || k == TRequest::Stop || k == TRequest::Render || k == TRequest::Close;
}

struct TEvent {
  long Code;
  LONG_PTR Param1, Param2;
};

// Where decoded pictures go: set whenever a connection changes.
struct TChain {
  std::shared_ptr<TSampleGrabberFilter> Grabber;
  int GrabberBits = 0;
  std::shared_ptr<TVideoRendererFilter> Renderer;
  int Width = 0, Height = 0;
};

class TMediaGraph final : public IGraphBuilder,
                          public IMediaControl,
                          public IMediaEventEx,
                          public IMediaSeeking,
                          public IVideoFrameStep {
 public:
  TMediaGraph() : FCreated(std::chrono::steady_clock::now()) { FWorker = std::thread([this] { WorkerMain(); }); }
  ~TMediaGraph() override;

  // IGraphBuilder
  HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name) override;
  HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) override;
  std::vector<std::shared_ptr<IBaseFilter>> EnumFilters() override;
  HRESULT RenderFile(const std::string& fileName) override;
  HRESULT SetLogFile(TStream* stream) override;
  // IMediaControl
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(long msTimeout, OAFilterState* state) override;
  // IMediaEventEx
  HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long msTimeout) override;
  HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }
  HRESULT SetNotifyWindow(QObject* window, long msg, LONG_PTR instanceData) override;
  HRESULT SetNotifyFlags(long flags) override;
  // IMediaSeeking
  HRESULT GetCapabilities(std::uint32_t* capabilities) override;
  HRESULT GetDuration(REFERENCE_TIME* duration) override;
  HRESULT GetCurrentPosition(REFERENCE_TIME* current) override;
  HRESULT GetStopPosition(REFERENCE_TIME* stop) override;
  HRESULT SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME* stop,
                       std::uint32_t stopFlags) override;
  HRESULT SetRate(double rate) override;
  HRESULT GetRate(double* rate) override;
  // IVideoFrameStep
  HRESULT CanStep(long multiple, void* stepObject) override;
  HRESULT Step(std::uint32_t frames, void* stepObject) override;
  HRESULT CancelStep() override;

  // Used by the pins.
  HRESULT DisconnectPin(TPinImpl* pin);
  TPinImpl* PeerOf(TPinImpl* pin);

 private:
  // ----- called with FMutex held
  bool BusyLocked() const { return FBusy || !FRequests.empty(); }
  // The worker has nothing to do but decode the next frame ahead.
  bool IdleDecodeAheadLocked() const {
    return FDecoder && FState != State_Running && !FAheadFailed && FDecoder->AheadCount() < tuning::kIdleDecodeAhead &&
           !FDecoder->Drained();
  }
  REFERENCE_TIME ClockPositionLocked(Clock::time_point now) const;
  REFERENCE_TIME CurrentPositionLocked() const;
  void EnqueueLocked(TRequest r);
  void RebuildChainLocked();
  void RemoveConnectionsLocked(TFilterBase* filter);
  HRESULT Call(TRequest r);

  // ----- worker thread
  void WorkerMain();
  void Process(TRequest& r);
  HRESULT DoRender(const std::string& fileName);
  void DoClose();
  void DoSeek(REFERENCE_TIME t, bool countsAsPositionRequest);
  void DoStep(std::uint32_t frames);
  // Wait until this time point, or nothing when the next frame is handled at once.
  std::optional<Clock::time_point> PlayOnce();
  void Present(const TDecodedFrame& f);
  void QueueEvent(long code, LONG_PTR p1, LONG_PTR p2);
  void Log(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  const Clock::time_point FCreated;  // for the log's time stamps
  // Playback's time: frames are due and positions advance by it.
  const std::shared_ptr<IMediaClock> FClock = CurrentMediaClock();

  // ----- shared, guarded by FMutex
  std::mutex FMutex;
  std::condition_variable FWake;  // the worker waits here
  std::condition_variable FIdle;  // GetState waits here
  std::deque<TRequest> FRequests;
  bool FBusy = false;
  bool FQuit = false;
  std::vector<std::shared_ptr<TFilterBase>> FFilters;
  std::vector<std::pair<TPinImpl*, TPinImpl*>> FConnections;  // output pin, input pin
  std::shared_ptr<TSourceFilter> FSource;
  TChain FChain;
  bool FHaveVideo = false;
  OAFilterState FState = State_Stopped;
  REFERENCE_TIME FPosition = 0;
  REFERENCE_TIME FDuration = 0;
  REFERENCE_TIME FStop = 0;
  bool FStopSet = false;
  double FRate = 1.0;
  Clock::time_point FClockStart;
  REFERENCE_TIME FMediaStart = 0;
  int FPendingPositionRequests = 0;  // seeks and stops asked for but not yet carried out
  bool FEndReported = false;
  bool FSeeking = false;                  // the worker is carrying out a seek or a stop
  std::atomic<bool> FAbandonSeek{false};  // ... which a later request has made pointless
  bool FAheadFailed = false;              // decoding ahead failed; not tried until the next request

  // ----- events, guarded by FEventMutex
  std::mutex FEventMutex;
  std::condition_variable FEventCv;
  std::deque<TEvent> FEvents;
  QObject* FNotifyWindow = nullptr;
  long FNotifyMsg = 0;
  LONG_PTR FNotifyInstance = 0;
  long FNotifyFlags = 0;

  // ----- log, guarded by FLogMutex
  std::mutex FLogMutex;
  TStream* FLog = nullptr;

  // ----- worker only
  std::unique_ptr<TDecoder> FDecoder;
  std::optional<TDecodedFrame> FPendingDrop;  // last frame dropped while playing, not yet shown
  TFrameConverter FConverter;

  std::thread FWorker;
};

}  // namespace clipsmith::media
