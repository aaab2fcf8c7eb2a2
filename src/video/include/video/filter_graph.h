// TFilterGraph: the component that owns one media graph, renders a file into it, runs, pauses
// and stops it, answers state, position and duration, and raises the graph's events on the
// user-interface thread. The video window, the frame grabber and the seek bar bind to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "video/media_graph.h"

class QObject;

namespace clipsmith {

class TFilterGraph;
class TFileStream;

enum class TGraphState { gsUninitialized, gsStopped, gsPaused, gsPlaying };
enum class TControlNotice {
  cnPlay,
  cnPause,
  cnStop,
  cnFileRendering,
  cnFileRendered,
  cnDVDRendering,
  cnDVDRendered,
  cnActive
};
enum class TFilterEvent { feAdding, feAdded, feRemoving, feRemoved };

enum class TSeekingCap {
  CanSeekAbsolute,
  CanSeekForwards,
  CanSeekBackwards,
  CanGetCurrentPos,
  CanGetStopPos,
  CanGetDuration,
  CanPlayBackwards,
  CanDoSegments
};
// Bit n is TSeekingCap n, the low 8 bits of the graph's seeking capabilities.
struct TSeekingCaps {
  std::uint8_t Bits = 0;
  bool Contains(TSeekingCap c) const { return (Bits >> int(c)) & 1; }
  bool Empty() const { return Bits == 0; }
};

// Implemented by the components that want the graph's events and control notices.
class IEvent {
 public:
  virtual ~IEvent() = default;
  virtual void GraphEventNotify(long Event, LONG_PTR Param1, LONG_PTR Param2) = 0;
  virtual void ControlNotify(TControlNotice Kind, long Param) = 0;
  // The graph component is being destroyed: forget it.
  virtual void GraphDestroyed(TFilterGraph*) {}
};

// Implemented by the components that put a filter into the graph.
class IFilterComponent {
 public:
  virtual ~IFilterComponent() = default;
  virtual std::shared_ptr<IBaseFilter> GetBaseFilter() = 0;
  virtual std::string GetFilterName() = 0;
  virtual void FilterOperation(TFilterEvent Operation, long Param) = 0;
  virtual void GraphDestroyed(TFilterGraph*) {}
};

class EDirectShowException : public std::runtime_error {
 public:
  EDirectShowException(const std::string& message, HRESULT code) : std::runtime_error(message), ErrorCode(code) {}
  HRESULT ErrorCode;
};

// The platform's text for hr, at most 255 characters.
std::string DSErrorText(HRESULT hr);
// hr itself when it is not a failure; otherwise raises EDirectShowException with
// DSErrorText(hr) + " ($XXXXXXXX)." and ErrorCode hr.
HRESULT CheckDSResult(HRESULT hr);

// (ln(v + 1) * 1085.73, rounded) - 10000: 0 gives -10000, 10000 gives 0.
int LinearToDecibelVolume(int volume);
// Magnitude ln(|b| + 1) * 1085.73 rounded, with the sign of b; 0 gives 0.
int LinearToDecibelBalance(int balance);

class TFilterGraph {
 public:
  TFilterGraph();
  virtual ~TFilterGraph();
  TFilterGraph(const TFilterGraph&) = delete;
  TFilterGraph& operator=(const TFilterGraph&) = delete;

  // Creates the graph; tests may put a stand-in here before activation.
  std::function<std::shared_ptr<IGraphBuilder>()> GraphFactory;

  std::string Name = "FilterGraph";

  bool Active() const { return FActive; }
  void SetActive(bool value);
  bool AutoCreate = false;
  // The owning window has finished building: AutoCreate activates now.
  void Loaded();

  bool LinearVolume() const { return FLinearVolume; }
  void SetLinearVolume(bool value);
  int Volume() const { return FVolume; }
  void SetVolume(int value);
  int Balance() const { return FBalance; }
  void SetBalance(int value);
  double Rate() const { return FRate; }
  void SetRate(double value);
  // Milliseconds.
  std::uint32_t Position();
  void SetPosition(std::uint32_t ms);
  std::uint32_t Duration();
  TSeekingCaps SeekCapabilities();
  TGraphState State();
  void SetState(TGraphState value);

  // A plain text log of the graph's operations, written while active; "" for none. A file that
  // cannot be created switches logging off and keeps the old name.
  const std::string& LogFile() const { return FLogFileName; }
  void SetLogFile(const std::string& fileName);

  bool Play();
  bool Pause();
  bool Stop();
  // S_OK, a positive partial-success code, or 1 when inactive; failures raise EDirectShowException.
  HRESULT RenderFile(const std::string& fileName);
  void ClearGraph();
  void DisconnectFilters();

  void InsertEventNotifier(IEvent* notifier);
  void RemoveEventNotifier(IEvent* notifier);
  void AddFilterComponent(IFilterComponent* component);
  void RemoveFilterComponent(IFilterComponent* component);

  // The graph's interface I while active, else null.
  template <class I>
  std::shared_ptr<I> QueryInterface() const {
    return FActive ? std::dynamic_pointer_cast<I>(FFilterGraph) : nullptr;
  }

  // Dispatches one graph event: notifiers in insertion order, then OnDSEvent, then the event's
  // own slot.
  virtual void HandleGraphEvent(long Event, LONG_PTR Param1, LONG_PTR Param2);
  // Takes every queued event and dispatches it.
  void DrainGraphEvents();
  // Takes one queued event and dispatches it; false when there was none. What the hidden
  // receiver does for each WM_GRAPHNOTIFY it gets, posting itself another while events come.
  bool DispatchGraphEvent();
  // The hidden receiver of the graph's notification message.
  QObject* Handle() const { return FHandle.get(); }

  // Events.
  std::function<void(TFilterGraph*)> OnActivate;
  std::function<void(TFilterGraph*, long, LONG_PTR, LONG_PTR)> OnDSEvent;
  std::function<void(TFilterGraph*, HRESULT, IBaseFilter*)> OnGraphComplete;
  std::function<void(TFilterGraph*)> OnGraphUserAbort;
  std::function<void(TFilterGraph*, HRESULT)> OnGraphErrorAbort;
  std::function<void(TFilterGraph*, long, long)> OnGraphStreamErrorStopped;
  std::function<void(TFilterGraph*, long, long)> OnGraphStreamErrorStillPlaying;
  std::function<void(TFilterGraph*, HRESULT)> OnGraphErrorStillPlaying;
  std::function<void(TFilterGraph*)> OnGraphPaletteChanged;
  std::function<void(TFilterGraph*, int, int)> OnGraphVideoSizeChanged;
  std::function<void(TFilterGraph*)> OnGraphQualityChange;
  std::function<void(TFilterGraph*)> OnGraphClockChanged;
  std::function<void(TFilterGraph*, HRESULT)> OnGraphPaused;
  std::function<void(TFilterGraph*, bool)> OnGraphOpeningFile;
  std::function<void(TFilterGraph*, bool)> OnGraphBufferingData;
  std::function<void(TFilterGraph*, IBaseFilter*)> OnGraphFullscreenLost;
  std::function<void(TFilterGraph*, const char*, const char*)> OnGraphOleEvent;
  std::function<void(TFilterGraph*, IPin*, long)> OnGraphStreamControlStopped;
  std::function<void(TFilterGraph*, IPin*, long)> OnGraphStreamControlStarted;
  std::function<void(TFilterGraph*, REFERENCE_TIME, long)> OnGraphEndOfSegment;
  std::function<void(TFilterGraph*, LONG_PTR, bool)> OnGraphDeviceLost;
  std::function<void(TFilterGraph*)> OnGraphStepComplete;
  std::function<void(TFilterGraph*, long, long)> OnGraphTimeCodeAvailable;
  std::function<void(TFilterGraph*, long, long)> OnGraphEXTDeviceModeChange;
  std::function<void(TFilterGraph*)> OnGraphChanged;
  std::function<void(TFilterGraph*)> OnGraphClockUnset;
  std::function<void(TFilterGraph*, long)> OnGraphVMRRenderDevice;
  std::function<void(TFilterGraph*, long, long)> OnGraphSNDDevInError;
  std::function<void(TFilterGraph*, long, long)> OnGraphSNDDevOutError;

 private:
  void Activate();
  void Deactivate();
  void AddComponentFilter(IFilterComponent* c);
  void RemoveComponentFilter(IFilterComponent* c);
  void BroadcastControl(TControlNotice kind, long param);
  void BroadcastGraphEvent(long event, LONG_PTR p1, LONG_PTR p2);
  void ApplyAudioAndRate();
  void OpenLog();
  void CloseLog();

  bool FActive = false;
  std::unique_ptr<QObject> FHandle;
  int FVolume = 10000;
  int FBalance = 0;
  double FRate = 1.0;
  bool FLinearVolume = true;
  std::vector<IFilterComponent*> FFilters;
  std::vector<IEvent*> FGraphEvents;
  std::shared_ptr<IGraphBuilder> FFilterGraph;
  std::shared_ptr<IMediaEventEx> FMediaEventEx;
  std::string FLogFileName;
  std::unique_ptr<TFileStream> FLogFile;
};

}  // namespace clipsmith
