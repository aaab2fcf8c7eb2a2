// Draws every picture of the program into a folder at build time: the tiles, the button strips,
// the about picture, the dialog pictures, the chain GIF and the icons. With --sheet FILE it also
// writes one PNG showing them all, enlarged, for a look at them side by side.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <cstdio>
#include <map>
#include <string>

#include "chain_gif.h"
#include "controls/gif_graphic.h"
#include "gloss.h"
#include "pictures.h"

using namespace artgen;

namespace {

bool Save(const QImage& img, const QString& path) {
  if (!img.save(path, "PNG")) {
    std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Contact sheet: every picture at twice its size on a neutral grey, with its name, the strips
// also on the colour they sit on.
QImage ContactSheet(const std::vector<std::pair<QString, QImage>>& items) {
  const int scale = 2, pad = 12, width = 1400;
  int x = pad, y = pad, rowH = 0;
  std::vector<QRect> at;
  for (const auto& [name, img] : items) {
    const int w = std::max(img.width() * scale, 120), h = img.height() * scale + 16;
    if (x + w > width - pad) {
      x = pad;
      y += rowH + pad;
      rowH = 0;
    }
    at.emplace_back(x, y, w, h);
    x += w + pad;
    rowH = std::max(rowH, h);
  }
  QImage sheet(width, y + rowH + pad, QImage::Format_ARGB32);
  sheet.fill(QColor(150, 150, 150));
  QPainter p(&sheet);
  p.setFont(ArtFont(11, false));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const QRect r = at[i];
    p.setPen(Qt::black);
    p.drawText(r.left(), r.top() + 11, items[i].first);
    p.drawImage(QRect(r.left(), r.top() + 16, items[i].second.width() * scale, items[i].second.height() * scale),
                items[i].second);
  }
  return sheet;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: clipsmith-artgen OUTDIR [--sheet FILE]\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QString sheetFile;
  for (int i = 2; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--sheet") sheetFile = QString::fromLocal8Bit(argv[i + 1]);
  QDir().mkpath(out);

  std::vector<std::pair<QString, QImage>> pictures = {
      {"toolbar-tile.png", ToolBarTile()},
      {"band-tile.png", BandTile()},
      {"statusbar-tile.png", StatusBarTile()},
      {"btn-open.png", ToolStrip(Glyph::Open)},
      {"btn-email.png", ToolStrip(Glyph::Mail)},
      {"btn-website.png", ToolStrip(Glyph::Web)},
      {"btn-help.png", ToolStrip(Glyph::Help)},
      {"btn-about.png", ToolStrip(Glyph::About)},
      {"btn-makegif.png", MakeGIFStrip()},
      {"player-open.png", PlayerStrip(Glyph::Open)},
      {"player-play.png", PlayerStrip(Glyph::Play)},
      {"player-pause.png", PlayerStrip(Glyph::Pause)},
      {"player-stop.png", PlayerStrip(Glyph::Stop)},
      {"player-smstart.png", PlayerStrip(Glyph::MarkStart)},
      {"player-smstop.png", PlayerStrip(Glyph::MarkEnd)},
      {"player-nextframe.png", PlayerStrip(Glyph::NextFrame)},
      {"about.png", AboutPicture()},
      {"warning.png", WarningTriangle()},
      {"mark-start.png", MarkButtonPicture(Glyph::MarkStart)},
      {"mark-end.png", MarkButtonPicture(Glyph::MarkEnd)},
  };
  bool ok = true;
  for (const auto& [name, img] : pictures) ok = Save(img, out + "/" + name) && ok;

  const std::vector<QImage> chain = ChainFrames();
  const std::vector<std::uint8_t> gif = ChainGIF(chain, 25);
  QFile gifFile(out + "/chain.gif");
  if (!gifFile.open(QIODevice::WriteOnly) ||
      gifFile.write(reinterpret_cast<const char*>(gif.data()), qint64(gif.size())) != qint64(gif.size())) {
    std::fprintf(stderr, "artgen: cannot write chain.gif\n");
    ok = false;
  }
  gifFile.close();

  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString dir = out + QString("/icons/hicolor/%1x%1/apps").arg(size);
    QDir().mkpath(dir);
    const QImage icon = AppIcon(size);
    ok = Save(icon, dir + "/clipsmith.png") && ok;
    pictures.emplace_back(QString("icon %1").arg(size), icon);
  }

  if (!sheetFile.isEmpty()) {
    // The chain as our own reader reads it back, on the colour it sits on.
    auto read = clipsmith::LoadGIFFromBytes(gif);
    for (int k = 0; k < read->Images().Count(); ++k) {
      QImage on(24, 25, QImage::Format_ARGB32);
      on.fill(kWorkArea);
      QPainter(&on).drawImage(0, 0, clipsmith::GIFFrameToImage(*read, k));
      pictures.emplace_back(QString("chain.gif %1").arg(k), on);
    }
    ok = Save(ContactSheet(pictures), sheetFile) && ok;
  }
  return ok ? 0 : 1;
}
