// The media graph: filters, pins, the request queue and the worker thread that decodes,
// seeks, steps and plays against a monotonic clock.
#include "video/media_graph.h"
#include "video/media_clock.h"

#include <QCoreApplication>
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "graphics/stream.h"
#include "media_graph_internal.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
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
namespace {

using Clock = std::chrono::steady_clock;

class TMediaGraph;
class TFilterBase;

class TPinImpl final : public IPin {
 public:
  TPinImpl(TFilterBase* owner, bool input) : Owner(owner), Input(input) {}
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(std::shared_ptr<IPin>& pin) override;
  TFilterBase* const Owner;
  const bool Input;
};

class TFilterBase : public IBaseFilter, public std::enable_shared_from_this<TFilterBase> {
 public:
  std::vector<std::shared_ptr<IPin>> EnumPins() override {
    std::vector<std::shared_ptr<IPin>> pins;
    auto self = shared_from_this();
    for (TPinImpl* p : FPins) pins.push_back(std::shared_ptr<IPin>(self, p));  // pins live with the filter
    return pins;
  }
  HRESULT Stop() override { return S_OK; }
  std::string QueryFilterName() const override {
    std::lock_guard lk(FNameLock);
    return FName;
  }
  void SetName(const std::string& name) {
    std::lock_guard lk(FNameLock);
    FName = name;
  }
  std::shared_ptr<IPin> PinPtr(TPinImpl* p) { return std::shared_ptr<IPin>(shared_from_this(), p); }
  // Called by the graph when a pin of this filter loses its connection.
  virtual void PinDisconnected(TPinImpl*) {}

  std::atomic<TMediaGraph*> Graph{nullptr};

 protected:
  std::vector<TPinImpl*> FPins;

 private:
  mutable std::mutex FNameLock;
  std::string FName;
};

class TSourceFilter final : public TFilterBase {
 public:
  TSourceFilter() { FPins = {&Out}; }
  TPinImpl Out{this, false};
};

// ---------------------------------------------------------------------------------------------
// Frame grabber

class TSampleGrabberFilter final : public TFilterBase, public ISampleGrabber {
 public:
  TSampleGrabberFilter() {
    FPins = {&In, &Out};
    FType.majortype = MEDIATYPE_Video;
    FType.subtype = MEDIASUBTYPE_RGB32;
    FType.formattype = FORMAT_VideoInfo;
  }

  HRESULT SetMediaType(const AM_MEDIA_TYPE& type) override {
    std::lock_guard lk(FLock);
    FType = type;
    return S_OK;
  }
  HRESULT GetConnectedMediaType(AM_MEDIA_TYPE& type) override {
    std::lock_guard lk(FLock);
    if (!FConnected) return VFW_E_NOT_CONNECTED;
    type = FConnectedType;
    return S_OK;
  }
  HRESULT SetBufferSamples(bool buffer) override {
    std::lock_guard lk(FLock);
    FBufferSamples = buffer;
    if (!buffer) FSample.reset();
    return S_OK;
  }
  HRESULT GetCurrentBuffer(long* size, void* buffer) override {
    if (!size) return E_POINTER;
    TSamplePtr sample;
    {
      std::lock_guard lk(FLock);
      if (!FBufferSamples) return E_INVALIDARG;
      sample = FSample;
    }
    if (!sample) return VFW_E_WRONG_STATE;
    // The sample is never written again once handed out, so copying outside the lock is safe.
    if (!buffer) {
      *size = long(sample->Size);
      return S_OK;
    }
    if (*size < 0 || std::size_t(*size) < sample->Size) return E_OUTOFMEMORY;
    std::memcpy(buffer, sample->Bits, sample->Size);
    *size = long(sample->Size);
    return S_OK;
  }
  HRESULT SetCallback(ISampleGrabberCB* callback, long which) override {
    std::lock_guard lk(FCallbackLock);  // waits for a callback in progress
    FCallback = callback;
    FWhich = which;
    return S_OK;
  }

  // Bits per pixel the grabber accepts for decoded video: 32 or 24, 0 for none.
  int AcceptedBitCount() {
    std::lock_guard lk(FLock);
    if (!FType.majortype.IsNull() && FType.majortype != MEDIATYPE_Video) return 0;
    if (!FType.formattype.IsNull() && FType.formattype != FORMAT_VideoInfo) return 0;
    if (FType.subtype.IsNull() || FType.subtype == MEDIASUBTYPE_RGB32) return 32;
    if (FType.subtype == MEDIASUBTYPE_RGB24) return 24;
    return 0;
  }
  void Connected(int width, int height, int bitCount, REFERENCE_TIME frameTime) {
    std::lock_guard lk(FLock);
    FConnected = true;
    FConnectedType = AM_MEDIA_TYPE{};
    FConnectedType.majortype = MEDIATYPE_Video;
    FConnectedType.subtype = bitCount == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
    FConnectedType.bFixedSizeSamples = true;
    FConnectedType.bTemporalCompression = false;
    FConnectedType.lSampleSize = DIBStride(width, std::uint16_t(bitCount)) * std::uint32_t(height);
    FConnectedType.formattype = FORMAT_VideoInfo;
    FConnectedType.pbFormat = MakeVideoInfo(width, height, bitCount, frameTime);
    FSample.reset();
  }
  void PinDisconnected(TPinImpl* pin) override {
    if (pin != &In) return;
    std::lock_guard lk(FLock);
    FConnected = false;
    FSample.reset();
  }
  void Deliver(const TSamplePtr& sample) {
    {
      std::lock_guard lk(FLock);
      if (FBufferSamples) FSample = sample;
    }
    std::lock_guard lk(FCallbackLock);
    if (!FCallback) return;
    double t = double(sample->Time) / 1e7;
    if (FWhich == 0)
      FCallback->SampleCB(t);
    else
      FCallback->BufferCB(t, sample->Bits, long(sample->Size));
  }

  TPinImpl In{this, true};
  TPinImpl Out{this, false};

 private:
  std::mutex FLock;
  AM_MEDIA_TYPE FType;
  bool FConnected = false;
  AM_MEDIA_TYPE FConnectedType;
  bool FBufferSamples = false;
  TSamplePtr FSample;
  std::mutex FCallbackLock;
  ISampleGrabberCB* FCallback = nullptr;
  long FWhich = 1;
};

// ---------------------------------------------------------------------------------------------
// Video renderer

class TVideoRendererFilter final : public TFilterBase,
                                   public IVMRWindowlessControl9,
                                   public IVMRAspectRatioControl9,
                                   public IQualProp {
 public:
  TVideoRendererFilter() { FPins = {&In}; }

  HRESULT SetVideoClippingWindow(QObject* window) override {
    std::lock_guard lk(FLock);
    FWindow = window;
    return S_OK;
  }
  HRESULT SetVideoPosition(const QRect* source, const QRect* destination) override {
    std::lock_guard lk(FLock);
    FSource = source ? *source : QRect();
    if (destination) FDestination = *destination;
    RequestRepaintLocked();
    return S_OK;
  }
  HRESULT GetVideoPosition(QRect* source, QRect* destination) override {
    std::lock_guard lk(FLock);
    if (source) *source = FSource.isNull() ? QRect(0, 0, FNativeW, FNativeH) : FSource;
    if (destination) *destination = FDestination;
    return S_OK;
  }
  HRESULT GetNativeVideoSize(long* width, long* height) override {
    std::lock_guard lk(FLock);
    if (width) *width = FNativeW;
    if (height) *height = FNativeH;
    return S_OK;
  }
  HRESULT RepaintVideo(QWidget* window, QPainter& painter) override {
    TSamplePtr sample;
    QRect dst, src;
    std::uint32_t mode;
    int sarNum, sarDen;
    {
      std::lock_guard lk(FLock);
      sample = FSample;
      dst = FDestination;
      src = FSource;
      mode = FARMode;
      sarNum = FSarNum;
      sarDen = FSarDen;
    }
    // The window's own rectangle is the device the painter draws on.
    if (dst.isEmpty() && window && painter.device())
      dst = QRect(0, 0, painter.device()->width(), painter.device()->height());
    painter.fillRect(dst, Qt::black);  // the border
    if (!sample || sample->Width <= 0 || sample->Height <= 0) return S_OK;
    if (src.isNull()) src = QRect(0, 0, sample->Width, sample->Height);
    QRect target = dst;
    if (mode == VMR9ARMode_LetterBox) {
      double aspect = double(src.width()) * sarNum / (double(src.height()) * sarDen);
      int w = dst.width(), h = dst.height();
      if (w > h * aspect) {
        int tw = std::max(1, int(h * aspect + 0.5));
        target = QRect(dst.left() + (w - tw) / 2, dst.top(), tw, h);
      } else {
        int th = std::max(1, int(w / aspect + 0.5));
        target = QRect(dst.left(), dst.top() + (h - th) / 2, w, th);
      }
    }
    // The rows are stored bottom-up: wrap them as they are and draw them mirrored.
    QImage image(sample->Bits, sample->Width, sample->Height, qsizetype(sample->Stride), QImage::Format_RGB32);
    QRect flippedSource(src.left(), sample->Height - src.top() - src.height(), src.width(), src.height());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.translate(target.left(), target.top() + target.height());
    painter.scale(1, -1);
    painter.drawImage(QRect(0, 0, target.width(), target.height()), image, flippedSource);
    painter.restore();
    return S_OK;
  }
  HRESULT GetCurrentImage(std::vector<std::uint8_t>& dib) override {
    TSamplePtr sample;
    {
      std::lock_guard lk(FLock);
      sample = FSample;
    }
    if (!sample) return E_UNEXPECTED;
    BITMAPINFOHEADER h;
    h.biWidth = sample->Width;
    h.biHeight = sample->Height;
    h.biBitCount = std::uint16_t(sample->BitCount);
    h.biSizeImage = std::uint32_t(sample->Size);
    dib.assign(kBitmapInfoHeaderSize + sample->Size, 0);
    WriteBitmapInfoHeader(h, dib.data());
    std::memcpy(dib.data() + kBitmapInfoHeaderSize, sample->Bits, sample->Size);
    return S_OK;
  }
  HRESULT SetAspectRatioMode(std::uint32_t mode) override {
    if (mode != VMR9ARMode_None && mode != VMR9ARMode_LetterBox) return E_INVALIDARG;
    std::lock_guard lk(FLock);
    FARMode = mode;
    RequestRepaintLocked();
    return S_OK;
  }
  HRESULT GetAspectRatioMode(std::uint32_t* mode) override {
    if (!mode) return E_POINTER;
    std::lock_guard lk(FLock);
    *mode = FARMode;
    return S_OK;
  }
  HRESULT get_FramesDroppedInRenderer(int* frames) override {
    if (!frames) return E_POINTER;
    *frames = FDropped.load();
    return S_OK;
  }
  HRESULT get_FramesDrawn(int* frames) override {
    if (!frames) return E_POINTER;
    *frames = FDrawn.load();
    return S_OK;
  }

  void Connected(int width, int height, int sarNum, int sarDen) {
    std::lock_guard lk(FLock);
    FNativeW = width;
    FNativeH = height;
    FSarNum = sarNum;
    FSarDen = sarDen;
    FSample.reset();
    FDrawn = 0;
    FDropped = 0;
  }
  void PinDisconnected(TPinImpl*) override {
    std::lock_guard lk(FLock);
    FSample.reset();
    RequestRepaintLocked();
  }
  void Deliver(const TSamplePtr& sample) {
    std::lock_guard lk(FLock);
    FSample = sample;
    ++FDrawn;
    RequestRepaintLocked();
  }
  void Dropped() { ++FDropped; }

  TPinImpl In{this, true};

 private:
  void RequestRepaintLocked() {
    // Posted while holding the lock, and the window unregisters itself under the same lock
    // before it is destroyed, so the event never reaches a dead object.
    if (FWindow) QMetaObject::invokeMethod(FWindow, "update", Qt::QueuedConnection);
  }

  std::mutex FLock;
  QObject* FWindow = nullptr;
  QRect FSource, FDestination;
  std::uint32_t FARMode = VMR9ARMode_None;
  TSamplePtr FSample;
  int FNativeW = 0, FNativeH = 0, FSarNum = 1, FSarDen = 1;
  std::atomic<int> FDrawn{0}, FDropped{0};
};

// ---------------------------------------------------------------------------------------------
// The graph

struct TRequest {
  enum Kind { Render, Close, Run, Pause, Stop, Seek, Step } What;
  std::string FileName;
  REFERENCE_TIME Time = 0;
  std::uint32_t Frames = 0;
  std::shared_ptr<std::promise<HRESULT>> Done;
};

// Picture buffers for the converted frames. A buffer comes back here when its last holder (the
// grabber, the renderer, a copy in progress) lets go of it, on whatever thread that is.
class TSamplePool : public std::enable_shared_from_this<TSamplePool> {
 public:
  TSamplePtr Get(int width, int height, int bitCount) {
    std::unique_ptr<TVideoSample> sample;
    {
      std::lock_guard lk(FLock);
      for (auto it = FFree.begin(); it != FFree.end(); ++it) {
        if ((*it)->Width == width && (*it)->Height == height && (*it)->BitCount == bitCount) {
          sample = std::move(*it);
          FFree.erase(it);
          break;
        }
      }
      if (!sample) FFree.clear();  // another size: the old buffers will not be asked for again
    }
    if (!sample) sample = std::make_unique<TVideoSample>(width, height, bitCount);
    std::weak_ptr<TSamplePool> pool = weak_from_this();
    return TSamplePtr(sample.release(), [pool](TVideoSample* p) {
      if (auto owner = pool.lock())
        owner->Put(p);
      else
        delete p;
    });
  }

 private:
  void Put(TVideoSample* p) {
    std::unique_ptr<TVideoSample> sample(p);
    std::lock_guard lk(FLock);
    if (FFree.size() < 4) FFree.push_back(std::move(sample));
  }
  std::mutex FLock;
  std::vector<std::unique_ptr<TVideoSample>> FFree;
};

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
  TSamplePtr Convert(const AVFrame* f, int width, int height, int bitCount, REFERENCE_TIME time);
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
  SwsContext* FSws[2] = {nullptr, nullptr};
  TFramePtr FScratch[2];  // the scaler's aligned output, one per destination format
  int FSwsColorspace[2] = {-1, -1}, FSwsRange[2] = {-1, -1};
  std::shared_ptr<TSamplePool> FPool = std::make_shared<TSamplePool>();

  std::thread FWorker;
};

HRESULT TPinImpl::Disconnect() {
  TMediaGraph* g = Owner->Graph.load();
  if (!g) return S_FALSE;
  return g->DisconnectPin(this);
}

HRESULT TPinImpl::ConnectedTo(std::shared_ptr<IPin>& pin) {
  pin.reset();
  TMediaGraph* g = Owner->Graph.load();
  if (!g) return VFW_E_NOT_CONNECTED;
  TPinImpl* peer = g->PeerOf(this);
  if (!peer) return VFW_E_NOT_CONNECTED;
  pin = peer->Owner->PinPtr(peer);
  return S_OK;
}

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
  for (auto*& s : FSws) sws_freeContext(s);
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

bool Supersedes(TRequest::Kind k) {
  return k == TRequest::Seek || k == TRequest::Stop || k == TRequest::Render || k == TRequest::Close;
}

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

// ----- the worker

void TMediaGraph::WorkerMain() {
  constexpr std::size_t kAhead = 2;
  std::unique_lock lk(FMutex);
  while (!FQuit) {
    if (!FRequests.empty()) {
      TRequest r = std::move(FRequests.front());
      FRequests.pop_front();
      FBusy = true;
      // A seek immediately overtaken by another seek, a stop or a new file has nothing to show.
      bool superseded = r.What == TRequest::Seek && !FRequests.empty() && Supersedes(FRequests.front().What);
      if (superseded) {
        --FPendingPositionRequests;
      } else {
        FSeeking = r.What == TRequest::Seek || r.What == TRequest::Stop;
        FAbandonSeek = false;
        lk.unlock();
        try {
          Process(r);
        } catch (const std::exception& e) {
          Log("request failed: %s", e.what());
          if (r.Done) {
            try {
              r.Done->set_value(E_OUTOFMEMORY);
            } catch (const std::future_error&) {
            }
          }
        }
        lk.lock();
        FSeeking = false;
      }
      FBusy = false;
      if (FRequests.empty()) FIdle.notify_all();
      continue;
    }
    if (FState == State_Running && FDecoder && !FEndReported) {
      lk.unlock();
      std::optional<Clock::time_point> until;
      try {
        until = PlayOnce();
      } catch (const std::exception& e) {
        Log("playback failed: %s", e.what());
      }
      lk.lock();
      if (until) FClock->WaitUntil(lk, FWake, *until, [&] { return FQuit || !FRequests.empty(); });
      continue;
    }
    if (FDecoder && FState != State_Running && FDecoder->AheadCount() < kAhead && !FDecoder->Drained()) {
      // Idle while paused: decode the next frame now so that the next step only converts it.
      lk.unlock();
      try {
        FDecoder->DecodeAhead();
      } catch (const std::exception&) {
      }
      lk.lock();
      continue;
    }
    FWake.wait(lk, [&] {
      return FQuit || !FRequests.empty() || (FState == State_Running && FDecoder && !FEndReported) ||
             (FDecoder && FState != State_Running && FDecoder->AheadCount() < kAhead && !FDecoder->Drained());
    });
  }
}

void TMediaGraph::Process(TRequest& r) {
  switch (r.What) {
    case TRequest::Render: {
      HRESULT hr = DoRender(r.FileName);
      r.Done->set_value(hr);
      break;
    }
    case TRequest::Close:
      DoClose();
      r.Done->set_value(S_OK);
      break;
    case TRequest::Run: {
      Log("Run");
      std::lock_guard lk(FMutex);
      FEndReported = false;
      break;
    }
    case TRequest::Pause:
      Log("Pause");
      if (FPendingDrop) {
        // Hold the frame the position has reached, not an older one.
        Present(*FPendingDrop);
        FPendingDrop.reset();
      }
      break;
    case TRequest::Stop:
      Log("Stop");
      DoSeek(0, true);
      break;
    case TRequest::Seek:
      Log("Seek %.4f s", double(r.Time) / 1e7);
      DoSeek(r.Time, true);
      break;
    case TRequest::Step:
      DoStep(r.Frames);
      break;
  }
}

HRESULT TMediaGraph::DoRender(const std::string& fileName) {
  DoClose();
  std::unique_ptr<TDecoder> decoder;
  std::string info;
  HRESULT hr = TDecoder::Open(fileName, decoder, info);
  if (FAILED(hr)) {
    Log("open failed: %s", info.c_str());
    return hr;
  }
  Log("opened: %s", info.c_str());
  FDecoder = std::move(decoder);
  auto source = std::make_shared<TSourceFilter>();
  {
    std::lock_guard lk(FMutex);
    source->SetName(fileName);
    source->Graph = this;
    FFilters.push_back(source);
    FSource = source;
    // Grabber and renderer already in the graph, first come first used.
    std::shared_ptr<TSampleGrabberFilter> grabber;
    std::shared_ptr<TVideoRendererFilter> renderer;
    auto connected = [&](TPinImpl* p) {
      return std::any_of(FConnections.begin(), FConnections.end(),
                         [p](auto& c) { return c.first == p || c.second == p; });
    };
    for (auto& f : FFilters) {
      if (auto g = std::dynamic_pointer_cast<TSampleGrabberFilter>(f); g && !grabber && !connected(&g->In))
        grabber = g;
      if (auto v = std::dynamic_pointer_cast<TVideoRendererFilter>(f); v && !renderer && !connected(&v->In))
        renderer = v;
    }
    int bits = grabber ? grabber->AcceptedBitCount() : 0;
    int w = FDecoder->Width(), h = FDecoder->Height();
    if (grabber && bits != 0) {
      FConnections.emplace_back(&source->Out, &grabber->In);
      grabber->Connected(w, h, bits, FDecoder->NominalFrameDuration());
      if (renderer) FConnections.emplace_back(&grabber->Out, &renderer->In);
    } else if (renderer) {
      FConnections.emplace_back(&source->Out, &renderer->In);
    }
    if (renderer && (connected(&renderer->In))) renderer->Connected(w, h, FDecoder->SarNum(), FDecoder->SarDen());
    FChain.Width = w;
    FChain.Height = h;
    RebuildChainLocked();
    FHaveVideo = true;
    FDuration = FDecoder->Duration();
    FStopSet = false;
    FState = State_Stopped;
    FPosition = 0;
    FEndReported = false;
  }
  // Cue the first frame.
  TDecodedFrame first;
  if (FDecoder->Next(first)) Present(first);
  return S_OK;
}

void TMediaGraph::DoClose() {
  FPendingDrop.reset();
  FDecoder.reset();
  std::lock_guard lk(FMutex);
  if (FSource) {
    RemoveConnectionsLocked(FSource.get());
    FFilters.erase(std::remove(FFilters.begin(), FFilters.end(), FSource), FFilters.end());
    FSource->Graph = nullptr;
    FSource.reset();
  }
  RebuildChainLocked();
  FHaveVideo = false;
  FDuration = 0;
  FPosition = 0;
}

void TMediaGraph::DoSeek(REFERENCE_TIME t, bool countsAsPositionRequest) {
  FPendingDrop.reset();
  if (FDecoder) {
    TDecodedFrame current;
    if (FDecoder->Seek(t, current, [this] { return FAbandonSeek.load(); })) Present(current);
  }
  std::lock_guard lk(FMutex);
  if (countsAsPositionRequest) --FPendingPositionRequests;
  if (FDecoder && FDecoder->DecodedEnd() >= 0) FDuration = FDecoder->DecodedEnd();
  if (FState == State_Running && FPendingPositionRequests == 0) {
    // Playing on from the new place starts now, not when the seek was asked for.
    FMediaStart = t;
    FClockStart = FClock->Now();
  }
  FEndReported = false;
}

void TMediaGraph::DoStep(std::uint32_t frames) {
  FPendingDrop.reset();
  std::optional<TDecodedFrame> shown;
  bool atEnd = false;
  for (std::uint32_t i = 0; i < frames && FDecoder; ++i) {
    TDecodedFrame f;
    if (!FDecoder->Next(f)) {
      atEnd = true;
      break;
    }
    shown = std::move(f);
  }
  if (!FDecoder) atEnd = true;
  if (shown) Present(*shown);
  {
    std::lock_guard lk(FMutex);
    if (atEnd && FDecoder && FDecoder->DecodedEnd() >= 0) FDuration = FDecoder->DecodedEnd();
    if (FPendingPositionRequests == 0) FPosition = atEnd ? FDuration : shown->Time;
  }
  if (atEnd)
    Log("Step: end of stream");
  else
    Log("Step to %.4f s", double(shown->Time) / 1e7);
  QueueEvent(EC_STEP_COMPLETE, 0, 0);
  if (atEnd) QueueEvent(EC_COMPLETE, S_OK, 0);
}

std::optional<Clock::time_point> TMediaGraph::PlayOnce() {
  if (FDecoder->AheadCount() == 0 && !FDecoder->DecodeAhead()) {
    if (FPendingDrop) {
      Present(*FPendingDrop);  // the last frame is always shown
      FPendingDrop.reset();
    }
    {
      std::lock_guard lk(FMutex);
      if (FDecoder->DecodedEnd() >= 0) FDuration = FDecoder->DecodedEnd();
      // The end comes when the last frame has been on screen for its duration.
      Clock::time_point end =
          FClockStart + std::chrono::nanoseconds(std::int64_t(double(FDuration - FMediaStart) * 100.0 / FRate));
      if (FClock->Now() < end) return end;
      FEndReported = true;
    }
    Log("end of stream");
    QueueEvent(EC_COMPLETE, S_OK, 0);
    return std::nullopt;
  }
  const TDecodedFrame* next = FDecoder->PeekAhead();
  Clock::time_point due;
  double rate;
  {
    std::lock_guard lk(FMutex);
    rate = FRate;
    due = FClockStart + std::chrono::nanoseconds(std::int64_t(double(next->Time - FMediaStart) * 100.0 / rate));
  }
  Clock::time_point now = FClock->Now();
  if (now < due) {
    // Time to spare: decode further ahead, so that a slow frame later on (a busy machine, a
    // costly picture) is already there when it is due.
    constexpr std::size_t kPlayAhead = 6;
    if (FDecoder->AheadCount() < kPlayAhead && !FDecoder->Drained() && due - now > std::chrono::milliseconds(2)) {
      FDecoder->DecodeAhead();
      return std::nullopt;
    }
    return due;
  }
  auto late = now - due;
  auto allowance = std::max<Clock::duration>(std::chrono::nanoseconds(std::int64_t(double(next->Duration) * 100.0 / rate)),
                                             std::chrono::milliseconds(20));
  TDecodedFrame f;
  FDecoder->Next(f);
  if (late > allowance) {
    // Too late to be worth showing: drop it, the clock goes on.
    Log("dropped the frame at %.4f s, %.1f ms late", double(f.Time) / 1e7,
        std::chrono::duration<double, std::milli>(late).count());
    FPendingDrop = std::move(f);
    std::shared_ptr<TVideoRendererFilter> renderer;
    {
      std::lock_guard lk(FMutex);
      renderer = FChain.Renderer;
    }
    if (renderer) renderer->Dropped();
    return std::nullopt;
  }
  FPendingDrop.reset();
  Present(f);
  return std::nullopt;
}

TSamplePtr TMediaGraph::Convert(const AVFrame* f, int width, int height, int bitCount, REFERENCE_TIME time) {
  TSamplePtr sample = FPool->Get(width, height, bitCount);
  sample->Time = time;
  int slot = bitCount == 32 ? 0 : 1;
  AVPixelFormat dstFormat = bitCount == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  // A picture shown turned by a quarter turn is scaled at its coded size, then turned.
  const TOrientation orientation = FDecoder ? FDecoder->Orientation() : TOrientation{};
  const int codedWidth = orientation.SwapsSides() ? height : width;
  const int codedHeight = orientation.SwapsSides() ? width : height;
  SwsContext* sws = sws_getCachedContext(FSws[slot], f->width, f->height, AVPixelFormat(f->format), codedWidth, codedHeight,
                                         dstFormat, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (sws != FSws[slot]) {
    FSws[slot] = sws;
    FSwsColorspace[slot] = FSwsRange[slot] = -1;
  }
  if (!sws) {
    std::memset(sample->Bits, 0, sample->Size);
    return sample;
  }
  if (FSwsColorspace[slot] != f->colorspace || FSwsRange[slot] != f->color_range) {
    // The colour matrix and range of the frame, as the ffmpeg command's scaler takes them.
    int *invTable, *table, srcFull, dstFull, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(sws, &invTable, &srcFull, &table, &dstFull, &brightness, &contrast, &saturation) >= 0) {
      const int* coefficients = sws_getCoefficients(f->colorspace);
      if (f->color_range != AVCOL_RANGE_UNSPECIFIED) srcFull = f->color_range == AVCOL_RANGE_JPEG;
      sws_setColorspaceDetails(sws, coefficients, srcFull, coefficients, dstFull, brightness, contrast, saturation);
    }
    FSwsColorspace[slot] = f->colorspace;
    FSwsRange[slot] = f->color_range;
  }
  // The scaler writes into a frame of FFmpeg's own aligned, padded layout (its assembly writes
  // whole vector widths past the row's end, and reads the destination it blends into); the
  // sample's rows are then copied bottom-up, with each row's padding zeroed, so that every byte
  // the sample holds is set on every run.
  AVFrame* scratch = FScratch[slot].get();
  if (!scratch || scratch->width != codedWidth || scratch->height != codedHeight || scratch->format != dstFormat) {
    FScratch[slot].reset(av_frame_alloc());
    scratch = FScratch[slot].get();
    if (!scratch) throw std::bad_alloc();
    scratch->width = codedWidth;
    scratch->height = codedHeight;
    scratch->format = dstFormat;
    if (av_frame_get_buffer(scratch, 0) < 0) {
      FScratch[slot].reset();
      throw std::bad_alloc();
    }
  }
  int scaled = sws_scale(sws, f->data, f->linesize, 0, f->height, scratch->data, scratch->linesize);
  if (scaled != codedHeight) {
    std::memset(sample->Bits, 0, sample->Size);
    return sample;
  }
  const std::size_t rowBytes = std::size_t(width) * std::size_t(bitCount / 8);
  if (!orientation.Identity())
    CopyOriented(scratch->data[0], scratch->linesize[0], codedWidth, codedHeight, bitCount / 8, orientation,
                 sample->Bits + std::size_t(height - 1) * sample->Stride, -std::ptrdiff_t(sample->Stride));
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = sample->Bits + std::size_t(height - 1 - y) * sample->Stride;
    if (orientation.Identity())
      std::memcpy(row, scratch->data[0] + std::size_t(y) * std::size_t(scratch->linesize[0]), rowBytes);
    std::memset(row + rowBytes, 0, sample->Stride - rowBytes);
  }
  return sample;
}

void TMediaGraph::Present(const TDecodedFrame& f) {
  TChain chain;
  {
    std::lock_guard lk(FMutex);
    chain = FChain;
  }
  if ((!chain.Grabber && !chain.Renderer) || chain.Width <= 0 || chain.Height <= 0) return;
  TSamplePtr grabbed, shown;
  if (chain.Grabber) grabbed = Convert(f.Frame.get(), chain.Width, chain.Height, chain.GrabberBits, f.Time);
  if (chain.Renderer)
    shown = grabbed && grabbed->BitCount == 32 ? grabbed : Convert(f.Frame.get(), chain.Width, chain.Height, 32, f.Time);
  if (chain.Grabber) chain.Grabber->Deliver(grabbed);
  if (chain.Renderer) chain.Renderer->Deliver(shown);
}

struct TQuietFFmpeg {
  TQuietFFmpeg() { av_log_set_level(AV_LOG_FATAL); }
};

}  // namespace
}  // namespace media

std::shared_ptr<IGraphBuilder> CreateFilterGraph() {
  static media::TQuietFFmpeg quiet;
  return std::make_shared<media::TMediaGraph>();
}

std::shared_ptr<IBaseFilter> CreateSampleGrabberFilter() { return std::make_shared<media::TSampleGrabberFilter>(); }

std::shared_ptr<IBaseFilter> CreateVideoRendererFilter() { return std::make_shared<media::TVideoRendererFilter>(); }

}  // namespace clipsmith
