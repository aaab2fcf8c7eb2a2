#include "controls/skin.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

#include "controls/skin_style.h"

// The skin's resources live in this static library; they are registered once, on first use.
static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace clipsmith {

QPalette SkinPalette() {
  const QColor window(99, 101, 156), text(16, 18, 38), light(255, 255, 255);
  QPalette p;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Window, window);
    p.setColor(group, QPalette::WindowText, QColor(216, 228, 248));
    p.setColor(group, QPalette::Base, light);
    p.setColor(group, QPalette::AlternateBase, QColor(234, 238, 250));
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::Button, QColor(109, 116, 196));
    p.setColor(group, QPalette::ButtonText, light);
    p.setColor(group, QPalette::Highlight, QColor(74, 95, 176));
    p.setColor(group, QPalette::HighlightedText, light);
    p.setColor(group, QPalette::ToolTipBase, QColor(238, 242, 255));
    p.setColor(group, QPalette::ToolTipText, text);
    p.setColor(group, QPalette::PlaceholderText, QColor(110, 112, 140));
    p.setColor(group, QPalette::Light, QColor(193, 200, 246));
    p.setColor(group, QPalette::Midlight, QColor(150, 156, 220));
    p.setColor(group, QPalette::Mid, QColor(70, 75, 143));
    p.setColor(group, QPalette::Dark, QColor(46, 49, 96));
    p.setColor(group, QPalette::Shadow, QColor(20, 22, 50));
    p.setColor(group, QPalette::Link, QColor(143, 180, 255));
  }
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(158, 163, 196));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(106, 108, 132));
  p.setColor(QPalette::Disabled, QPalette::Base, QColor(201, 203, 220));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(196, 198, 216));
  return p;
}

QString SkinStyleSheet() {
  InitSkinResources();
  QFile file(QStringLiteral(":/skin/aqua.qss"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QString SkinFontFamily() {
  static const QString family = [] {
    const QString tahoma = QStringLiteral("Tahoma");
    if (QFontDatabase::hasFamily(tahoma)) return tahoma;
    // Wine ships a free Tahoma with the same metrics outside the fonts fontconfig knows.
    for (const char* dir : {"/usr/share/wine/fonts/", "/usr/lib/wine/fonts/"}) {
      const QString base = QString::fromLatin1(dir);
      if (QFontDatabase::addApplicationFont(base + "tahoma.ttf") >= 0) {
        QFontDatabase::addApplicationFont(base + "tahomabd.ttf");
        if (QFontDatabase::hasFamily(tahoma)) return tahoma;
      }
    }
    return QStringLiteral("DejaVu Sans");
  }();
  return family;
}

QFont SkinFont(int pixelHeight, bool bold) {
  QFont f(SkinFontFamily());
  f.setPixelSize(pixelHeight);
  f.setBold(bold);
  return f;
}

void ApplySkin(QApplication& app) {
  app.setStyle(new TAquaStyle);
  app.setPalette(SkinPalette());
  app.setStyleSheet(SkinStyleSheet());
  app.setFont(SkinFont(11));
}

}  // namespace clipsmith
