#include "controls/image_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace clipsmith {

TSkImgBtn::TSkImgBtn(QWidget* parent) : QWidget(parent) {
  // Opaque: the paint covers the whole button, so the platform need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setGeometry(0, 0, 80, 25);
  const auto repaint = [this](TPicture*) { update(); };
  FPic.OnChange = repaint;
  FPicDisable.OnChange = repaint;
  FPicNormal.OnChange = repaint;
  FPicMouseOver.OnChange = repaint;
  FPicMouseDown.OnChange = repaint;
}

TSkImgBtn::~TSkImgBtn() = default;

void TSkImgBtn::SetDown(bool value) {
  if (!FHoldDown) return;
  FHolding = value;
  FDown = value;
  update();
}

TSkImgBtn::TBand TSkImgBtn::CurrentBand() const {
  if (!isEnabled()) return bandDisabled;
  if (FDown) return bandPressed;
  if (FMouseIn) return bandHover;
  return bandNormal;
}

void TSkImgBtn::Paint(QPainter& canvas) {
  // The base painting: the parent's colour, for whatever the pictures leave uncovered.
  canvas.fillRect(rect(), palette().color(backgroundRole()));
  const TBand band = CurrentBand();
  if (FPic.HasGraphic()) {
    // A plain copy of the band: the strip's pixels replace what is there, alpha and all.
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(QPoint(0, 0), FPic.Graphic(), QRect(0, int(band) * height(), width(), height()));
    canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return;
  }
  const TPicture* pics[] = {&FPicDisable, &FPicNormal, &FPicMouseOver, &FPicMouseDown};
  pics[band]->Draw(canvas, 0, 0);
}

void TSkImgBtn::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  Paint(canvas);
}

void TSkImgBtn::enterEvent(QEnterEvent* event) {
  if (OnMouseEnter) OnMouseEnter(this);
  if (!Reacts()) return;
  if (FOnMouseEnter) FOnMouseEnter(*event);
  FMouseIn = true;
  update();
}

void TSkImgBtn::leaveEvent(QEvent* event) {
  if (OnMouseLeave) OnMouseLeave(this);
  if (!Reacts()) return;
  if (FOnMouseLeave) FOnMouseLeave(*event);
  FMouseIn = false;
  update();
}

void TSkImgBtn::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && Reacts()) {
    if (FHoldDown) FHolding = !FHolding;
    FDown = true;
    update();
  }
  if (OnMouseDown) OnMouseDown(this, event->button(), event->position().toPoint());
}

void TSkImgBtn::mouseReleaseEvent(QMouseEvent* event) {
  // Qt grabs the mouse for the widget a press began on, so the release arrives here wherever
  // the pointer is, and the click fires with it.
  if (event->button() == Qt::LeftButton && Reacts()) {
    if (!FHolding) FDown = false;
    update();
    if (OnClick) OnClick(this);
  }
  if (OnMouseUp) OnMouseUp(this, event->button(), event->position().toPoint());
}

void TSkImgBtn::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TSkImgBtn::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void TSkImgBtn::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

}  // namespace clipsmith
