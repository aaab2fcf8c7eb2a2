// The window itself: every control at its place with its text, the enabling rules, the chain
// picture, the proportional size link, the digits-only filter, the hints, the centring of the
// player buttons, the tool buttons, the keys, a dropped video, and the about box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDropEvent>
#include <QFontInfo>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/about_box.h"
#include "app/select_range_dialog.h"
#include "controls/skin.h"
#include "form_harness.h"

using namespace clipsmith;
using namespace clipsmith::apptest;

namespace {

void Enter(QWidget* w) {
  QEnterEvent e(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
  QCoreApplication::sendEvent(w, &e);
}
void Leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(w, &e);
}

// A harness whose window is shown and active, so fields can take the keyboard focus.
struct TShownForm : TFormHarness {
  std::vector<std::string> Opened;  // what the tool buttons opened
  int Beeps = 0;
  TShownForm() {
    Form.ShellOpen = [this](const std::string& t) { Opened.push_back(t); };
    Form.Beep = [this] { ++Beeps; };
    Form.show();
    Form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Form));
  }
  // Types into the field as the user does: focus first, then one key per character.
  void Type(QLineEdit* edit, const QString& keys) {
    edit->setFocus();
    EXPECT_TRUE(edit->hasFocus());
    QTest::keyClicks(edit, keys);
  }
  void Clear(QLineEdit* edit) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
  }
};

QPoint InForm(const TFormMain& f, const QWidget* w) { return w->mapTo(&f, QPoint(0, 0)); }

}  // namespace

// Every control of the layout tables: parent, position, size.
TEST(MainWindow, ControlsSitWhereTheLayoutPutsThem) {
  TFormHarness h;
  TFormMain& f = h.Form;
  EXPECT_EQ(f.size(), QSize(900, 561));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());  // fixed: the frame offers no resizing
  EXPECT_EQ(f.windowTitle().toStdString(), "Clipsmith 4.0");
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);

  struct TCase {
    const char* Name;
    const char* Parent;
    QRect Geometry;  // relative to the parent; width/height 0: not checked
  };
  const TCase cases[] = {
      {"PanelToolBar", "FormMain", {0, 0, 900, 46}},
      {"PanelBand", "FormMain", {0, 46, 900, 8}},
      {"PanelAG", "FormMain", {0, 54, 900, 485}},
      {"PanelStatusBar", "FormMain", {0, 539, 900, 22}},
      {"BtnOpen", "PanelToolBar", {24, 0, 46, 46}},
      {"BtnEmail", "PanelToolBar", {84, 0, 46, 46}},
      {"BtnWebsite", "PanelToolBar", {144, 0, 46, 46}},
      {"BtnHelp", "PanelToolBar", {204, 0, 46, 46}},
      {"BtnAbout", "PanelToolBar", {264, 0, 46, 46}},
      {"PanelParam", "PanelAG", {560, 0, 332, 477}},  // right 8, bottom 8
      {"PanelPlayer", "PanelAG", {0, 0, 556, 485}},   // up to the panel's left margin of 4
      {"PanelPlayerBtn", "PanelPlayer", {8, 439, 542, 38}},
      {"BtnPlayerOpen", "PanelPlayerBtn", {177, 6, 28, 25}},
      {"BtnPlayerPlay", "PanelPlayerBtn", {207, 6, 28, 25}},
      {"BtnPlayerStop", "PanelPlayerBtn", {237, 6, 28, 25}},
      {"BtnPlayerSMStart", "PanelPlayerBtn", {272, 6, 28, 25}},
      {"BtnPlayerSMStop", "PanelPlayerBtn", {302, 6, 28, 25}},
      {"BtnPlayerNextFrame", "PanelPlayerBtn", {337, 6, 28, 25}},
      {"LabelSpecialAVI", "PanelParam", {11, 9, 0, 0}},
      {"LabelStartFrm", "PanelParam", {19, 33, 0, 0}},
      {"EditStartFrame", "PanelParam", {90, 32, 70, 22}},
      {"LabelEndFrm", "PanelParam", {26, 62, 0, 0}},
      {"EditEndFrame", "PanelParam", {90, 60, 70, 22}},
      {"LabelStep", "PanelParam", {166, 34, 0, 0}},
      {"EditStep", "PanelParam", {239, 32, 70, 22}},
      {"CheckBoxCrop", "PanelParam", {11, 91, 0, 0}},
      {"EditLeft", "PanelParam", {90, 113, 70, 22}},
      {"EditTop", "PanelParam", {90, 141, 70, 22}},
      {"EditCropW", "PanelParam", {215, 113, 70, 22}},
      {"EditCropH", "PanelParam", {215, 141, 70, 22}},
      {"CheckboxResize", "PanelParam", {11, 173, 0, 0}},
      {"EditGIFW", "PanelParam", {91, 195, 70, 22}},
      {"EditGIFH", "PanelParam", {91, 223, 70, 22}},
      {"ImageCP", "PanelParam", {161, 208, 24, 25}},
      {"CheckBoxCP", "PanelParam", {182, 210, 0, 0}},
      {"EditLooping", "PanelParam", {91, 267, 70, 22}},
      {"Label12", "PanelParam", {170, 269, 0, 0}},
      {"EditDelay", "PanelParam", {91, 295, 70, 22}},
      {"Label13", "PanelParam", {170, 297, 0, 0}},
      {"CheckBoxGray", "PanelParam", {11, 333, 0, 0}},
      {"BtnMakeGIF", "PanelParam", {102, 391, 110, 42}},
      {"LabelSBLeft", "PanelStatusBar", {5, 0, 205, 22}},
      {"LabelSBCenter", "PanelStatusBar", {210, 0, 133, 22}},
      {"LabelSBRight", "PanelStatusBar", {343, 0, 557, 22}},
      {"ProgressBar1", "PanelStatusBar", {338, 2, 562, 20}},
  };
  for (const TCase& c : cases) {
    auto* w = f.findChild<QWidget*>(c.Name);
    ASSERT_NE(w, nullptr) << c.Name;
    EXPECT_EQ(w->parentWidget()->objectName().toStdString(), c.Parent) << c.Name;
    EXPECT_EQ(w->pos(), c.Geometry.topLeft()) << c.Name;
    if (c.Geometry.width()) {
      EXPECT_EQ(w->size(), c.Geometry.size()) << c.Name;
    }
  }
  // The video and the seek bar are placed in window coordinates; the focus sink lies outside.
  EXPECT_EQ(QRect(InForm(f, f.VideoWindow1), f.VideoWindow1->size()), QRect(8, 57, 542, 396));
  EXPECT_EQ(QRect(InForm(f, f.TrackBar), f.TrackBar->size()), QRect(3, 459, 553, 28));
  EXPECT_EQ(f.BtnOnlyForFocus->pos(), QPoint(-100, 489));
  EXPECT_EQ(f.TrackBar->PageSize(), 100);
  EXPECT_EQ(f.TrackBar->TimerInterval(), 10u);
  EXPECT_FALSE(f.ProgressBar1->isVisibleTo(&f));
  // Pause shares Play's place.
  EXPECT_EQ(f.BtnPlayerPause->x(), f.BtnPlayerPlay->x());

  // Right-aligned labels end just in front of their fields.
  const std::pair<QLabel*, QLineEdit*> rightAligned[] = {
      {f.LabelLeft, f.EditLeft},   {f.LabelTop, f.EditTop},   {f.LabelCropWidth, f.EditCropW},
      {f.LabelCropHeight, f.EditCropH}, {f.LabelFrmW, f.EditGIFW}, {f.LabelFrmH, f.EditGIFH},
      {f.LabelLoops, f.EditLooping}, {f.LabelDelay, f.EditDelay}};
  for (auto [label, field] : rightAligned) {
    EXPECT_TRUE(label->alignment() & Qt::AlignRight) << label->objectName().toStdString();
    EXPECT_EQ(label->geometry().right() + 1, field->x() - 3) << label->objectName().toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->objectName().toStdString();
  }
  // Every label's text fits the panel.
  for (QLabel* l : f.PanelParam->findChildren<QLabel*>())
    EXPECT_LE(l->x() + l->fontMetrics().horizontalAdvance(l->text()), f.PanelParam->width()) << l->objectName().toStdString();
}

// Captions, initial texts and states, colours and font heights.
TEST(MainWindow, CaptionsInitialTextsAndFonts) {
  TFormHarness h;
  TFormMain& f = h.Form;
  struct TText {
    QWidget* Control;
    const char* Text;
    bool Enabled;
  };
  const TText texts[] = {
      {f.LabelSpecialAVI, "Specify the time range of source AVI file : ", true},
      {f.LabelStartFrm, "Start Time:", true},
      {f.EditStartFrame, "0", false},
      {f.LabelEndFrm, "End Time:", true},
      {f.EditEndFrame, "0", false},
      {f.LabelStep, "Frame Step:", true},
      {f.EditStep, "2", true},
      {f.CheckBoxCrop, "Crop the source  (Pixels)", true},
      {f.LabelLeft, "From  Left:", false},
      {f.EditLeft, "0", false},
      {f.LabelTop, "Top:", false},
      {f.EditTop, "0", false},
      {f.LabelCropWidth, "Width:", false},
      {f.EditCropW, "1", false},
      {f.LabelCropHeight, "Height:", false},
      {f.EditCropH, "1", false},
      {f.CheckboxResize, "Resize the source  (Pixels)", true},
      {f.LabelFrmW, "GIF Width:", false},
      {f.EditGIFW, "1", false},
      {f.LabelFrmH, "GIF Height:", false},
      {f.EditGIFH, "1", false},
      {f.CheckBoxCP, "Constrain Proportions", false},
      {f.LabelLoops, "Loop:", true},
      {f.EditLooping, "0", true},
      {f.Label12, "(0 means loop forever)", true},
      {f.LabelDelay, "Frame Delay:", true},
      {f.EditDelay, "100", true},
      {f.Label13, "Milliseconds", true},
      {f.CheckBoxGray, "256 grayscale GIF image", true},
  };
  for (const TText& t : texts) {
    QString text;
    if (auto* l = qobject_cast<QLabel*>(t.Control)) text = l->text();
    if (auto* e = qobject_cast<QLineEdit*>(t.Control)) text = e->text();
    if (auto* c = qobject_cast<QCheckBox*>(t.Control)) text = c->text();
    EXPECT_EQ(text.toStdString(), t.Text) << t.Control->objectName().toStdString();
    EXPECT_EQ(t.Control->isEnabled(), t.Enabled) << t.Control->objectName().toStdString();
  }
  EXPECT_FALSE(f.CheckBoxCrop->isChecked());
  EXPECT_FALSE(f.CheckboxResize->isChecked());
  EXPECT_TRUE(f.CheckBoxCP->isChecked());
  EXPECT_FALSE(f.CheckBoxGray->isChecked());
  EXPECT_TRUE(f.ImageCP->isVisibleTo(&f));
  EXPECT_FALSE(f.ImageCP->isEnabled());
  // The initial texts are the reset values.
  std::vector<std::string> before;
  for (QLineEdit* e : f.NumericFields()) before.push_back(e->text().toStdString());
  f.ResetOptions();
  std::vector<std::string> after;
  for (QLineEdit* e : f.NumericFields()) after.push_back(e->text().toStdString());
  EXPECT_EQ(before, after);

  // Tahoma's metrics hold the layout: the free one is used where it is installed.
  if (std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) {
    EXPECT_EQ(SkinFontFamily().toStdString(), "Tahoma");
    EXPECT_EQ(QFontInfo(f.LabelStep->font()).family().toStdString(), "Tahoma");
  }
  EXPECT_EQ(f.font().pixelSize(), 11);
  EXPECT_EQ(f.LabelStep->font().pixelSize(), 13);
  EXPECT_TRUE(f.LabelSpecialAVI->font().bold());
  EXPECT_FALSE(f.LabelStep->font().bold());
  EXPECT_EQ(f.EditStep->font().pixelSize(), 12);
  EXPECT_EQ(f.CheckBoxCrop->font().pixelSize(), 11);
  EXPECT_EQ(f.LabelSBRight->font().pixelSize(), 12);
  EXPECT_EQ(f.LabelStep->palette().color(QPalette::WindowText), QColor(216, 228, 248));
  for (TSkLinePanel* p : {f.PanelParam, f.PanelPlayerBtn}) {
    EXPECT_EQ(p->BorderWidth(), 1);
    EXPECT_EQ(p->BorderColor1(), RGBColor(0, 48, 99));
    EXPECT_EQ(p->BorderColor2(), clBlack);
    EXPECT_EQ(p->BorderColor3(), clBlack);
    EXPECT_EQ(p->Color(), RGBColor(99, 101, 156));
  }
  EXPECT_EQ(f.PanelAG->Color(), RGBColor(99, 101, 156));
  for (TSkImgPanel* p : {f.PanelToolBar, f.PanelBand, f.PanelStatusBar}) EXPECT_EQ(p->DrawStyle(), TSkDrawStyle::suiTile);
}

// Each check box enables exactly its group; the chain picture follows the clicks.
TEST(MainWindow, EnablingRulesAndTheChainPicture) {
  TFormHarness h;
  TFormMain& f = h.Form;
  const std::vector<QWidget*> crop = {f.LabelTop, f.LabelLeft, f.LabelCropWidth, f.LabelCropHeight,
                                      f.EditTop,  f.EditLeft,  f.EditCropW,      f.EditCropH};
  const std::vector<QWidget*> resize = {f.LabelFrmW, f.LabelFrmH, f.EditGIFW, f.EditGIFH, f.ImageCP, f.CheckBoxCP};
  struct TCase {
    bool Crop, Resize;
  };
  for (TCase c : {TCase{true, false}, TCase{true, true}, TCase{false, true}, TCase{false, false}}) {
    h.Check(f.CheckBoxCrop, c.Crop);
    h.Check(f.CheckboxResize, c.Resize);
    for (QWidget* w : crop) EXPECT_EQ(w->isEnabled(), c.Crop) << w->objectName().toStdString();
    for (QWidget* w : resize) EXPECT_EQ(w->isEnabled(), c.Resize) << w->objectName().toStdString();
    // The other fields never change.
    EXPECT_TRUE(f.EditStep->isEnabled());
    EXPECT_TRUE(f.EditLooping->isEnabled());
    EXPECT_FALSE(f.EditStartFrame->isEnabled());
  }
  h.Check(f.CheckboxResize, true);
  // Each click turns the picture's visibility around, whatever the box says.
  for (bool visible : {false, true, false}) {
    f.CheckBoxCP->click();
    EXPECT_EQ(f.ImageCP->isVisibleTo(&f), visible);
  }
  EXPECT_FALSE(f.CheckBoxCP->isChecked());
  EXPECT_FALSE(f.ImageCP->isVisibleTo(&f));
  f.CheckBoxCPClick();  // called without a click: the picture turns, the box stays
  EXPECT_TRUE(f.ImageCP->isVisibleTo(&f));
  EXPECT_FALSE(f.CheckBoxCP->isChecked());
}

// The proportional size link, typed as the user types.
TEST(MainWindow, ProportionalSizeCases) {
  struct TCase {
    const char* Name;
    bool Crop;
    const char *CropW, *CropH;
    bool TypeIntoWidth;
    const char* Keys;  // typed after emptying the field; "" empties it only
    const char* Width;
    const char* Height;
  };
  const TCase cases[] = {
      {"640x480, width 320", false, "1", "1", true, "320", "320", "240"},
      {"640x480, height 100 (133.33)", false, "1", "1", false, "100", "133", "100"},
      {"2x1 crop, width 1 (0.5 to even)", true, "2", "1", true, "1", "1", "0"},
      {"2x1 crop, width 3 (1.5 to even)", true, "2", "1", true, "3", "3", "2"},
      {"crop 0 wide: emptied", true, "0", "10", true, "5", "5", ""},
      {"cleared width leaves the height", false, "1", "1", true, "", "", "77"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TShownForm h;
    TFormMain& f = h.Form;
    f.SourceVideoWidth = 640;
    f.SourceVideoHeight = 480;
    h.Check(f.CheckboxResize, true);
    h.Check(f.CheckBoxCrop, c.Crop);
    h.SetText(f.EditCropW, c.CropW);
    h.SetText(f.EditCropH, c.CropH);
    h.SetText(f.EditGIFW, "55");  // set by the program: no focus, no link
    h.SetText(f.EditGIFH, "77");
    EXPECT_EQ(f.EditGIFH->text().toStdString(), "77");
    QLineEdit* typed = c.TypeIntoWidth ? f.EditGIFW : f.EditGIFH;
    h.Clear(typed);
    h.Type(typed, QString::fromLatin1(c.Keys));
    EXPECT_EQ(f.EditGIFW->text().toStdString(), c.Width);
    EXPECT_EQ(f.EditGIFH->text().toStdString(), c.Height);
    EXPECT_TRUE(h.Warnings.empty());
    EXPECT_TRUE(h.Reported.empty());
  }
}

TEST(MainWindow, ProportionalSizeOnlyWhenLinkedAndWithAReadableCrop) {
  TShownForm h;
  TFormMain& f = h.Form;
  f.SourceVideoWidth = 640;
  f.SourceVideoHeight = 480;
  h.Check(f.CheckboxResize, true);
  f.CheckBoxCP->click();  // unlinked
  h.SetText(f.EditGIFH, "9");
  h.Clear(f.EditGIFW);
  h.Type(f.EditGIFW, "320");
  EXPECT_EQ(f.EditGIFH->text().toStdString(), "9");
  f.CheckBoxCP->click();
  // With crop on and a crop field empty the reference cannot be read: the error goes to the
  // error reporting and the other field stays.
  h.Check(f.CheckBoxCrop, true);
  h.SetText(f.EditCropW, "");
  h.Type(f.EditGIFW, "0");
  EXPECT_EQ(f.EditGIFH->text().toStdString(), "9");
  ASSERT_EQ(h.Reported.size(), 1u);
  EXPECT_EQ(h.Reported[0], "'' is not a valid integer value");
  // No video loaded: the reference is 0 wide and the other field empties.
  h.Check(f.CheckBoxCrop, false);
  f.SourceVideoWidth = 0;
  h.Type(f.EditGIFW, "1");
  EXPECT_EQ(f.EditGIFH->text().toStdString(), "");
}

// Only digits and backspace pass; every other character beeps and warns, Enter included.
TEST(MainWindow, DigitsOnlyInTheNumericFields) {
  TShownForm h;
  TFormMain& f = h.Form;
  struct TKey {
    QChar Char;
    bool Passes;
  };
  const TKey keys[] = {{'0', true}, {'5', true}, {'9', true}, {QChar(8), true}, {'-', false}, {'a', false},
                       {' ', false}, {'.', false}, {QChar(13), false}, {QChar(27), false}, {QChar(22), false}};
  for (const TKey& k : keys) {
    h.Warnings.clear();
    EXPECT_EQ(f.OnlyNumEditKeyPress(k.Char), k.Passes) << int(k.Char.unicode());
    EXPECT_EQ(h.Warnings.size(), k.Passes ? 0u : 1u) << int(k.Char.unicode());
  }
  h.Warnings.clear();
  h.Beeps = 0;
  h.Check(f.CheckBoxCrop, true);
  h.Check(f.CheckboxResize, true);
  for (QLineEdit* e : f.NumericFields()) {
    if (!e->isEnabled()) continue;  // the mark fields take no keys
    h.SetText(e, "12");
    e->setFocus();
    e->end(false);
    QTest::keyClick(e, Qt::Key_Return);
    QTest::keyClick(e, Qt::Key_A);
    QTest::keyClick(e, Qt::Key_Space);
    QTest::keyClick(e, Qt::Key_3);
    QTest::keyClick(e, Qt::Key_Left);  // keys without a character are no typing
    QTest::keyClick(e, Qt::Key_Backspace);
    EXPECT_EQ(e->text().toStdString(), "13") << e->objectName().toStdString();
  }
  EXPECT_EQ(h.Warnings.size(), 3u * 9);
  EXPECT_EQ(h.Beeps, 3 * 9);
  EXPECT_EQ(h.Warnings.front(), (TMessage{"Error input, only accept integer!", "Warning"}));
  // Pasting through the context menu is not filtered.
  f.EditStep->setText("");
  f.EditStep->insert("x1");
  EXPECT_EQ(f.EditStep->text().toStdString(), "x1");
}

// Every button's hint in slot 2, cleared on leaving; Pause and Make GIF show none.
TEST(MainWindow, HoverHintsAndTheirClearing) {
  TFormHarness h;
  TFormMain& f = h.Form;
  struct THint {
    TSkImgBtn* Button;
    const char* Hint;  // nullptr: none
  };
  const THint hints[] = {
      {f.BtnOpen, "[Tips] Click to import a file to convert"},
      {f.BtnEmail, "[Tips] If you have any questions or concerns, pls email to us!"},
      {f.BtnWebsite, "[Tips] Click to visit our website"},
      {f.BtnHelp, "Help"},
      {f.BtnAbout, "About"},
      {f.BtnPlayerOpen, "[Tips] Click to import a file to convert"},
      {f.BtnPlayerPlay, "Play"},
      {f.BtnPlayerPause, nullptr},
      {f.BtnPlayerStop, "Stop"},
      {f.BtnPlayerSMStart, "Click to take current position as start time"},
      {f.BtnPlayerSMStop, "Click to take current position as end time"},
      {f.BtnPlayerNextFrame, "Step"},
  };
  for (const THint& t : hints) {
    f.SetStatusBar(2, "before");
    Enter(t.Button);
    EXPECT_EQ(f.LabelSBRight->text().toStdString(), t.Hint ? t.Hint : "before") << t.Button->objectName().toStdString();
    Leave(t.Button);
    EXPECT_EQ(f.LabelSBRight->text().toStdString(), "") << t.Button->objectName().toStdString();
  }
  f.SetStatusBar(2, "kept");
  Enter(f.BtnMakeGIF);
  Leave(f.BtnMakeGIF);
  EXPECT_EQ(f.LabelSBRight->text().toStdString(), "kept");
  f.SetStatusBar(0, "left");
  f.SetStatusBar(1, "centre");
  EXPECT_EQ(f.LabelSBLeft->text().toStdString(), "left");
  EXPECT_EQ(f.LabelSBCenter->text().toStdString(), "centre");
}

TEST(MainWindow, StatusBarSlotsByIndex) {
  TFormHarness h;
  TFormMain& f = h.Form;
  auto slotTexts = [&] {
    return std::vector<std::string>{f.LabelSBLeft->text().toStdString(), f.LabelSBCenter->text().toStdString(),
                                    f.LabelSBRight->text().toStdString()};
  };
  struct TCase {
    int Set;  // SetStatusBar(Set, "x") over "a", "b", "c"
    std::vector<std::string> AfterSet;
    int Clear;
    std::vector<std::string> AfterClear;
  };
  const TCase cases[] = {
      {0, {"x", "b", "c"}, 0, {"", "b", "c"}},
      {1, {"a", "x", "c"}, 1, {"a", "", "c"}},
      {2, {"a", "b", "x"}, 2, {"a", "b", ""}},
      {3, {"a", "b", "c"}, 3, {"", "", ""}},
      {-1, {"a", "b", "c"}, -1, {"a", "b", "c"}},
      {4, {"a", "b", "c"}, 4, {"a", "b", "c"}},
  };
  for (const TCase& c : cases) {
    f.SetStatusBar(0, "a");
    f.SetStatusBar(1, "b");
    f.SetStatusBar(2, "c");
    f.SetStatusBar(c.Set, "x");
    EXPECT_EQ(slotTexts(), c.AfterSet) << c.Set;
    f.SetStatusBar(0, "a");
    f.SetStatusBar(1, "b");
    f.SetStatusBar(2, "c");
    f.ClearStatusBar(c.Clear);
    EXPECT_EQ(slotTexts(), c.AfterClear) << c.Clear;
  }
  f.SetStatusBar(2, "tip");
  f.ClearTIPStatusBar();
  EXPECT_EQ(slotTexts(), (std::vector<std::string>{"a", "b", ""}));
}

TEST(MainWindow, PlayerButtonsAreCentred) {
  TShownForm h;
  TFormMain& f = h.Form;
  struct TCase {
    int Width;
    std::vector<int> Lefts;  // open, play, pause, stop, start mark, end mark, next frame
  };
  const TCase cases[] = {
      {542, {177, 207, 207, 237, 272, 302, 337}},
      {600, {206, 236, 236, 266, 301, 331, 366}},
      {189, {0, 30, 30, 60, 95, 125, 160}},
      {187, {0, 30, 30, 60, 95, 125, 160}},  // -1 / 2 truncates toward zero
      {100, {-44, -14, -14, 16, 51, 81, 116}},
  };
  for (const TCase& c : cases) {
    f.PanelPlayerBtn->resize(c.Width, 38);  // the resize handler runs
    std::vector<int> lefts;
    for (TSkImgBtn* b : {f.BtnPlayerOpen, f.BtnPlayerPlay, f.BtnPlayerPause, f.BtnPlayerStop, f.BtnPlayerSMStart,
                         f.BtnPlayerSMStop, f.BtnPlayerNextFrame})
      lefts.push_back(b->x());
    EXPECT_EQ(lefts, c.Lefts) << c.Width;
  }
}

// FormShow places Make GIF and clears the converting flag; the seek bar hands its focus on.
TEST(MainWindow, FormShowAndTheFocusSink) {
  TShownForm h;
  TFormMain& f = h.Form;
  EXPECT_TRUE(f.BtnMakeGIF->isVisible());
  EXPECT_EQ(f.BtnMakeGIF->x(), 102);
  f.BtnMakeGIF->hide();
  f.BtnMakeGIF->move(5, f.BtnMakeGIF->y());
  f.Job.IsConverting = true;
  f.FormShow();
  EXPECT_TRUE(f.BtnMakeGIF->isVisible());
  EXPECT_EQ(f.BtnMakeGIF->x(), 102);
  EXPECT_FALSE(f.Job.IsConverting);

  f.TrackBar->setFocus();
  EXPECT_FALSE(f.TrackBar->hasFocus());
  EXPECT_TRUE(f.BtnOnlyForFocus->hasFocus());
}

TEST(MainWindow, ToolButtonsOpenTheirTargets) {
  TShownForm h;
  TFormMain& f = h.Form;
  QTest::mouseClick(f.BtnEmail, Qt::LeftButton);
  QTest::mouseClick(f.BtnWebsite, Qt::LeftButton);
  QTest::mouseClick(f.BtnHelp, Qt::LeftButton);
  QTest::mouseClick(f.BtnHelp, Qt::RightButton);  // the right button is ignored
  ASSERT_EQ(h.Opened.size(), 3u);
  EXPECT_EQ(h.Opened[0], "mailto:support@clipsmith.app?SUBJECT=Clipsmith 4.0");
  EXPECT_EQ(h.Opened[1].rfind("https://", 0), 0u);
  // The help page is the local one installed with the program.
  EXPECT_TRUE(h.Opened[2].ends_with("/csm-help.html")) << h.Opened[2];
  EXPECT_TRUE(std::filesystem::is_regular_file(h.Opened[2])) << h.Opened[2];
}

// The keys: Ctrl+O opens, Space plays and pauses, Right steps, Ctrl+Q closes; in a numeric field
// Space is typing, and meets the digits-only rule.
TEST(MainWindow, Keys) {
  TShownForm h;
  TFormMain& f = h.Form;
  int asked = 0;
  f.Host.AskOpenFileName = [&](const std::string&) {
    ++asked;
    return std::optional<std::string>(ClipPath(kLosslessClip));
  };
  f.BtnOnlyForFocus->setFocus();
  QTest::keyClick(&f, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(f.FilterGraph1.State(), TGraphState::gsPlaying);
  QTest::keyClick(f.BtnOnlyForFocus, Qt::Key_Space);
  EXPECT_EQ(f.FilterGraph1.State(), TGraphState::gsPaused);
  EXPECT_EQ(f.BtnPlayerPlay->y(), 6);
  QTest::keyClick(f.BtnOnlyForFocus, Qt::Key_Space);
  EXPECT_EQ(f.FilterGraph1.State(), TGraphState::gsPlaying);
  QTest::keyClick(f.BtnOnlyForFocus, Qt::Key_Space);
  ASSERT_EQ(f.FilterGraph1.State(), TGraphState::gsPaused);
  const int steps = h.Spy->Steps;
  QTest::keyClick(f.BtnOnlyForFocus, Qt::Key_Right);
  EXPECT_EQ(h.Spy->Steps, steps + 1);

  h.Warnings.clear();
  f.EditDelay->setFocus();
  QTest::keyClick(f.EditDelay, Qt::Key_Space);
  EXPECT_EQ(f.FilterGraph1.State(), TGraphState::gsPaused);
  EXPECT_EQ(h.Warnings.size(), 1u);

  QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(f.isVisible());
}

// A video dropped on the window opens as the open button would.
TEST(MainWindow, DroppedVideoOpens) {
  TShownForm h;
  TFormMain& f = h.Form;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(ClipPath(kLosslessClip)))});
  QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&f, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&f, &drop);
  EXPECT_TRUE(PumpUntil([&] { return f.SourceVideoWidth == unsigned(kClipWidth); }));
  EXPECT_EQ(f.LabelSBCenter->text().toStdString(), "Frame: 64 x 48");
  EXPECT_EQ(f.Settings().AVIFileName, kLosslessClip);
  // Something that is no local file is refused.
  QMimeData web;
  web.setUrls({QUrl("https://example.org/a.mp4")});
  QDragEnterEvent refused(QPoint(300, 200), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QCoreApplication::sendEvent(&f, &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST(AboutBox, VersionTextAndClickCloses) {
  TFormHarness h;
  Tformabout about(&h.Form);
  EXPECT_EQ(about.size(), QSize(402, 252));
  EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(about.panel_help->geometry(), QRect(1, 1, 400, 250));
  EXPECT_EQ(about.panel_help->DrawStyle(), TSkDrawStyle::suiNormal);
  EXPECT_EQ(about.panel_help->Picture().Width(), 400);
  EXPECT_EQ(about.lb_version->pos(), QPoint(293, 62));
  EXPECT_TRUE(about.lb_version->font().bold());
  EXPECT_EQ(about.lb_version->font().pixelSize(), 11);
  about.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&about));
  EXPECT_EQ(about.lb_version->text().toStdString(), "Version:  4.0");
  QTest::mouseClick(about.panel_help, Qt::RightButton, {}, QPoint(100, 100));
  EXPECT_TRUE(about.isVisible());
  // A click anywhere, the version label included, closes it.
  QTest::mouseClick(about.lb_version, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_FALSE(about.isVisible());
}

TEST(RangeErrorDialog, LayoutAndOK) {
  TFormHarness h;
  TFormSelectRangeError d(&h.Form);
  EXPECT_EQ(d.windowTitle().toStdString(), "Error");
  EXPECT_EQ(d.size(), QSize(359, 181));
  struct TPlace {
    QWidget* Control;
    QPoint Pos;
    const char* Text;
  };
  const TPlace places[] = {
      {d.ImageWarning, {24, 32}, nullptr},
      {d.Label1, {64, 40}, "Please use the button"},
      {d.ImageStart, {192, 36}, nullptr},
      {d.Label2, {228, 40}, "and"},
      {d.ImageEnd, {254, 36}, nullptr},
      {d.Label3, {288, 40}, "to select"},
      {d.Label4, {64, 67}, "the range of video to convert."},
  };
  for (const TPlace& p : places) {
    EXPECT_EQ(p.Control->mapTo(&d, QPoint(0, 0)), p.Pos) << p.Control->objectName().toStdString();
    if (p.Text) {
      auto* l = qobject_cast<QLabel*>(p.Control);
      EXPECT_EQ(l->text().toStdString(), p.Text);
      EXPECT_EQ(l->font().pixelSize(), 12);
    }
  }
  // The text in front of each picture ends before it.
  EXPECT_LE(d.Label1->x() + d.Label1->fontMetrics().horizontalAdvance(d.Label1->text()), d.ImageStart->x());
  EXPECT_LE(d.Label2->x() + d.Label2->fontMetrics().horizontalAdvance(d.Label2->text()), d.ImageEnd->x());
  EXPECT_EQ(d.PanelBottom->geometry(), QRect(0, 125, 359, 56));
  EXPECT_EQ(d.Button1->geometry(), QRect(272, 15, 75, 28));
  EXPECT_EQ(d.Button1->text().toStdString(), "OK");
  d.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
  QTest::mouseClick(d.Button1, Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
}

// The grey box is read: ticked, every frame is the reference frame reduced to the 256 greys;
// ticked and unticked again, the colour GIF comes out as it always did.
TEST(MainWindow, GrayBoxMakesAGreyGifAndUntickedChangesNothing) {
  auto run = [](bool tick, bool untick) {
    TFormHarness h;
    h.Load(kLosslessClip);
    h.Marks(30, 100);
    h.SetText(h.Form.EditStep, "3");
    if (tick) h.Check(h.Form.CheckBoxGray, true);
    if (untick) h.Check(h.Form.CheckBoxGray, false);
    EXPECT_TRUE(h.MakeGif());
    EXPECT_TRUE(h.Errors.empty() && h.Reported.empty());
    return std::make_pair(ReadBytes(h.Out / "out.gif"), h.CapturedFrames());
  };
  const auto [colour, frames] = run(false, false);
  const auto [again, framesAgain] = run(true, true);
  EXPECT_TRUE(again == colour);
  const auto [grey, greyFrames] = run(true, false);
  ASSERT_EQ(greyFrames, frames);

  TScratchDir dir("gray-expected");
  TSkGIF want;
  want.SetGrayScale(true);
  want.GIFFileName = dir / "want.gif";
  for (int i : frames) {
    TBitmap f = ReferenceFrames(kLosslessClip).at(std::size_t(i));
    want.AddFrame(f);
  }
  want.SaveToDisk();
  const auto got = clipsmith::testing::DecodeWithGiflib(grey);
  const auto expected = clipsmith::testing::DecodeWithGiflib(ReadBytes(want.GIFFileName));
  ASSERT_TRUE(got.Ok && expected.Ok);
  EXPECT_TRUE(FrameColors(got) == FrameColors(expected));
  for (const auto& rgb : FrameColors(got))
    for (std::size_t p = 0; p + 2 < rgb.size(); p += 3) {
      ASSERT_EQ(rgb[p], rgb[p + 1]);
      ASSERT_EQ(rgb[p], rgb[p + 2]);
    }
}
