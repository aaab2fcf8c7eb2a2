// The media graph's worker thread: carries out the queued requests (open, close, seek, step),
// plays against the media clock while running, decodes ahead while idle, and hands each shown
// picture to the grabber and the renderer.
#include "media_graph_impl.h"
#include "media_tuning.h"

#include "graphics/stage_times.h"

#include <algorithm>
#include <exception>
#include <new>

namespace clipsmith::media {

HRESULT ErrorCodeOf(const std::exception& e) {
  if (auto* media = dynamic_cast<const EMediaError*>(&e)) return media->Code;
  if (dynamic_cast<const std::bad_alloc*>(&e)) return E_OUTOFMEMORY;
  return E_FAIL;
}

void TMediaGraph::WorkerMain() {
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
        FAheadFailed = false;  // a request may have put the decoder right: try again
        lk.unlock();
        try {
          Process(r);
        } catch (const std::exception& e) {
          const HRESULT hr = ErrorCodeOf(e);
          Log("request failed: %s ($%08X)", e.what(), unsigned(hr));
          bool answered = false;
          if (r.Done) {
            try {
              r.Done->set_value(hr);
              answered = true;
            } catch (const std::future_error&) {
            }
          }
          // Nobody waits for a seek, a step or a stop: the event tells the owner instead of a
          // step that never completes.
          if (!answered) QueueEvent(EC_ERRORABORT, hr, 0);
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
      bool failed = false;
      try {
        until = PlayOnce();
      } catch (const std::exception& e) {
        const HRESULT hr = ErrorCodeOf(e);
        Log("playback failed: %s ($%08X)", e.what(), unsigned(hr));
        QueueEvent(EC_ERRORABORT, hr, 0);
        failed = true;
      }
      lk.lock();
      // Playback stands where it failed, as at the end of the stream, rather than failing again
      // at once; Run, a seek or a step goes on from there.
      if (failed) FEndReported = true;
      if (until) FClock->WaitUntil(lk, FWake, *until, [&] { return FQuit || !FRequests.empty(); });
      continue;
    }
    if (IdleDecodeAheadLocked()) {
      // Idle while paused: decode the next frame now so that the next step only converts it.
      lk.unlock();
      try {
        TStageTimer timer(TStage::Decode);
        FDecoder->DecodeAhead();
      } catch (const std::exception& e) {
        // Not tried again until the next request (it would fail at once, over and over); the
        // step that needs the frame meets the failure itself and reports it.
        const HRESULT hr = ErrorCodeOf(e);
        Log("decoding ahead failed: %s ($%08X)", e.what(), unsigned(hr));
        QueueEvent(EC_ERRORABORT, hr, 0);
        lk.lock();
        FAheadFailed = true;
        continue;
      }
      lk.lock();
      continue;
    }
    FWake.wait(lk, [&] {
      return FQuit || !FRequests.empty() || (FState == State_Running && FDecoder && !FEndReported) ||
             IdleDecodeAheadLocked();
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
  // Cue the first frame. A file whose pictures cannot be shown is not opened at all.
  try {
    TDecodedFrame first;
    if (FDecoder->Next(first)) Present(first);
  } catch (const std::exception&) {
    DoClose();
    throw;
  }
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
  // A seek that fails is still carried out as far as the position goes, so that the positions
  // of later steps are kept; the failure is reported after that.
  std::exception_ptr failure;
  if (FDecoder) {
    TDecodedFrame current;
    try {
      if (FDecoder->Seek(t, current, [this] { return FAbandonSeek.load(); })) Present(current);
    } catch (const std::exception&) {
      failure = std::current_exception();
    }
  }
  {
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
  if (failure) std::rethrow_exception(failure);
}

void TMediaGraph::DoStep(std::uint32_t frames) {
  FPendingDrop.reset();
  std::optional<TDecodedFrame> shown;
  bool atEnd = false;
  for (std::uint32_t i = 0; i < frames && FDecoder; ++i) {
    TDecodedFrame f;
    bool got;
    {
      TStageTimer timer(TStage::Decode);
      got = FDecoder->Next(f);
    }
    if (!got) {
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
    if (FDecoder->AheadCount() < tuning::kPlayAhead && !FDecoder->Drained() && due - now > tuning::kPlayAheadSpare) {
      FDecoder->DecodeAhead();
      return std::nullopt;
    }
    return due;
  }
  auto late = now - due;
  auto allowance = std::max<Clock::duration>(std::chrono::nanoseconds(std::int64_t(double(next->Duration) * 100.0 / rate)),
                                             tuning::kMinLatenessAllowance);
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

void TMediaGraph::Present(const TDecodedFrame& f) {
  TChain chain;
  {
    std::lock_guard lk(FMutex);
    chain = FChain;
  }
  if ((!chain.Grabber && !chain.Renderer) || chain.Width <= 0 || chain.Height <= 0) return;
  // A picture shown turned by a quarter turn is scaled at its coded size, then turned.
  const TOrientation orientation = FDecoder ? FDecoder->Orientation() : TOrientation{};
  TSamplePtr grabbed, shown;
  if (chain.Grabber)
    grabbed = FConverter.Convert(f.Frame.get(), chain.Width, chain.Height, chain.GrabberBits, f.Time, orientation);
  if (chain.Renderer)
    shown = grabbed && grabbed->BitCount == 32
                ? grabbed
                : FConverter.Convert(f.Frame.get(), chain.Width, chain.Height, 32, f.Time, orientation);
  if (chain.Grabber) chain.Grabber->Deliver(grabbed);
  if (chain.Renderer) chain.Renderer->Deliver(shown);
}

}  // namespace clipsmith::media
