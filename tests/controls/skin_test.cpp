// The skin: the style sheet is in the resources and the palette does not follow the desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include "controls/skin.h"
#include "controls_test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

TEST(Skin, StyleSheetCoversTheStandardControls) {
  // (check box marks and scroll bars are drawn by the skin's style)
  const QString sheet = SkinStyleSheet();
  for (const char* selector : {"QCheckBox", "QLineEdit", "QPushButton", "QProgressBar"})
    EXPECT_TRUE(sheet.contains(selector)) << selector;
}

TEST(Skin, SameLookWhateverTheDesktopPaletteWas) {
  // A dark desktop palette first; the skin replaces it.
  QPalette dark;
  dark.setColor(QPalette::Base, QColor(20, 20, 20));
  dark.setColor(QPalette::Text, QColor(240, 240, 240));
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  QApplication::setPalette(dark);
  ApplySkin(*qApp);
  QLineEdit edit;
  edit.setText("123");
  edit.resize(70, 22);
  const QImage shot = Shot(edit);
  // the field's inside is white, whatever the desktop gave
  EXPECT_EQ(At(shot, 60, 11), 0xFFFFFFu);
  EXPECT_EQ(QApplication::palette().color(QPalette::Base), QColor(255, 255, 255));
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(99, 101, 156));
  qApp->setStyleSheet(QString());
}

namespace {

// The standard controls on the work area's colour, as the window lays them out.
struct Sample {
  QWidget area;
  QCheckBox *on, *off, *offDisabled;
  QLineEdit *edit, *editDisabled;
  QPushButton* button;
  QScrollBar* scroll;
  QProgressBar* progress;
  Sample() {
    area.resize(360, 200);
    area.setAutoFillBackground(true);
    QPalette p = area.palette();
    p.setColor(QPalette::Window, QColor(99, 101, 156));
    area.setPalette(p);
    on = new QCheckBox("Constrain Proportions", &area);
    on->setChecked(true);
    on->setGeometry(10, 10, 170, 17);
    off = new QCheckBox("Crop the source  (Pixels)", &area);
    off->setGeometry(10, 32, 170, 17);
    offDisabled = new QCheckBox("Disabled", &area);
    offDisabled->setEnabled(false);
    offDisabled->setChecked(true);
    offDisabled->setGeometry(10, 54, 170, 17);
    edit = new QLineEdit("320", &area);
    edit->setGeometry(200, 10, 70, 22);
    editDisabled = new QLineEdit("0", &area);
    editDisabled->setEnabled(false);
    editDisabled->setGeometry(200, 40, 70, 22);
    button = new QPushButton("OK", &area);
    button->setGeometry(200, 72, 75, 28);
    scroll = new QScrollBar(Qt::Horizontal, &area);
    scroll->setGeometry(10, 120, 340, 16);
    scroll->setRange(0, 100);
    scroll->setValue(30);
    progress = new QProgressBar(&area);
    progress->setGeometry(10, 150, 340, 20);
    progress->setRange(0, 100);
    progress->setValue(40);
  }
};

}  // namespace

TEST(Skin, StandardControlsDrawInTheSkinsColours) {
  ApplySkin(*qApp);
  Sample s;
  s.area.show();
  QCoreApplication::processEvents();
  const QImage shot = Shot(s.area);
  if (const QByteArray dir = qgetenv("CLIPSMITH_SHOT_DIR"); !dir.isEmpty())
    shot.save(QString::fromLocal8Bit(dir) + "/skin-sample.png");
  // The enabled field is white inside, the disabled one grey-blue.
  EXPECT_EQ(At(shot, 260, 21), 0xFFFFFFu);
  EXPECT_EQ(At(shot, 260, 51), qRgb(201, 203, 220) & 0xFFFFFFu);
  // The progress chunk is blue over its first 40%, the groove darker after it.
  const QColor chunk = QColor::fromRgb(shot.pixel(60, 160)), groove = QColor::fromRgb(shot.pixel(320, 160));
  EXPECT_GT(chunk.blue(), chunk.red() + 40);
  EXPECT_LT(groove.value(), chunk.value());
  // The ticked box is light with a dark blue mark; the unticked one has no mark.
  auto darkInBox = [&](int top) {
    int dark = 0;
    for (int x = 13; x < 22; ++x)
      for (int y = top + 4; y < top + 13; ++y) dark += QColor::fromRgb(shot.pixel(x, y)).lightness() < 110;
    return dark;
  };
  EXPECT_GT(darkInBox(10), 4);
  EXPECT_EQ(darkInBox(32), 0);
  // The check box texts are light on the blue area.
  int light = 0;
  for (int x = 30; x < 170; ++x)
    for (int y = 10; y < 27; ++y) light += QColor::fromRgb(shot.pixel(x, y)).lightness() > 200;
  EXPECT_GT(light, 20);
  qApp->setStyleSheet(QString());
}

TEST(Skin, DialogsStayReadable) {
  // Message boxes and the file dialogs are white with dark text; nothing in them may come out
  // light on white.
  ApplySkin(*qApp);
  QMessageBox box(QMessageBox::Warning, "Warning", "Error input, only accept integer!", QMessageBox::Ok);
  box.show();
  QFileDialog files(nullptr, "Specify GIF file name", QDir::tempPath(), "GIF Image (*.gif)");
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setAcceptMode(QFileDialog::AcceptSave);
  files.resize(640, 420);
  files.show();
  QCoreApplication::processEvents();
  const QImage boxShot = Shot(box), filesShot = Shot(files);
  if (const QByteArray dir = qgetenv("CLIPSMITH_SHOT_DIR"); !dir.isEmpty()) {
    boxShot.save(QString::fromLocal8Bit(dir) + "/skin-messagebox.png");
    filesShot.save(QString::fromLocal8Bit(dir) + "/skin-filedialog.png");
  }
  for (QWidget* w : files.findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    const QColor fg = w->palette().color(w->foregroundRole()), bg = w->palette().color(w->backgroundRole());
    if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)) {
      EXPECT_GT(std::abs(fg.lightness() - bg.lightness()), 90) << w->metaObject()->className() << " "
                                                                << w->objectName().toStdString();
    }
  }
  qApp->setStyleSheet(QString());
}
