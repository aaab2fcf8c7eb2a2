#include "art/art.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace clipsmith::art {

TPicture Picture(const char* resource) {
  TPicture picture;
  picture.LoadFromFile(QString::fromUtf8(resource));
  return picture;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/art/icons/hicolor/%1x%1/apps/clipsmith.png").arg(size), QSize(size, size));
  return icon;
}

QString HelpPagePath() {
  const QString name = QStringLiteral("csm-help.html");
  QStringList places;
  if (QCoreApplication::instance())
    places << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(CLIPSMITH_BIN_TO_DATA));
  places << QStringLiteral(CLIPSMITH_BUILD_DATA_DIR);
  for (const QString& dir : places) {
    const QFileInfo page(QDir(dir).filePath(name));
    if (page.isFile()) return page.canonicalFilePath();
  }
  return {};
}

std::vector<std::uint8_t> Bytes(const char* resource) {
  QFile file(QString::fromUtf8(resource));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return {data.begin(), data.end()};
}

}  // namespace clipsmith::art
