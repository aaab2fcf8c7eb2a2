// The main window: tool bar, player, options panel and status bar, the video components, and
// the handlers of the player and the options. The job reads the fields through the window's
// side of its interfaces (form_conversion).
#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/conversion_job.h"
#include "app/version.h"
#include "controls/image_button.h"
#include "controls/image_panel.h"
#include "controls/line_panel.h"
#include "video/filter_graph.h"
#include "video/sample_grabber.h"
#include "video/seek_bar.h"
#include "video/video_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShortcut;

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

// The window's fixed client size.
inline constexpr int kFormWidth = 900;
inline constexpr int kFormHeight = 561;
// The work area's colour, shared by the panels on it.
inline constexpr TColor kWorkAreaColor = RGBColor(99, 101, 156);

// Targets of the tool buttons.
inline constexpr const char* kSupportMail = "mailto:support@clipsmith.app?SUBJECT=Clipsmith " CLIPSMITH_VERSION;
inline constexpr const char* kProductPage = "https://clipsmith.app/";

class TFormMain : public QWidget {
 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  TFormHost Host;
  // The shell's "open" for the tool buttons (a mail address, a web page, the help page).
  std::function<void(const std::string& target)> ShellOpen;
  // The default system beep of the digits-only filter.
  std::function<void()> Beep;

  // Components.
  TFilterGraph FilterGraph1;
  TSampleGrabber SampleGrabber1;
  TVideoWindow* VideoWindow1;
  TDSTrackBar* TrackBar;
  QProgressBar* ProgressBar1;

  // Regions.
  TSkImgPanel* PanelToolBar;
  TSkImgPanel* PanelBand;
  TSkLinePanel* PanelAG;
  TSkLinePanel* PanelParam;
  TSkLinePanel* PanelPlayer;
  TSkLinePanel* PanelPlayerBtn;
  TSkImgPanel* PanelStatusBar;

  // Tool bar.
  TSkImgBtn* BtnOpen;
  TSkImgBtn* BtnEmail;
  TSkImgBtn* BtnWebsite;
  TSkImgBtn* BtnHelp;
  TSkImgBtn* BtnAbout;

  // Player button bar.
  TSkImgBtn* BtnPlayerOpen;
  TSkImgBtn* BtnPlayerPlay;
  TSkImgBtn* BtnPlayerPause;
  TSkImgBtn* BtnPlayerStop;
  TSkImgBtn* BtnPlayerSMStart;
  TSkImgBtn* BtnPlayerSMStop;
  TSkImgBtn* BtnPlayerNextFrame;
  // Takes the focus the seek bar gives away; outside the visible area.
  QPushButton* BtnOnlyForFocus;

  // Options panel.
  QLabel* LabelSpecialAVI;
  QLabel* LabelStartFrm;
  QLineEdit* EditStartFrame;
  QLabel* LabelEndFrm;
  QLineEdit* EditEndFrame;
  QLabel* LabelStep;
  QLineEdit* EditStep;
  QCheckBox* CheckBoxCrop;
  QLabel* LabelLeft;
  QLineEdit* EditLeft;
  QLabel* LabelTop;
  QLineEdit* EditTop;
  QLabel* LabelCropWidth;
  QLineEdit* EditCropW;
  QLabel* LabelCropHeight;
  QLineEdit* EditCropH;
  QCheckBox* CheckboxResize;
  QLabel* LabelFrmW;
  QLineEdit* EditGIFW;
  QLabel* LabelFrmH;
  QLineEdit* EditGIFH;
  TSkImgPanel* ImageCP;
  QCheckBox* CheckBoxCP;
  QLabel* LabelLoops;
  QLineEdit* EditLooping;
  QLabel* Label12;
  QLabel* LabelDelay;
  QLineEdit* EditDelay;
  QLabel* Label13;
  QCheckBox* CheckBoxGray;
  TSkImgBtn* BtnMakeGIF;

  // Status bar.
  QLabel* LabelSBLeft;
  QLabel* LabelSBCenter;
  QLabel* LabelSBRight;

  // The numeric fields the digits-only filter watches.
  std::vector<QLineEdit*> NumericFields() const;

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
  void CheckBoxCPClick();
  void EditGIFWChange();
  void EditGIFHChange();
  // Whether a character typed into a numeric field passes; anything else is swallowed with the
  // beep and the warning box.
  bool OnlyNumEditKeyPress(QChar key);
  void PanelPlayerBtnResize();
  void TrackBarEnter();
  void FormShow();
  void PlaceMakeGIFButton();
  void SetStatusBar(int idx, const std::string& value);
  void ClearStatusBar(int idx);
  void ClearTIPStatusBar() { ClearStatusBar(2); }
  std::string Caption() const;

  // Tool bar.
  void BtnEmailClick();
  void BtnWebsiteClick();
  void BtnHelpClick();
  void BtnAboutClick();
  // The hints the buttons show in slot 2 while the pointer is over them.
  void BtnOpenMouseEnter() { SetStatusBar(2, "[Tips] Click to import a file to convert"); }
  void BtnEmailMouseEnter() { SetStatusBar(2, "[Tips] If you have any questions or concerns, pls email to us!"); }
  void BtnWebsiteMouseEnter() { SetStatusBar(2, "[Tips] Click to visit our website"); }
  void BtnHelpMouseEnter() { SetStatusBar(2, "Help"); }
  void BtnAboutMouseEnter() { SetStatusBar(2, "About"); }
  void BtnPlayerOpenMouseEnter() { SetStatusBar(2, "[Tips] Click to import a file to convert"); }
  void BtnPlayerPlayMouseEnter() { SetStatusBar(2, "Play"); }
  void BtnPlayerStopMouseEnter() { SetStatusBar(2, "Stop"); }
  void BtnPlayerSMStartMouseEnter() { SetStatusBar(2, "Click to take current position as start time"); }
  void BtnPlayerSMStopMouseEnter() { SetStatusBar(2, "Click to take current position as end time"); }
  void BtnPlayerNextFrameMouseEnter() { SetStatusBar(2, "Step"); }

  // Conversion (the job's handlers).
  void BtnMakeGIFClick() { Guarded([&] { Job.BtnMakeGIFClick(); }); }
  void FilterGraph1GraphStepComplete() { Guarded([&] { Job.FilterGraph1GraphStepComplete(); }); }
  void BtnPlayerNextFrameClick() { Guarded([&] { Job.BtnPlayerNextFrameClick(); }); }
  void SeekToPosition(int position) { Job.SeekToPosition(position); }
  bool GrabCurrentFrame(TBitmap& bitmap) { return Job.GrabCurrentFrame(bitmap); }

  // Runs a handler; an error that escapes it goes to the general error reporting.
  void Guarded(const std::function<void()>& handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void WireEvents();
  void InstallDefaultHost();
  // The reference size of the proportional link: the crop's, else the source's.
  std::pair<int, int> ReferenceSize() const;
  TSettings* FSettings = nullptr;
  bool FShown = false;
  // The handler an event runs, for the error report.
  std::string FHandler;
  std::unique_ptr<TSettings> FOwnSettings;
};

}  // namespace clipsmith
