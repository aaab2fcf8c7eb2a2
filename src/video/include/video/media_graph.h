// The media graph: a small playback service over FFmpeg with the interfaces the video
// components and the conversion job call. One graph plays one video stream of one file through
// an optional frame grabber and an optional video renderer. Demuxing and decoding run on the
// graph's own worker thread; every request reaches that thread through a queue, and events come
// back through the graph's event queue, announced by a Qt event posted to a receiver object.
#pragma once

#include <QEvent>
#include <QRect>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video/media_type.h"
#include "video/time_text.h"

class QObject;
class QObject;
class QPainter;
class QWidget;

namespace clipsmith {

class TStream;

using HRESULT = std::int32_t;
using LONG_PTR = std::intptr_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = HRESULT(0x80040204u);
constexpr HRESULT VFW_E_NOT_CONNECTED = HRESULT(0x80040209u);
constexpr HRESULT VFW_E_WRONG_STATE = HRESULT(0x80040227u);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = HRESULT(0x8004025Fu);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = HRESULT(0x00040237);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// The platform's error text for a code: FFmpeg's reason for FFmpeg's codes, "Unspecified error"
// for every other code; at most 255 characters.
std::string AMGetErrorText(HRESULT hr);

// Event codes.
constexpr long EC_COMPLETE = 1;
constexpr long EC_USERABORT = 2;
constexpr long EC_ERRORABORT = 3;
constexpr long EC_STREAM_ERROR_STOPPED = 6;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 7;
constexpr long EC_ERROR_STILLPLAYING = 8;
constexpr long EC_PALETTE_CHANGED = 9;
constexpr long EC_VIDEO_SIZE_CHANGED = 10;
constexpr long EC_QUALITY_CHANGE = 11;
constexpr long EC_CLOCK_CHANGED = 13;
constexpr long EC_PAUSED = 14;
constexpr long EC_OPENING_FILE = 16;
constexpr long EC_BUFFERING_DATA = 17;
constexpr long EC_FULLSCREEN_LOST = 18;
constexpr long EC_OLE_EVENT = 24;
constexpr long EC_STREAM_CONTROL_STOPPED = 26;
constexpr long EC_STREAM_CONTROL_STARTED = 27;
constexpr long EC_END_OF_SEGMENT = 28;
constexpr long EC_DEVICE_LOST = 31;
constexpr long EC_STEP_COMPLETE = 36;
constexpr long EC_TIMECODE_AVAILABLE = 48;
constexpr long EC_EXTDEVICE_MODE_CHANGE = 49;
constexpr long EC_GRAPH_CHANGED = 80;
constexpr long EC_CLOCK_UNSET = 81;
constexpr long EC_VMR_RENDERDEVICE_SET = 83;
constexpr long EC_SNDDEV_IN_ERROR = 512;
constexpr long EC_SNDDEV_OUT_ERROR = 513;

// The message the graph posts when its event queue becomes non-empty.
constexpr long WM_GRAPHNOTIFY = 0x8001;

// A window message delivered as a Qt event to a receiver object.
class TWindowMessage : public QEvent {
 public:
  TWindowMessage(long msg, LONG_PTR wParam, LONG_PTR lParam)
      : QEvent(EventType()), Msg(msg), WParam(wParam), LParam(lParam) {}
  static QEvent::Type EventType();
  long Msg;
  LONG_PTR WParam;
  LONG_PTR LParam;
};

// Filter states (IMediaControl::GetState).
enum OAFilterState : long { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
constexpr long INFINITE = -1;

// Seeking flags and capabilities.
constexpr std::uint32_t AM_SEEKING_NoPositioning = 0;
constexpr std::uint32_t AM_SEEKING_AbsolutePositioning = 1;
constexpr std::uint32_t AM_SEEKING_RelativePositioning = 2;
constexpr std::uint32_t AM_SEEKING_IncrementalPositioning = 3;
constexpr std::uint32_t AM_SEEKING_PositioningBitsMask = 3;
constexpr std::uint32_t AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr std::uint32_t AM_SEEKING_CanSeekForwards = 0x2;
constexpr std::uint32_t AM_SEEKING_CanSeekBackwards = 0x4;
constexpr std::uint32_t AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr std::uint32_t AM_SEEKING_CanGetStopPos = 0x10;
constexpr std::uint32_t AM_SEEKING_CanGetDuration = 0x20;
constexpr std::uint32_t AM_SEEKING_CanPlayBackwards = 0x40;
constexpr std::uint32_t AM_SEEKING_CanDoSegments = 0x80;

class IPin {
 public:
  virtual ~IPin() = default;
  virtual HRESULT Disconnect() = 0;
  // S_OK and the peer while connected, VFW_E_NOT_CONNECTED otherwise.
  virtual HRESULT ConnectedTo(std::shared_ptr<IPin>& pin) = 0;
};

class IBaseFilter {
 public:
  virtual ~IBaseFilter() = default;
  virtual std::vector<std::shared_ptr<IPin>> EnumPins() = 0;
  virtual HRESULT Stop() = 0;
  virtual std::string QueryFilterName() const = 0;
};

class IGraphBuilder {
 public:
  virtual ~IGraphBuilder() = default;
  virtual HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name) = 0;
  virtual HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) = 0;
  virtual std::vector<std::shared_ptr<IBaseFilter>> EnumFilters() = 0;
  // Opens the file, picks its best video stream, connects it through the grabber and the
  // renderer in the graph, and cues the first frame. Blocks until that is done.
  virtual HRESULT RenderFile(const std::string& fileName) = 0;
  // A plain text log of the graph's operations goes to stream until SetLogFile(nullptr).
  virtual HRESULT SetLogFile(TStream* stream) = 0;
};

class IMediaControl {
 public:
  virtual ~IMediaControl() = default;
  // S_OK, or S_FALSE while earlier requests are still being carried out.
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  // The state the graph is in or moving to. With a timeout (ms, INFINITE) waits until every
  // request made so far has been carried out; VFW_S_STATE_INTERMEDIATE when it ran out first.
  virtual HRESULT GetState(long msTimeout, OAFilterState* state) = 0;
};

class IMediaEventEx {
 public:
  virtual ~IMediaEventEx() = default;
  // S_OK with the oldest event, E_ABORT when none came within the timeout (ms, INFINITE).
  virtual HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long msTimeout) = 0;
  virtual HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) = 0;
  // A TWindowMessage(msg, 0, instanceData) is posted to window whenever the queue goes from
  // empty to non-empty; nullptr stops it. Safe against a receiver that is being destroyed as long
  // as it is unregistered first.
  virtual HRESULT SetNotifyWindow(QObject* window, long msg, LONG_PTR instanceData) = 0;
  // 1 turns the notification message off, 0 on.
  virtual HRESULT SetNotifyFlags(long flags) = 0;
};

class IMediaSeeking {
 public:
  virtual ~IMediaSeeking() = default;
  virtual HRESULT GetCapabilities(std::uint32_t* capabilities) = 0;
  virtual HRESULT GetDuration(REFERENCE_TIME* duration) = 0;
  virtual HRESULT GetCurrentPosition(REFERENCE_TIME* current) = 0;
  virtual HRESULT GetStopPosition(REFERENCE_TIME* stop) = 0;
  // Either pointer may be null with AM_SEEKING_NoPositioning.
  virtual HRESULT SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME* stop,
                               std::uint32_t stopFlags) = 0;
  virtual HRESULT SetRate(double rate) = 0;
  virtual HRESULT GetRate(double* rate) = 0;
};

class IVideoFrameStep {
 public:
  virtual ~IVideoFrameStep() = default;
  virtual HRESULT CanStep(long multiple, void* stepObject) = 0;
  virtual HRESULT Step(std::uint32_t frames, void* stepObject) = 0;
  virtual HRESULT CancelStep() = 0;
};

class IBasicAudio {
 public:
  virtual ~IBasicAudio() = default;
  virtual HRESULT put_Volume(long volume) = 0;
  virtual HRESULT put_Balance(long balance) = 0;
};

class ISampleGrabberCB {
 public:
  virtual ~ISampleGrabberCB() = default;
  // Called on the graph's worker thread for every sample that passes the grabber.
  virtual HRESULT SampleCB(double sampleTime) = 0;
  virtual HRESULT BufferCB(double sampleTime, const std::uint8_t* buffer, long bufferLen) = 0;
};

class ISampleGrabber {
 public:
  virtual ~ISampleGrabber() = default;
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE& type) = 0;
  virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE& type) = 0;
  virtual HRESULT SetBufferSamples(bool buffer) = 0;
  // buffer null: *size becomes the kept sample's size. Otherwise copies the sample into buffer,
  // which holds *size bytes (E_OUTOFMEMORY when that is too small), and sets *size.
  virtual HRESULT GetCurrentBuffer(long* size, void* buffer) = 0;
  // which: 0 SampleCB, 1 BufferCB.
  virtual HRESULT SetCallback(ISampleGrabberCB* callback, long which) = 0;
};

constexpr std::uint32_t VMR9ARMode_None = 0;
constexpr std::uint32_t VMR9ARMode_LetterBox = 1;

class IVMRWindowlessControl9 {
 public:
  virtual ~IVMRWindowlessControl9() = default;
  virtual HRESULT SetVideoClippingWindow(QObject* window) = 0;
  // source null: the whole picture.
  virtual HRESULT SetVideoPosition(const QRect* source, const QRect* destination) = 0;
  virtual HRESULT GetVideoPosition(QRect* source, QRect* destination) = 0;
  virtual HRESULT GetNativeVideoSize(long* width, long* height) = 0;
  // Draws the current frame into the destination rectangle, letter-boxed on black when the
  // aspect ratio is kept.
  virtual HRESULT RepaintVideo(QWidget* window, QPainter& painter) = 0;
  // The shown frame as a packed device-independent bitmap: header, then bottom-up pixels.
  virtual HRESULT GetCurrentImage(std::vector<std::uint8_t>& dib) = 0;
  virtual HRESULT SetAspectRatioMode(std::uint32_t mode) = 0;
  virtual HRESULT GetAspectRatioMode(std::uint32_t* mode) = 0;
};

class IVMRAspectRatioControl9 {
 public:
  virtual ~IVMRAspectRatioControl9() = default;
  virtual HRESULT SetAspectRatioMode(std::uint32_t mode) = 0;
  virtual HRESULT GetAspectRatioMode(std::uint32_t* mode) = 0;
};

// Renderer statistics.
class IQualProp {
 public:
  virtual ~IQualProp() = default;
  virtual HRESULT get_FramesDroppedInRenderer(int* frames) = 0;
  virtual HRESULT get_FramesDrawn(int* frames) = 0;
};

// A new, empty graph.
std::shared_ptr<IGraphBuilder> CreateFilterGraph();
// A frame grabber filter (ISampleGrabber); it accepts uncompressed RGB32 or RGB24 video.
std::shared_ptr<IBaseFilter> CreateSampleGrabberFilter();
// A video renderer filter (IVMRWindowlessControl9, IVMRAspectRatioControl9, IQualProp).
std::shared_ptr<IBaseFilter> CreateVideoRendererFilter();

// The interface query of a graph or filter: the object as I, or null where it has none.
template <class I, class T>
std::shared_ptr<I> QueryInterfaceOf(const std::shared_ptr<T>& object) {
  return std::dynamic_pointer_cast<I>(object);
}

}  // namespace clipsmith
