// The picture object the image controls hold: at most one graphic, copied in by value, and a
// change notification for the control that owns it.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <functional>

#include "graphics/bitmap.h"

namespace clipsmith {

// 0x00BBGGRR to Qt's colour and back.
inline QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline TColor FromQColor(const QColor& c) { return RGBColor(std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())); }

class TPicture {
 public:
  TPicture() = default;
  // A copy takes the graphic but not the owner's change handler.
  TPicture(const TPicture& other) : FGraphic(other.FGraphic), FTransparent(other.FTransparent) {}
  TPicture& operator=(const TPicture& other) {
    Assign(other);
    return *this;
  }
  explicit TPicture(QImage graphic) { FGraphic = std::move(graphic); }

  // A graphic is held once an image of at least one pixel was given.
  bool HasGraphic() const { return !FGraphic.isNull(); }
  const QImage& Graphic() const { return FGraphic; }
  int Width() const { return FGraphic.width(); }
  int Height() const { return FGraphic.height(); }

  void SetGraphic(QImage graphic);
  void Assign(const TPicture& source);
  void Clear();
  // Any image format Qt reads (resources included); a GIF goes through our own reader. False,
  // and the picture unchanged, when the file cannot be read.
  bool LoadFromFile(const QString& fileName);

  // The graphic's own transparency: when false the graphic is drawn opaque, its alpha ignored.
  bool GraphicTransparent() const { return FTransparent; }
  void SetGraphicTransparent(bool value);

  // Draws the graphic with its top-left at (x, y), honouring the transparency flag.
  void Draw(class QPainter& painter, int x, int y) const;
  void StretchDraw(class QPainter& painter, const class QRect& rect) const;

  std::function<void(TPicture* sender)> OnChange;

 private:
  void Changed();
  QImage FGraphic;
  bool FTransparent = true;
};

}  // namespace clipsmith
