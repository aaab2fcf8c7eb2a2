#include "controls/image_panel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

namespace clipsmith {

namespace {
// The platform's face colour, what a panel is filled with until it is given another.
constexpr TColor kButtonFace = RGBColor(240, 240, 240);
}  // namespace

TSkCustomPanel::TSkCustomPanel(QWidget* parent) : QWidget(parent), FColor(kButtonFace) {
  m_Picture.OnChange = [this](TPicture* sender) { PictureUpdated(sender); };
  // The paint covers every pixel; without an erase first there is nothing to flicker.
  setAttribute(Qt::WA_OpaquePaintEvent, !m_EraseBackground);
  setAttribute(Qt::WA_NoSystemBackground, !m_EraseBackground);
  update();
}

TSkCustomPanel::~TSkCustomPanel() { m_Picture.OnChange = nullptr; }

std::vector<QPoint> TSkCustomPanel::TilePositions(int picWidth, int picHeight, int clientWidth, int clientHeight) {
  std::vector<QPoint> out;
  if (picWidth <= 0 || picHeight <= 0) return out;
  for (int x = 0; x < picWidth + clientWidth; x += picWidth)
    for (int y = 0; y < picHeight + clientHeight; y += picHeight) out.emplace_back(x, y);
  return out;
}

void TSkCustomPanel::SetCaptionPos(int x, int y) {
  m_CaptionPosX = x;
  m_CaptionPosY = y;
  update();
}

void TSkCustomPanel::SetPicture(const TPicture& value) {
  m_Picture.Assign(value);
  FillClientArea();
  update();
}

void TSkCustomPanel::SetTransparent(bool value) {
  m_Transparent = value;
  if (m_Picture.HasGraphic()) SyncGraphicTransparency();
  update();
}

void TSkCustomPanel::SetAutoSize(bool value) {
  m_AutoSize = value;
  if (m_Picture.HasGraphic()) FitToPicture();
}

void TSkCustomPanel::SetDrawStyle(TSkDrawStyle value) {
  m_DrawStyle = value;
  FillClientArea();
  update();
}

void TSkCustomPanel::SetAlignment(TAlignment value) {
  FAlignment = value;
  update();
}

void TSkCustomPanel::SetCaption(const QString& value) {
  if (FCaption == value) return;
  FCaption = value;
  NoteCaptionArea(m_LastDrawCaptionRect);
  update();
}

void TSkCustomPanel::SetColor(TColor value) {
  FColor = value;
  update();
}

void TSkCustomPanel::FillClientArea() {
  // The panel is never hosted in a foreign window here, so there is nothing to fill ahead of the
  // next paint, which covers the client area itself.
}

void TSkCustomPanel::NoteCaptionArea(const QRect&) {}

void TSkCustomPanel::PictureUpdated(TPicture*) {
  if (m_Picture.HasGraphic()) {
    if (m_AutoSize) FitToPicture();
    SyncGraphicTransparency();
  }
  FillClientArea();
  update();
}

void TSkCustomPanel::FitToPicture() {
  if (!m_AutoSize) return;
  int w = width(), h = height();
  if (FAlign != TAlign::alTop && FAlign != TAlign::alBottom && FAlign != TAlign::alClient) w = m_Picture.Width();
  if (FAlign != TAlign::alLeft && FAlign != TAlign::alRight && FAlign != TAlign::alClient) h = m_Picture.Height();
  resize(w, h);
}

void TSkCustomPanel::SyncGraphicTransparency() {
  if (m_Picture.GraphicTransparent() != m_Transparent) {
    // Our own change handler would only repaint again; the callers repaint.
    auto handler = std::move(m_Picture.OnChange);
    m_Picture.SetGraphicTransparent(m_Transparent);
    m_Picture.OnChange = std::move(handler);
  }
}

void TSkCustomPanel::PaintParentBackground(QImage& target) {
  QWidget* parent = parentWidget();
  if (!parent) return;
  QPainter p(&target);
  p.save();
  // The parent's own painting (not its children, this panel among them) for the part under us.
  const QRect under = geometry().intersected(QRect(QPoint(0, 0), parent->size()));
  if (!under.isEmpty())
    parent->render(&p, under.topLeft() - pos(), QRegion(under), QWidget::DrawWindowBackground);
  p.restore();
}

void TSkCustomPanel::TilePicture(QPainter& canvas, const QRect& rect) {
  for (const QPoint& at : TilePositions(m_Picture.Width(), m_Picture.Height(), rect.width(), rect.height()))
    m_Picture.Draw(canvas, rect.left() + at.x(), rect.top() + at.y());
}

void TSkCustomPanel::Paint(QPainter& canvas) {
  const QRect client = rect();
  if (m_Picture.HasGraphic()) {
    switch (m_DrawStyle) {
      case TSkDrawStyle::suiStretch:
        m_Picture.StretchDraw(canvas, client);
        break;
      case TSkDrawStyle::suiTile:
        TilePicture(canvas, client);
        break;
      case TSkDrawStyle::suiNormal:
        m_Picture.Draw(canvas, 0, 0);
        break;
    }
  } else if (!m_Transparent) {
    canvas.fillRect(client, ToQColor(FColor));
  }
  canvas.setBrush(Qt::NoBrush);
  if (FCaption.trimmed().isEmpty()) return;
  canvas.setFont(font());
  canvas.setPen(palette().color(QPalette::WindowText));
  if (m_CaptionPosX == -1 || m_CaptionPosY == -1) {
    int flags = Qt::TextSingleLine | Qt::AlignVCenter;
    flags |= FAlignment == TAlignment::taLeftJustify    ? Qt::AlignLeft
             : FAlignment == TAlignment::taRightJustify ? Qt::AlignRight
                                                        : Qt::AlignHCenter;
    canvas.drawText(client, flags, FCaption);
    m_LastDrawCaptionRect = client;
  } else {
    const QRect from(m_CaptionPosX, m_CaptionPosY, std::max(0, client.width() - m_CaptionPosX),
                     std::max(0, client.height() - m_CaptionPosY));
    QRect drawn;
    canvas.drawText(from, Qt::TextSingleLine | Qt::AlignLeft | Qt::AlignTop, FCaption, &drawn);
    m_LastDrawCaptionRect = QRect(m_CaptionPosX, m_CaptionPosY, drawn.width(), drawn.height());
  }
}

void TSkCustomPanel::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
  buffer.fill(Qt::transparent);
  if (m_Transparent) PaintParentBackground(buffer);
  {
    QPainter canvas(&buffer);
    Paint(canvas);
  }
  QPainter screen(this);
  screen.drawImage(0, 0, buffer);
}

void TSkCustomPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize(this);
  update();
}

void TSkCustomPanel::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick) OnClick(this);
}

}  // namespace clipsmith
