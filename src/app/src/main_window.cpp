#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "app/about_box.h"
#include "app/error_report.h"
#include "app/message_boxes.h"
#include "app/select_range_dialog.h"
#include "app/version.h"
#include "art/art.h"

#include "form_conversion.h"
#include "settings/settings.h"
#include "video/exception_report.h"
#include "video/media_type.h"
#include "video/time_text.h"

namespace clipsmith {

TFormMain::TFormMain(QWidget* parent)
    : QWidget(parent), Conversion(std::make_unique<TFormConversion>(*this)), Job(*Conversion, *Conversion) {
  setObjectName("FormMain");
  setWindowTitle("Clipsmith " CLIPSMITH_VERSION);
  InstallDefaultHost();
  BuildControls();
  WireEvents();
  Job.Parts = {&FilterGraph1, &SampleGrabber1, &TrackBar->Model(), VideoWindow1};
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
    ShowErrorBox(this, text, caption);
  };
  Host.ShowWarningBox = [this](const std::string& text, const std::string& caption) {
    ShowWarningBox(this, text, caption);
  };
  Host.ShowRangeError = [this] {
    QApplication::beep();
    // Owned by the window while it is shown; gone when it closes.
    auto* dialog = new TFormSelectRangeError(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->exec();
  };
  ShellOpen = [](const std::string& target) {
    // A target nothing can open is not reported.
    const QString t = QString::fromStdString(target);
    QDesktopServices::openUrl(t.contains(QLatin1String(":")) ? QUrl(t) : QUrl::fromLocalFile(t));
    QCoreApplication::processEvents();
  };
  Beep = [] { QApplication::beep(); };
  Host.AskOpenFileName = [this](const std::string& dir) -> std::optional<std::string> {
    // OpenAVIDialog: every file, as the media graph decides what it can play.
    QString f = QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(dir),
                                             "All Support Video Format (*)");
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
  Host.ReportError = [this](std::exception_ptr e) {
    ReportError(e, FHandler.empty() ? std::string("a handler of the main window") : "TFormMain." + FHandler);
  };
  // The desktop's own URL opener comes before the library's external programs.
  Host.ConfigureBuilder = [this](TSkGIF& gif) {
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
  for (QWidget* w : std::initializer_list<QWidget*>{LabelTop, LabelLeft, LabelCropWidth, LabelCropHeight, EditTop,
                                                    EditLeft, EditCropW, EditCropH})
    w->setEnabled(on);
}

void TFormMain::CheckboxResizeClick() {
  const bool on = CheckboxResize->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{LabelFrmW, LabelFrmH, EditGIFW, EditGIFH, ImageCP, CheckBoxCP})
    w->setEnabled(on);
}

// The picture follows the clicks, not the box's state: it starts shown with the box ticked.
void TFormMain::CheckBoxCPClick() { ImageCP->setVisible(ImageCP->isHidden()); }

std::pair<int, int> TFormMain::ReferenceSize() const {
  if (CheckBoxCrop->isChecked())
    return {StrToInt(EditCropW->text().toStdString()), StrToInt(EditCropH->text().toStdString())};
  return {int(SourceVideoWidth), int(SourceVideoHeight)};
}

namespace {

// The other side of the link, emptied when it cannot be computed.
QString LinkedSide(int value, int from, int to) {
  const std::optional<int> n = ProportionalSize(value, from, to);
  return n ? QString::number(*n) : QString();
}

}  // namespace

void TFormMain::EditGIFWChange() {
  // Only the user's typing counts; what the program writes into the field has no focus.
  if (!EditGIFW->hasFocus() || !CheckBoxCP->isChecked() || EditGIFW->text().isEmpty()) return;
  const auto [w0, h0] = ReferenceSize();
  const int w = StrToInt(EditGIFW->text().toStdString());
  EditGIFH->setText(LinkedSide(w, w0, h0));
}

void TFormMain::EditGIFHChange() {
  if (!EditGIFH->hasFocus() || !CheckBoxCP->isChecked() || EditGIFH->text().isEmpty()) return;
  const auto [w0, h0] = ReferenceSize();
  const int h = StrToInt(EditGIFH->text().toStdString());
  EditGIFW->setText(LinkedSide(h, h0, w0));
}

bool TFormMain::OnlyNumEditKeyPress(QChar key) {
  if ((key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key == QChar(8)) return true;
  if (Beep) Beep();
  Host.ShowWarningBox("Error input, only accept integer!", "Warning");
  return false;
}

void TFormMain::PanelPlayerBtnResize() {
  // 188: the width of the button row.
  const int left = (PanelPlayerBtn->width() - 188) / 2;
  BtnPlayerOpen->move(left, BtnPlayerOpen->y());
  BtnPlayerPlay->move(left + 30, BtnPlayerPlay->y());
  BtnPlayerPause->move(BtnPlayerPlay->x(), BtnPlayerPause->y());
  BtnPlayerStop->move(BtnPlayerPlay->x() + 30, BtnPlayerStop->y());
  BtnPlayerSMStart->move(BtnPlayerStop->x() + 35, BtnPlayerSMStart->y());
  BtnPlayerSMStop->move(BtnPlayerSMStart->x() + 30, BtnPlayerSMStop->y());
  BtnPlayerNextFrame->move(BtnPlayerSMStop->x() + 35, BtnPlayerNextFrame->y());
}

// The seek bar never keeps the focus, so keys never move it.
void TFormMain::TrackBarEnter() { BtnOnlyForFocus->setFocus(Qt::OtherFocusReason); }

void TFormMain::PlaceMakeGIFButton() {
  BtnMakeGIF->setVisible(true);
  BtnMakeGIF->move(102, BtnMakeGIF->y());
}

void TFormMain::FormShow() {
  PlaceMakeGIFButton();
  Job.IsConverting = false;
}

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!FShown) {
    FShown = true;
    // Centred on the desktop the first time.
    if (QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
  }
  FormShow();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // A job still running ends without its GIF; the graph stops before the window goes.
  Job.Reset();
  FilterGraph1.SetActive(false);
  QWidget::closeEvent(event);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile() && !Job.IsConverting)
    event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data || !data->hasUrls() || data->urls().isEmpty() || Job.IsConverting) return;
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return;
  event->acceptProposedAction();
  const std::string path = url.toLocalFile().toStdString();
  // Opened once the drop has finished, as the open dialog would.
  QMetaObject::invokeMethod(this, [this, path] { Guarded([this, path] { OpenVideoFile(path); }); }, Qt::QueuedConnection);
}

// ---- tool bar ----

void TFormMain::BtnEmailClick() {
  if (ShellOpen) ShellOpen(kSupportMail);
}

void TFormMain::BtnWebsiteClick() {
  if (ShellOpen) ShellOpen(kProductPage);
}

void TFormMain::BtnHelpClick() {
  // The help page installed with the program, so help works offline; the product page when the
  // page is missing.
  const QString page = art::HelpPagePath();
  if (ShellOpen) ShellOpen(page.isEmpty() ? std::string(kProductPage) + "csm-help.html" : page.toStdString());
}

void TFormMain::BtnAboutClick() {
  auto* about = new Tformabout(this);
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->exec();
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
