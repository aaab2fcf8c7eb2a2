// The skin: the style sheet is in the resources and the palette does not follow the desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>

#include "controls/skin.h"
#include "controls_test_support.h"

using namespace clipsmith;
using namespace clipsmith::testing;

TEST(Skin, StyleSheetCoversTheStandardControls) {
  const QString sheet = SkinStyleSheet();
  for (const char* selector : {"QCheckBox", "QLineEdit", "QPushButton", "QScrollBar", "QProgressBar"})
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
