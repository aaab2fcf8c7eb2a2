#include "art/art.h"

#include <QFile>

namespace clipsmith::art {

TPicture Picture(const char* resource) {
  TPicture picture;
  picture.LoadFromFile(QString::fromUtf8(resource));
  return picture;
}

std::vector<std::uint8_t> Bytes(const char* resource) {
  QFile file(QString::fromUtf8(resource));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return {data.begin(), data.end()};
}

}  // namespace clipsmith::art
