#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QUrl>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "form_conversion.h"
#include "settings/settings.h"
#include "video/exception_report.h"
#include "video/media_type.h"
#include "video/time_text.h"

namespace clipsmith {

namespace {

QLineEdit* Field(QWidget* parent, const char* name, const char* text, int x, int y, int w = 50) {
  auto* e = new QLineEdit(QString::fromLatin1(text), parent);
  e->setObjectName(QString::fromLatin1(name));
  e->setGeometry(x, y, w, 21);
  return e;
}

QLabel* Label(QWidget* parent, const char* name, int x, int y, int w) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(x, y, w, 18);
  return l;
}

}  // namespace

TFormMain::TFormMain(QWidget* parent)
    : QWidget(parent), Conversion(std::make_unique<TFormConversion>(*this)), Job(*Conversion, *Conversion) {
  setObjectName("FormMain");
  setWindowTitle("Clipsmith 4.0");
  InstallDefaultHost();

  VideoWindow1 = new TVideoWindow(this);
  VideoWindow1->setObjectName("VideoWindow1");
  VideoWindow1->setGeometry(10, 10, 542, 306);
  VideoWindow1->SetMode(TVideoMode::vmVMR);
  VideoWindow1->VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
  VideoWindow1->SetFilterGraph(&FilterGraph1);

  SampleGrabber1.MediaType().SetMajorType(MEDIATYPE_Video);
  SampleGrabber1.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
  SampleGrabber1.MediaType().SetFormatType(FORMAT_VideoInfo);
  SampleGrabber1.SetFilterGraph(&FilterGraph1);

  TrackBar = new TDSTrackBar(this);
  TrackBar->setObjectName("TrackBar");
  TrackBar->setGeometry(10, 320, 542, 24);
  TrackBar->SetTimerInterval(10);
  TrackBar->SetFilterGraph(&FilterGraph1);
  TrackBar->SetOnTimer([this](TDSTrackBar*, std::uint32_t cur, std::uint32_t stop) { TrackBarTimer(cur, stop); });
  Job.Parts = {&FilterGraph1, &SampleGrabber1, &TrackBar->Model(), VideoWindow1};

  auto* panel = new QWidget(this);
  panel->setObjectName("PanelPlayerBtn");
  panel->setGeometry(10, 348, 542, 37);
  BtnPlayerPlay = new QPushButton("Play", panel);
  BtnPlayerPlay->setObjectName("BtnPlayerPlay");
  BtnPlayerPlay->setGeometry(207, 6, 25, 25);
  BtnPlayerPause = new QPushButton("Pause", panel);
  BtnPlayerPause->setObjectName("BtnPlayerPause");
  BtnPlayerPause->setGeometry(207, 6, 25, 25);
  BtnPlayerPlay->raise();

  EditStartFrame = Field(this, "EditStartFrame", "0", 570, 20, 90);
  EditEndFrame = Field(this, "EditEndFrame", "0", 570, 50, 90);
  EditStartFrame->setEnabled(false);
  EditEndFrame->setEnabled(false);
  EditStep = Field(this, "EditStep", "2", 570, 80);
  CheckBoxCrop = new QCheckBox("Crop", this);
  CheckBoxCrop->setObjectName("CheckBoxCrop");
  CheckBoxCrop->setGeometry(570, 110, 120, 20);
  EditLeft = Field(this, "EditLeft", "0", 570, 135);
  EditTop = Field(this, "EditTop", "0", 630, 135);
  EditCropW = Field(this, "EditCropW", "1", 570, 160);
  EditCropH = Field(this, "EditCropH", "1", 630, 160);
  CheckboxResize = new QCheckBox("Resize", this);
  CheckboxResize->setObjectName("CheckboxResize");
  CheckboxResize->setGeometry(570, 190, 120, 20);
  EditGIFW = Field(this, "EditGIFW", "1", 570, 215);
  EditGIFH = Field(this, "EditGIFH", "1", 630, 215);
  EditLooping = Field(this, "EditLooping", "0", 570, 245);
  EditDelay = Field(this, "EditDelay", "100", 630, 245);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(10, 400, 300, 16);
  ProgressBar1->setMinimum(0);
  ProgressBar1->setMaximum(0);
  ProgressBar1->hide();
  LabelSBLeft = Label(this, "LabelSBLeft", 10, 420, 200);
  LabelSBCenter = Label(this, "LabelSBCenter", 220, 420, 150);
  LabelSBRight = Label(this, "LabelSBRight", 380, 420, 300);

  QObject::connect(CheckBoxCrop, &QCheckBox::clicked, this, [this] { CheckBoxCropClick(); });
  QObject::connect(CheckboxResize, &QCheckBox::clicked, this, [this] { CheckboxResizeClick(); });
  QObject::connect(BtnPlayerPlay, &QPushButton::clicked, this, [this] { Guarded([this] { BtnPlayerPlayClick(); }); });
  QObject::connect(BtnPlayerPause, &QPushButton::clicked, this, [this] { Guarded([this] { BtnPlayerPauseClick(); }); });
  CheckBoxCropClick();
  CheckboxResizeClick();

  FilterGraph1.OnGraphStepComplete = [this](TFilterGraph*) { FilterGraph1GraphStepComplete(); };
  FilterGraph1.OnGraphComplete = [this](TFilterGraph*, HRESULT, IBaseFilter*) {
    Guarded([this] { FilterGraph1GraphComplete(); });
  };
  resize(700, 450);
}

TFormMain::~TFormMain() {
  // The graph deactivates before the components that listen to it go.
  FilterGraph1.SetActive(false);
}

TSettings& TFormMain::Settings() {
  if (FSettings) return *FSettings;
  if (HasSettings()) return clipsmith::Settings();
  // Without the program's settings (a test, the command-line converter) the form keeps its own,
  // in memory only.
  if (!FOwnSettings) FOwnSettings = std::make_unique<TSettings>(std::string());
  return *FOwnSettings;
}

void TFormMain::InstallDefaultHost() {
  Host.ShowErrorBox = [this](const std::string& text, const std::string& caption) {
    QMessageBox::critical(this, QString::fromStdString(caption), QString::fromStdString(text));
  };
  Host.ShowWarningBox = [this](const std::string& text, const std::string& caption) {
    QMessageBox::warning(this, QString::fromStdString(caption), QString::fromStdString(text));
  };
  Host.ShowRangeError = [this] {
    QApplication::beep();
    QMessageBox::warning(this, "Clipsmith", "Please set the start and end positions of the range first.");
  };
  Host.AskOpenFileName = [this](const std::string& dir) -> std::optional<std::string> {
    QString f = QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(dir),
                                             "All Support Video Format (*.*)");
    if (f.isEmpty()) return std::nullopt;
    return f.toStdString();
  };
  Host.AskSaveFileName = [this](const std::string& dir, const std::string& name) -> std::optional<std::string> {
    QString start = QString::fromStdString((std::filesystem::path(dir) / name).string());
    QString f = QFileDialog::getSaveFileName(this, "Specify GIF file name", start, "GIF Image (*.gif)");
    if (f.isEmpty()) return std::nullopt;
    return f.toStdString();
  };
  Host.AskPreview = [this] {
    return QMessageBox::information(
               this, "Done",
               "Task complete! Click [OK] to preview the result in your default internet browser or click "
               "[Cancel] to return.",
               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  };
  Host.ReportError = [](std::exception_ptr e) { ReportException(e); };
  // The desktop's own URL opener comes before the library's external programs.
  Host.ConfigureBuilder = [](TSkGIF& gif) {
    gif.Opener.Attempts.insert(gif.Opener.Attempts.begin(), [](const std::string& path) {
      return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    });
  };
  Host.SetBusyCursor = [busy = false](bool on) mutable {
    if (on == busy) return;
    busy = on;
    if (on)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  };
}

void TFormMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    if (Host.ReportError) Host.ReportError(std::current_exception());
  }
}

std::string TFormMain::Caption() const { return windowTitle().toStdString(); }

// ---- player ----

void TFormMain::BtnOpenClick() {
  Guarded([this] {
    std::optional<std::string> f = Host.AskOpenFileName(Settings().OpenAVIPath);
    if (f) OpenVideoFile(*f);
  });
}

bool TFormMain::LoadVideoFile(const std::string& fileName) {
  std::filesystem::path p(fileName);
  Settings().OpenAVIPath = p.parent_path().string();
  Settings().AVIFileName = p.filename().string();
  ResetPlayer();
  HRESULT hr;
  try {
    hr = FilterGraph1.RenderFile(fileName);
  } catch (const std::exception&) {
    Host.ShowErrorBox("Cannot play back the file. The format is not supported.", Caption());
    return false;
  }
  if (hr != S_OK) {
    Host.ShowErrorBox("Render Video Failure, Result: " + std::to_string(hr), "Error");
    return false;
  }
  ReadSourceSize();
  return true;
}

void TFormMain::OpenVideoFile(const std::string& fileName) {
  if (LoadVideoFile(fileName)) BtnPlayerPlayClick();
}

bool TFormMain::ReadSourceSize() {
  TBitmap frame;
  if (!GrabCurrentFrame(frame)) {
    Host.ShowErrorBox("GetFrameFailer", "Error");
    return false;
  }
  EditCropW->setText(QString::number(frame.Width()));
  EditCropH->setText(QString::number(frame.Height()));
  EditGIFW->setText(QString::number(frame.Width()));
  EditGIFH->setText(QString::number(frame.Height()));
  SourceVideoWidth = unsigned(frame.Width());
  SourceVideoHeight = unsigned(frame.Height());
  LabelSBCenter->setText(QString::asprintf("Frame: %d x %d", frame.Width(), frame.Height()));
  return true;
}

void TFormMain::ResetOptions() {
  EditStartFrame->setText("0");
  EditEndFrame->setText("0");
  EditStep->setText("2");
  CheckBoxCrop->setChecked(false);
  CheckBoxCropClick();
  EditLeft->setText("0");
  EditTop->setText("0");
  EditCropW->setText("1");
  EditCropH->setText("1");
  CheckboxResize->setChecked(false);
  CheckboxResizeClick();
  EditGIFW->setText("1");
  EditGIFH->setText("1");
  EditLooping->setText("0");
  EditDelay->setText("100");
}

void TFormMain::ResetPlayer() {
  ResetOptions();
  Job.Reset();
  ClearStatusBar(3);
  ProgressBar1->hide();
  ProgressBar1->setMinimum(0);
  ProgressBar1->setMaximum(0);
  ShowPlayButton();
  FilterGraph1.ClearGraph();
  FilterGraph1.SetActive(false);
  FilterGraph1.SetActive(true);
  VideoWindow1->update();
  TrackBar->SetSelStart(0);
  TrackBar->SetSelEnd(0);
  TrackBar->SetPosition(0);
}

void TFormMain::BtnPlayerPlayClick() {
  if (!FilterGraph1.Active()) return;
  FilterGraph1.Play();
  ShowPauseButton();
}

void TFormMain::BtnPlayerPauseClick() {
  if (!FilterGraph1.Active()) return;
  FilterGraph1.Pause();
  ShowPlayButton();
}

void TFormMain::BtnPlayerStopClick() { Guarded([this] { ResetPlayer(); }); }

void TFormMain::ShowPauseButton() {
  BtnPlayerPause->move(BtnPlayerPause->x(), 6);
  BtnPlayerPlay->move(BtnPlayerPlay->x(), -1000);
}

void TFormMain::ShowPlayButton() {
  if (!BtnPlayerPause || !BtnPlayerPlay) return;
  BtnPlayerPause->move(BtnPlayerPause->x(), -10000);
  BtnPlayerPlay->move(BtnPlayerPlay->x(), 6);
}

void TFormMain::BtnPlayerSMStartClick() {
  const int p = TrackBar->Position();
  TrackBar->SetSelStart(p);
  EditStartFrame->setText(QString::fromStdString(TimeToText(std::uint32_t(p) * TrackBar->TimerInterval(), false)));
  if (TrackBar->SelEnd() > p) SeekToPosition(p);
}

void TFormMain::BtnPlayerSMStopClick() {
  const int p = TrackBar->Position();
  TrackBar->SetSelEnd(p);
  EditEndFrame->setText(QString::fromStdString(TimeToText(std::uint32_t(p) * TrackBar->TimerInterval(), false)));
  if (TrackBar->SelStart() < p) SeekToPosition(TrackBar->SelStart());
}

void TFormMain::FilterGraph1GraphComplete() {
  if (FilterGraph1.State() != TGraphState::gsPlaying || Job.IsConverting) return;
  if (TrackBar->SelEnd() > TrackBar->SelStart())
    SeekToPosition(TrackBar->SelStart());
  else
    SeekToPosition(TrackBar->Min());
  ShowPauseButton();
}

void TFormMain::TrackBarTimer(std::uint32_t currentPos, std::uint32_t stopPos) {
  LabelSBLeft->setText(QString::fromStdString(TimeToText(currentPos, true) + " / " + TimeToText(stopPos, true)));
}

void TFormMain::CheckBoxCropClick() {
  const bool on = CheckBoxCrop->isChecked();
  for (QLineEdit* edit : {EditTop, EditLeft, EditCropW, EditCropH}) edit->setEnabled(on);
}

void TFormMain::CheckboxResizeClick() {
  const bool on = CheckboxResize->isChecked();
  EditGIFW->setEnabled(on);
  EditGIFH->setEnabled(on);
}

void TFormMain::SetStatusBar(int idx, const std::string& value) {
  QLabel* labels[] = {LabelSBLeft, LabelSBCenter, LabelSBRight};
  if (idx >= 0 && idx <= 2) labels[idx]->setText(QString::fromStdString(value));
}

void TFormMain::ClearStatusBar(int idx) {
  QLabel* labels[] = {LabelSBLeft, LabelSBCenter, LabelSBRight};
  if (idx >= 0 && idx <= 2)
    labels[idx]->clear();
  else if (idx == 3)
    for (QLabel* l : labels) l->clear();
}

}  // namespace clipsmith
