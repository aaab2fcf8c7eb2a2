// The main window's conversion side: the video components, the controls the player and the
// conversion read, and their handlers. The window's layout and dialogs build on this; the job
// reads the fields through the window's side of its interfaces (form_conversion).
#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/conversion_job.h"
#include "video/filter_graph.h"
#include "video/sample_grabber.h"
#include "video/seek_bar.h"
#include "video/video_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace clipsmith {

class TSettings;
class TFormConversion;

// Where the form's questions and messages go: dialogs and boxes in the window, the terminal in
// the command-line converter. Every slot has a default that shows the window's own dialog.
struct TFormHost {
  std::function<void(const std::string& text, const std::string& caption)> ShowErrorBox;
  std::function<void(const std::string& text, const std::string& caption)> ShowWarningBox;
  // Beep and the modal range-error dialog.
  std::function<void()> ShowRangeError;
  // The open dialog: the chosen path, or none when cancelled.
  std::function<std::optional<std::string>(const std::string& initialDir)> AskOpenFileName;
  // The save dialog ("Specify GIF file name"): the chosen path, or none when cancelled.
  std::function<std::optional<std::string>(const std::string& initialDir, const std::string& initialName)>
      AskSaveFileName;
  // The completion box: true for OK (show the preview).
  std::function<bool()> AskPreview;
  // The application's general error reporting, for errors that escape a handler.
  std::function<void(std::exception_ptr)> ReportError;
  std::function<void(bool busy)> SetBusyCursor;
  // A frame was added to the GIF (frames so far); the window has nothing to do here.
  std::function<void(int frames)> FrameCaptured;
  // The job has ended: written (true) or abandoned by a reset (false).
  std::function<void(bool written)> JobEnded;
  // A new builder before its first frame (the window gives it the desktop's browser opener).
  std::function<void(TSkGIF&)> ConfigureBuilder;
};

class TFormMain : public QWidget {
 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  TFormHost Host;

  // Components.
  TFilterGraph FilterGraph1;
  TSampleGrabber SampleGrabber1;
  TVideoWindow* VideoWindow1;
  TDSTrackBar* TrackBar;
  QProgressBar* ProgressBar1;

  // Option fields and player controls the handlers read.
  QLineEdit* EditStartFrame;
  QLineEdit* EditEndFrame;
  QLineEdit* EditStep;
  QCheckBox* CheckBoxCrop;
  QLineEdit* EditLeft;
  QLineEdit* EditTop;
  QLineEdit* EditCropW;
  QLineEdit* EditCropH;
  QCheckBox* CheckboxResize;
  QLineEdit* EditGIFW;
  QLineEdit* EditGIFH;
  QLineEdit* EditLooping;
  QLineEdit* EditDelay;
  QPushButton* BtnPlayerPlay;
  QPushButton* BtnPlayerPause;
  QLabel* LabelSBLeft;
  QLabel* LabelSBCenter;
  QLabel* LabelSBRight;

  // Size of the loaded video's frames.
  unsigned SourceVideoWidth = 0;
  unsigned SourceVideoHeight = 0;

  // The window's side of the conversion (its host and option values), then the conversion.
  std::unique_ptr<TFormConversion> Conversion;
  TConversionJob Job;

  // The program's settings object; a form without one keeps its own in memory.
  TSettings& Settings();
  void SetSettings(TSettings* settings) { FSettings = settings; }

  // Player.
  void BtnOpenClick();
  // Everything opening a file does up to playback: reset, render, read the frame size. False
  // when rendering failed (the user has been told).
  bool LoadVideoFile(const std::string& fileName);
  // Opens a file without asking (what the open dialog leads to).
  void OpenVideoFile(const std::string& fileName);
  bool ReadSourceSize();
  void ResetPlayer();
  void ResetOptions();
  void BtnPlayerPlayClick();
  void BtnPlayerPauseClick();
  void BtnPlayerStopClick();
  void BtnPlayerSMStartClick();
  void BtnPlayerSMStopClick();
  void ShowPlayButton();
  void ShowPauseButton();
  void FilterGraph1GraphComplete();
  void TrackBarTimer(std::uint32_t currentPos, std::uint32_t stopPos);
  void CheckBoxCropClick();
  void CheckboxResizeClick();
  void SetStatusBar(int idx, const std::string& value);
  void ClearStatusBar(int idx);
  std::string Caption() const;

  // Conversion (the job's handlers).
  void BtnMakeGIFClick() { Guarded([&] { Job.BtnMakeGIFClick(); }); }
  void FilterGraph1GraphStepComplete() { Guarded([&] { Job.FilterGraph1GraphStepComplete(); }); }
  void BtnPlayerNextFrameClick() { Guarded([&] { Job.BtnPlayerNextFrameClick(); }); }
  void SeekToPosition(int position) { Job.SeekToPosition(position); }
  bool GrabCurrentFrame(TBitmap& bitmap) { return Job.GrabCurrentFrame(bitmap); }

  // Runs a handler; an error that escapes it goes to the general error reporting.
  void Guarded(const std::function<void()>& handler);

 private:
  void InstallDefaultHost();
  TSettings* FSettings = nullptr;
  std::unique_ptr<TSettings> FOwnSettings;
};

}  // namespace clipsmith
