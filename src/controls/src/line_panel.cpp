#include "controls/line_panel.h"

#include <QPainter>

#include "controls/picture.h"

namespace clipsmith {

TSkLinePanel::TSkLinePanel(QWidget* parent) : QWidget(parent), FColor(RGBColor(240, 240, 240)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSkLinePanel::SetBorderColor(int index, TColor value) {
  if (index < 0 || index > 2) return;
  FBorderColor[std::size_t(index)] = value;
  update();
}

void TSkLinePanel::SetBorderWidth(int value) {
  FBorderWidth = std::max(0, value);
  update();
}

void TSkLinePanel::SetColor(TColor value) {
  FColor = value;
  update();
}

void TSkLinePanel::SetCaption(const QString& value) {
  FCaption = value;
  update();
}

void TSkLinePanel::Paint(QPainter& canvas) {
  // The plain panel: background and its border both in the panel colour, the caption centred.
  QRect r = rect();
  canvas.fillRect(r, ToQColor(FColor));
  if (!FCaption.isEmpty()) {
    canvas.setPen(palette().color(QPalette::WindowText));
    canvas.setFont(font());
    canvas.drawText(r.adjusted(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth),
                    Qt::AlignCenter | Qt::TextSingleLine, FCaption);
  }
  // Each line is the outermost ring of pixels of R, drawn as four one-pixel strips so that even
  // a panel one pixel wide or high gets its line.
  for (int line = 0; line < std::min(FBorderWidth, 3); ++line) {
    if (r.width() <= 0 || r.height() <= 0) break;
    const QColor c = ToQColor(FBorderColor[std::size_t(line)]);
    canvas.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    canvas.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    canvas.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    canvas.fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
    r.adjust(1, 1, -1, -1);
  }
}

void TSkLinePanel::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  Paint(canvas);
}

}  // namespace clipsmith
