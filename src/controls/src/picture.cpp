#include "controls/picture.h"

#include <QFile>
#include <QPainter>
#include <vector>

#include "controls/gif_graphic.h"

namespace clipsmith {

void TPicture::SetGraphic(QImage graphic) {
  FGraphic = std::move(graphic);
  Changed();
}

void TPicture::Assign(const TPicture& source) {
  if (&source == this) return;
  FGraphic = source.FGraphic;
  FTransparent = source.FTransparent;
  Changed();
}

void TPicture::Clear() {
  FGraphic = QImage();
  Changed();
}

bool TPicture::LoadFromFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  QImage image;
  if (bytes.startsWith("GIF8")) {
    try {
      auto gif = LoadGIFFromBytes({reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
      image = GIFFrameToImage(*gif, 0);
    } catch (const std::exception&) {
      return false;
    }
  } else if (!image.loadFromData(bytes)) {
    return false;
  }
  if (image.isNull()) return false;
  SetGraphic(std::move(image));
  return true;
}

void TPicture::SetGraphicTransparent(bool value) {
  if (FTransparent == value) return;
  FTransparent = value;
  Changed();
}

void TPicture::Draw(QPainter& painter, int x, int y) const {
  if (!HasGraphic()) return;
  if (FTransparent || !FGraphic.hasAlphaChannel())
    painter.drawImage(x, y, FGraphic);
  else
    painter.drawImage(x, y, FGraphic.convertToFormat(QImage::Format_RGB32));
}

void TPicture::StretchDraw(QPainter& painter, const QRect& rect) const {
  if (!HasGraphic()) return;
  if (FTransparent || !FGraphic.hasAlphaChannel())
    painter.drawImage(rect, FGraphic);
  else
    painter.drawImage(rect, FGraphic.convertToFormat(QImage::Format_RGB32));
}

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace clipsmith
