// The window's controls at their places, with their pictures, fonts and colours, and the
// wiring of their events to the window's handlers.
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "app/main_window.h"
#include "art/art.h"
#include "controls/skin.h"
#include "video/media_type.h"

namespace clipsmith {

namespace {

// A status-bar slot: vertically centred, an ellipsis at the end of text that does not fit. The
// label's text stays whole; only the painting shortens it.
class TEllipsisLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, width());
    p.drawText(rect(), int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
  }
};

constexpr int kEditWidth = 70, kEditHeight = 22;
const char* const kLabelStyle = "QLabel { color: rgb(216, 228, 248); background: transparent; }";

QLabel* OptionLabel(QWidget* parent, const char* name, const char* text, int x, int y, bool bold = false) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFont(SkinFont(13, bold));
  l->setStyleSheet(QString::fromLatin1(kLabelStyle));
  l->adjustSize();
  l->move(x, y);
  return l;
}

// A label whose right edge lines up in front of its field; its left edge is the table's
// position, or further left if the typeface needs more room.
QLabel* RightLabel(QWidget* parent, const char* name, const char* text, int x, int y, int fieldX) {
  QLabel* l = OptionLabel(parent, name, text, x, y);
  l->setAlignment(Qt::AlignRight | Qt::AlignTop);
  const int right = fieldX - 3;
  const int width = std::max(right - x, l->sizeHint().width());
  l->setGeometry(right - width, y, width, l->sizeHint().height());
  return l;
}

QLineEdit* OptionField(QWidget* parent, const char* name, const char* text, int x, int y) {
  auto* e = new QLineEdit(QString::fromLatin1(text), parent);
  e->setObjectName(QString::fromLatin1(name));
  e->setFont(SkinFont(12));
  e->setGeometry(x, y, kEditWidth, kEditHeight);
  return e;
}

QCheckBox* OptionCheck(QWidget* parent, const char* name, const char* text, int x, int y, int width) {
  auto* c = new QCheckBox(QString::fromLatin1(text), parent);
  c->setObjectName(QString::fromLatin1(name));
  c->setFont(SkinFont(11));
  c->setGeometry(x, y, width, 17);
  return c;
}

TSkImgPanel* TiledPanel(QWidget* parent, const char* name, const char* tile, int y, int height) {
  auto* p = new TSkImgPanel(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->SetDrawStyle(TSkDrawStyle::suiTile);
  p->SetPicture(art::Picture(tile));
  p->setGeometry(0, y, kFormWidth, height);
  return p;
}

TSkLinePanel* PlainPanel(QWidget* parent, const char* name, int x, int y, int w, int h, int border) {
  auto* p = new TSkLinePanel(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->SetColor(kWorkAreaColor);
  p->SetBorderWidth(border);
  p->SetBorderColor1(RGBColor(0, 48, 99));
  p->SetBorderColor2(clBlack);
  p->SetBorderColor3(clBlack);
  p->setGeometry(x, y, w, h);
  return p;
}

TSkImgBtn* PictureButton(QWidget* parent, const char* name, const char* strip, int x, int y, int w, int h) {
  auto* b = new TSkImgBtn(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->SetPic(art::Picture(strip));
  b->setGeometry(x, y, w, h);
  b->setCursor(Qt::PointingHandCursor);
  return b;
}

}  // namespace

void TFormMain::BuildControls() {
  setFont(SkinFont(11));
  setFixedSize(kFormWidth, kFormHeight);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(art::AppIcon());
  setAcceptDrops(true);

  // Top to bottom: tool bar, band, work area, status bar.
  PanelToolBar = TiledPanel(this, "PanelToolBar", art::kToolBarTile, 0, 46);
  PanelToolBar->SetAlign(TAlign::alTop);
  PanelBand = TiledPanel(this, "PanelBand", art::kBandTile, 46, 8);
  PanelBand->SetAlign(TAlign::alTop);
  PanelStatusBar = TiledPanel(this, "PanelStatusBar", art::kStatusBarTile, kFormHeight - 22, 22);
  PanelStatusBar->SetAlign(TAlign::alBottom);
  const int workTop = 54, workHeight = kFormHeight - 22 - workTop;  // 485
  PanelAG = PlainPanel(this, "PanelAG", 0, workTop, kFormWidth, workHeight, 0);

  BtnOpen = PictureButton(PanelToolBar, "BtnOpen", art::kBtnOpen, 24, 0, 46, 46);
  BtnEmail = PictureButton(PanelToolBar, "BtnEmail", art::kBtnEmail, 84, 0, 46, 46);
  BtnWebsite = PictureButton(PanelToolBar, "BtnWebsite", art::kBtnWebsite, 144, 0, 46, 46);
  BtnHelp = PictureButton(PanelToolBar, "BtnHelp", art::kBtnHelp, 204, 0, 46, 46);
  BtnAbout = PictureButton(PanelToolBar, "BtnAbout", art::kBtnAbout, 264, 0, 46, 46);

  // The options panel on the right (margins left 4, right 8, bottom 8), the player in the rest.
  const int paramWidth = 332, paramLeft = kFormWidth - 8 - paramWidth;  // 560
  PanelParam = PlainPanel(PanelAG, "PanelParam", paramLeft, 0, paramWidth, workHeight - 8, 1);
  PanelPlayer = PlainPanel(PanelAG, "PanelPlayer", 0, 0, paramLeft - 4, workHeight, 0);
  PanelPlayerBtn = PlainPanel(PanelPlayer, "PanelPlayerBtn", 8, workHeight - 8 - 38, PanelPlayer->width() - 8 - 6, 38, 1);

  // The video and the seek bar at their places in the window.
  VideoWindow1 = new TVideoWindow(PanelPlayer);
  VideoWindow1->setObjectName("VideoWindow1");
  VideoWindow1->setGeometry(8, 57 - workTop, 542, 396);
  VideoWindow1->SetMode(TVideoMode::vmVMR);
  VideoWindow1->VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
  VideoWindow1->SetFilterGraph(&FilterGraph1);

  SampleGrabber1.MediaType().SetMajorType(MEDIATYPE_Video);
  SampleGrabber1.MediaType().SetSubType(MEDIASUBTYPE_RGB32);
  SampleGrabber1.MediaType().SetFormatType(FORMAT_VideoInfo);
  SampleGrabber1.SetFilterGraph(&FilterGraph1);

  TrackBar = new TDSTrackBar(PanelPlayer);
  TrackBar->setObjectName("TrackBar");
  TrackBar->setGeometry(3, 459 - workTop, 553, 28);
  TrackBar->SetPageSize(100);
  TrackBar->setTickPosition(QSlider::NoTicks);
  TrackBar->SetTimerInterval(10);
  TrackBar->SetFilterGraph(&FilterGraph1);

  BtnPlayerOpen = PictureButton(PanelPlayerBtn, "BtnPlayerOpen", art::kPlayerOpen, 0, 6, 28, 25);
  BtnPlayerPlay = PictureButton(PanelPlayerBtn, "BtnPlayerPlay", art::kPlayerPlay, 0, 6, 28, 25);
  BtnPlayerPause = PictureButton(PanelPlayerBtn, "BtnPlayerPause", art::kPlayerPause, 0, 6, 28, 25);
  BtnPlayerStop = PictureButton(PanelPlayerBtn, "BtnPlayerStop", art::kPlayerStop, 0, 6, 28, 25);
  BtnPlayerSMStart = PictureButton(PanelPlayerBtn, "BtnPlayerSMStart", art::kPlayerSMStart, 0, 6, 28, 25);
  BtnPlayerSMStop = PictureButton(PanelPlayerBtn, "BtnPlayerSMStop", art::kPlayerSMStop, 0, 6, 28, 25);
  BtnPlayerNextFrame = PictureButton(PanelPlayerBtn, "BtnPlayerNextFrame", art::kPlayerNextFrame, 0, 6, 28, 25);
  PanelPlayerBtnResize();

  BtnOnlyForFocus = new QPushButton(this);
  BtnOnlyForFocus->setObjectName("BtnOnlyForFocus");
  BtnOnlyForFocus->setGeometry(-100, 489, 75, 25);

  // Options panel.
  QWidget* p = PanelParam;
  LabelSpecialAVI = OptionLabel(p, "LabelSpecialAVI", "Specify the time range of source AVI file : ", 11, 9, true);
  LabelStartFrm = OptionLabel(p, "LabelStartFrm", "Start Time:", 19, 33);
  EditStartFrame = OptionField(p, "EditStartFrame", "0", 90, 32);
  LabelEndFrm = OptionLabel(p, "LabelEndFrm", "End Time:", 26, 62);
  EditEndFrame = OptionField(p, "EditEndFrame", "0", 90, 60);
  EditStartFrame->setEnabled(false);
  EditEndFrame->setEnabled(false);
  LabelStep = OptionLabel(p, "LabelStep", "Frame Step:", 166, 34);
  EditStep = OptionField(p, "EditStep", "2", 239, 32);

  CheckBoxCrop = OptionCheck(p, "CheckBoxCrop", "Crop the source  (Pixels)", 11, 91, 200);
  LabelLeft = RightLabel(p, "LabelLeft", "From  Left:", 21, 114, 90);
  EditLeft = OptionField(p, "EditLeft", "0", 90, 113);
  LabelTop = RightLabel(p, "LabelTop", "Top:", 58, 144, 90);
  EditTop = OptionField(p, "EditTop", "0", 90, 141);
  LabelCropWidth = RightLabel(p, "LabelCropWidth", "Width:", 173, 114, 215);
  EditCropW = OptionField(p, "EditCropW", "1", 215, 113);
  LabelCropHeight = RightLabel(p, "LabelCropHeight", "Height:", 170, 143, 215);
  EditCropH = OptionField(p, "EditCropH", "1", 215, 141);

  CheckboxResize = OptionCheck(p, "CheckboxResize", "Resize the source  (Pixels)", 11, 173, 200);
  LabelFrmW = RightLabel(p, "LabelFrmW", "GIF Width:", 24, 197, 91);
  EditGIFW = OptionField(p, "EditGIFW", "1", 91, 195);
  LabelFrmH = RightLabel(p, "LabelFrmH", "GIF Height:", 21, 225, 91);
  EditGIFH = OptionField(p, "EditGIFH", "1", 91, 223);
  ImageCP = new TSkImgPanel(p);
  ImageCP->setObjectName("ImageCP");
  ImageCP->SetTransparent(true);
  ImageCP->SetPicture(art::Picture(art::kChainGIF));
  ImageCP->setGeometry(161, 208, 24, 25);
  CheckBoxCP = OptionCheck(p, "CheckBoxCP", "Constrain Proportions", 182, 210, paramWidth - 182 - 4);
  CheckBoxCP->setChecked(true);

  LabelLoops = RightLabel(p, "LabelLoops", "Loop:", 53, 269, 91);
  EditLooping = OptionField(p, "EditLooping", "0", 91, 267);
  Label12 = OptionLabel(p, "Label12", "(0 means loop forever)", 170, 269);
  LabelDelay = RightLabel(p, "LabelDelay", "Frame Delay:", 8, 297, 91);
  EditDelay = OptionField(p, "EditDelay", "100", 91, 295);
  Label13 = OptionLabel(p, "Label13", "Milliseconds", 170, 297);
  CheckBoxGray = OptionCheck(p, "CheckBoxGray", "256 grayscale GIF image", 11, 333, 200);

  BtnMakeGIF = PictureButton(p, "BtnMakeGIF", art::kBtnMakeGIF, 102, 391, 110, 42);

  // Status bar: three slots and the progress bar over the right two while a GIF is made.
  auto slot = [this](const char* name, int x, int w, int px) {
    QLabel* l = new TEllipsisLabel(PanelStatusBar);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(SkinFont(px));
    l->setStyleSheet("QLabel { color: rgb(232, 238, 252); background: transparent; }");
    l->setGeometry(x, 0, w, 22);
    return l;
  };
  LabelSBLeft = slot("LabelSBLeft", 5, 205, 11);
  LabelSBCenter = slot("LabelSBCenter", 5 + 205, 133, 11);
  LabelSBRight = slot("LabelSBRight", 5 + 205 + 133, kFormWidth - (5 + 205 + 133), 12);
  ProgressBar1 = new QProgressBar(PanelStatusBar);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(338, 2, 562, 20);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setMinimum(0);
  ProgressBar1->setMaximum(0);
  ProgressBar1->hide();

  CheckBoxCropClick();
  CheckboxResizeClick();
  ShowPlayButton();
}

std::vector<QLineEdit*> TFormMain::NumericFields() const {
  return {EditStartFrame, EditEndFrame, EditStep, EditLeft,    EditTop,  EditCropW,
          EditCropH,      EditGIFW,     EditGIFH, EditLooping, EditDelay};
}

void TFormMain::WireEvents() {
  auto click = [this](TSkImgBtn* b, void (TFormMain::*handler)(), const char* name) {
    b->OnClick = [this, handler, name](TSkImgBtn*) {
      FHandler = name;
      Guarded([this, handler] { (this->*handler)(); });
      FHandler.clear();
    };
  };
  auto hint = [this](TSkImgBtn* b, void (TFormMain::*enter)()) {
    if (enter) b->OnMouseEnter = [this, enter](TSkImgBtn*) { (this->*enter)(); };
    b->OnMouseLeave = [this](TSkImgBtn*) { ClearTIPStatusBar(); };
  };
  click(BtnOpen, &TFormMain::BtnOpenClick, "BtnOpenClick");
  click(BtnEmail, &TFormMain::BtnEmailClick, "BtnEmailClick");
  click(BtnWebsite, &TFormMain::BtnWebsiteClick, "BtnWebsiteClick");
  click(BtnHelp, &TFormMain::BtnHelpClick, "BtnHelpClick");
  click(BtnAbout, &TFormMain::BtnAboutClick, "BtnAboutClick");
  click(BtnPlayerOpen, &TFormMain::BtnOpenClick, "BtnOpenClick");
  click(BtnPlayerPlay, &TFormMain::BtnPlayerPlayClick, "BtnPlayerPlayClick");
  click(BtnPlayerPause, &TFormMain::BtnPlayerPauseClick, "BtnPlayerPauseClick");
  click(BtnPlayerStop, &TFormMain::BtnPlayerStopClick, "BtnPlayerStopClick");
  click(BtnPlayerSMStart, &TFormMain::BtnPlayerSMStartClick, "BtnPlayerSMStartClick");
  click(BtnPlayerSMStop, &TFormMain::BtnPlayerSMStopClick, "BtnPlayerSMStopClick");
  click(BtnPlayerNextFrame, &TFormMain::BtnPlayerNextFrameClick, "BtnPlayerNextFrameClick");
  click(BtnMakeGIF, &TFormMain::BtnMakeGIFClick, "BtnMakeGIFClick");
  hint(BtnOpen, &TFormMain::BtnOpenMouseEnter);
  hint(BtnEmail, &TFormMain::BtnEmailMouseEnter);
  hint(BtnWebsite, &TFormMain::BtnWebsiteMouseEnter);
  hint(BtnHelp, &TFormMain::BtnHelpMouseEnter);
  hint(BtnAbout, &TFormMain::BtnAboutMouseEnter);
  hint(BtnPlayerOpen, &TFormMain::BtnPlayerOpenMouseEnter);
  hint(BtnPlayerPlay, &TFormMain::BtnPlayerPlayMouseEnter);
  hint(BtnPlayerPause, nullptr);
  hint(BtnPlayerStop, &TFormMain::BtnPlayerStopMouseEnter);
  hint(BtnPlayerSMStart, &TFormMain::BtnPlayerSMStartMouseEnter);
  hint(BtnPlayerSMStop, &TFormMain::BtnPlayerSMStopMouseEnter);
  hint(BtnPlayerNextFrame, &TFormMain::BtnPlayerNextFrameMouseEnter);

  QObject::connect(CheckBoxCrop, &QCheckBox::clicked, this, [this] { CheckBoxCropClick(); });
  QObject::connect(CheckboxResize, &QCheckBox::clicked, this, [this] { CheckboxResizeClick(); });
  QObject::connect(CheckBoxCP, &QCheckBox::clicked, this, [this] { CheckBoxCPClick(); });
  QObject::connect(EditGIFW, &QLineEdit::textChanged, this, [this] { Guarded([this] { EditGIFWChange(); }); });
  QObject::connect(EditGIFH, &QLineEdit::textChanged, this, [this] { Guarded([this] { EditGIFHChange(); }); });
  for (QLineEdit* e : NumericFields()) e->installEventFilter(this);
  PanelPlayerBtn->installEventFilter(this);
  TrackBar->installEventFilter(this);
  TrackBar->SetOnTimer([this](TDSTrackBar*, std::uint32_t cur, std::uint32_t stop) { TrackBarTimer(cur, stop); });

  FilterGraph1.OnGraphStepComplete = [this](TFilterGraph*) { FilterGraph1GraphStepComplete(); };
  FilterGraph1.OnGraphErrorAbort = [this](TFilterGraph*, HRESULT hr) {
    Guarded([this, hr] { Job.FilterGraph1GraphErrorAbort(hr); });
  };
  FilterGraph1.OnGraphComplete = [this](TFilterGraph*, HRESULT, IBaseFilter*) {
    Guarded([this] { FilterGraph1GraphComplete(); });
  };

  // The keys a desktop video tool answers to. A numeric field keeps its own keys (the shortcut
  // yields to the field), so Space and Right there still meet the digits-only rule.
  auto key = [this](const QKeySequence& seq, std::function<void()> action) {
    auto* s = new QShortcut(seq, this);
    QObject::connect(s, &QShortcut::activated, this, [this, action = std::move(action)] { Guarded(action); });
  };
  key(QKeySequence(Qt::Key_Space), [this] {
    if (FilterGraph1.State() == TGraphState::gsPlaying)
      BtnPlayerPauseClick();
    else
      BtnPlayerPlayClick();
  });
  key(QKeySequence(Qt::Key_Right), [this] {
    if (FilterGraph1.Active() && !Job.IsConverting) BtnPlayerNextFrameClick();
  });
  key(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { BtnOpenClick(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
      auto* k = static_cast<QKeyEvent*>(event);
      // Keys without a character (arrows, Home, Delete) and focus moves never reach the filter
      // of typed characters.
      if (k->text().isEmpty() || k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab ||
          k->key() == Qt::Key_Delete)
        return false;
      (void)edit;
      return !OnlyNumEditKeyPress(k->text().at(0));
    }
  } else if (event->type() == QEvent::Resize && watched == PanelPlayerBtn) {
    PanelPlayerBtnResize();
  } else if (event->type() == QEvent::FocusIn && watched == TrackBar) {
    TrackBarEnter();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace clipsmith
