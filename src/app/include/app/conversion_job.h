// The conversion job: Make GIF starts it, and from then on every step-complete event of the
// graph counts or captures one frame and asks for the next step, until the seek bar reaches the
// end mark and the GIF is written. A chain of events, never a loop.
//
// The job runs on the video components alone; what it asks and reports goes to a host, and the
// option values come from a source that the window implements over its fields and the
// command line over its parsed options.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_rules.h"
#include "gifbuild/gif_builder.h"
#include "graphics/bitmap.h"
#include "video/media_graph.h"

namespace clipsmith {

class TFilterGraph;
class TSampleGrabber;
class TSeekBarModel;
class TSettings;
class IFrameImageSource;

// What the job asks and tells the one who runs it.
class IConversionHost {
 public:
  virtual ~IConversionHost() = default;
  // The settings object: the file names and the frozen crop and size live there.
  virtual TSettings& Settings() = 0;
  virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;
  virtual void ShowWarningBox(const std::string& text, const std::string& caption) = 0;
  // No range marked, or the end not after the start.
  virtual void ShowRangeError() = 0;
  // The output file: the chosen path, or none when cancelled.
  virtual std::optional<std::string> AskSaveFileName(const std::string& initialDir, const std::string& initialName) = 0;
  // The completion question: true to make and open the preview page.
  virtual bool AskPreview() = 0;
  // Progress in seek-bar units: shown with its range, moved, hidden.
  virtual void ShowProgress(int min, int max) = 0;
  virtual void SetProgress(int position) = 0;
  virtual void HideProgress() = 0;
  virtual void SetBusy(bool busy) = 0;
  // The graph is paused after a step or a pause: the player shows its play button.
  virtual void ShowPlayButton() {}
  // A new builder before its first frame.
  virtual void ConfigureBuilder(TSkGIF&) {}
  // A frame was added to the GIF (frames so far).
  virtual void FrameCaptured(int) {}
  // The job has ended: written (true) or abandoned by a reset (false).
  virtual void JobEnded(bool) {}
};

// The option values, read when the job needs them: the frame step at every step-complete
// event, everything else once at Make GIF. A reading may raise EConvertError (a field that
// holds no integer).
class IConversionValues {
 public:
  virtual ~IConversionValues() = default;
  virtual int FrameStep() = 0;
  virtual bool Crop() = 0;
  virtual int CropLeft() = 0;
  virtual int CropTop() = 0;
  virtual int CropWidth() = 0;
  virtual int CropHeight() = 0;
  virtual bool Resize() = 0;
  virtual int ResizeWidth() = 0;
  virtual int ResizeHeight() = 0;
  virtual int Loops() = 0;
  virtual int Delay() = 0;
  // The loaded video's frame size.
  virtual unsigned SourceWidth() = 0;
  virtual unsigned SourceHeight() = 0;
};

// The components the job drives. The video window, when there is one, is where a frame comes
// from when the grabber has none.
struct TConversionParts {
  TFilterGraph* Graph = nullptr;
  TSampleGrabber* Grabber = nullptr;
  TSeekBarModel* SeekBar = nullptr;
  IFrameImageSource* VideoWindow = nullptr;
};

class TConversionJob {
 public:
  TConversionJob(IConversionHost& host, IConversionValues& values, TConversionParts parts = {})
      : Host(host), Values(values), Parts(parts) {}

  void BtnMakeGIFClick();
  void FilterGraph1GraphStepComplete();
  // The graph could not carry out a step, a seek or playback (EC_ERRORABORT with its code).
  void FilterGraph1GraphErrorAbort(HRESULT hr);
  void BtnPlayerNextFrameClick();
  void SeekToPosition(int position);
  bool GrabCurrentFrame(TBitmap& bitmap);
  // The player was reset: a running job ends without writing its GIF.
  void Reset();

  bool IsConverting = false;
  int StepCounter = 1;
  // Every builder made by a job lives until the job goes; Current is the newest.
  TSkGIF* Current() const { return FBuilders.empty() ? nullptr : FBuilders.back().get(); }
  int FramesCaptured() const { return FFrames; }

  IConversionHost& Host;
  IConversionValues& Values;
  TConversionParts Parts;

 private:
  void Finish();
  void CropAndScale(const TBitmap& grab, TBitmap& out) const;
  // The graph stands at the end of its data.
  bool AtEndOfStream() const;

  std::vector<std::unique_ptr<TSkGIF>> FBuilders;
  int FFrames = 0;
};

}  // namespace clipsmith
