// TSkImgBtn: the owner-drawn picture button. Everything visible comes from its pictures: one
// state image (disabled, normal, hover, pressed) taken as a band of a strip, or one picture per
// state. It can latch (hold-down) and reports a click on every release of the left button.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "controls/picture.h"

namespace clipsmith {

class TSkImgBtn : public QWidget {
 public:
  using TNotifyEvent = std::function<void(TSkImgBtn* sender)>;
  using TMouseEvent = std::function<void(TSkImgBtn* sender, Qt::MouseButton button, QPoint pos)>;
  // The message-level hooks, called on enter/leave before the state changes.
  using TOnMouseEvent = std::function<void(QEvent& msg)>;

  // The four bands of a strip, top to bottom.
  enum TBand { bandDisabled = 0, bandNormal = 1, bandHover = 2, bandPressed = 3 };

  explicit TSkImgBtn(QWidget* parent = nullptr);
  ~TSkImgBtn() override;

  // Stored, never drawn.
  QString Caption;

  bool Down() const { return FDown; }
  // Only a hold-down button takes it; for others writing Down does nothing.
  void SetDown(bool value);
  bool HoldDown() const { return FHoldDown; }
  void SetHoldDown(bool value) { FHoldDown = value; }
  bool Holding() const { return FHolding; }
  bool MouseIn() const { return FMouseIn; }

  // A button being designed never changes state from the mouse.
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool value) { FDesigning = value; }

  // The strip (four button heights tall) and the per-state pictures used without a strip. The
  // setters copy the given picture.
  const TPicture& Pic() const { return FPic; }
  const TPicture& PicDisable() const { return FPicDisable; }
  const TPicture& PicNormal() const { return FPicNormal; }
  const TPicture& PicMouseOver() const { return FPicMouseOver; }
  const TPicture& PicMouseDown() const { return FPicMouseDown; }
  void SetPic(const TPicture& value) { FPic.Assign(value); }
  void SetPicDisable(const TPicture& value) { FPicDisable.Assign(value); }
  void SetPicNormal(const TPicture& value) { FPicNormal.Assign(value); }
  void SetPicMouseOver(const TPicture& value) { FPicMouseOver.Assign(value); }
  void SetPicMouseDown(const TPicture& value) { FPicMouseDown.Assign(value); }

  // The state the next paint shows, by the painting table.
  TBand CurrentBand() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TOnMouseEvent FOnMouseEnter;
  TOnMouseEvent FOnMouseLeave;

 protected:
  virtual void Paint(QPainter& canvas);

  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool Reacts() const { return !FDesigning && isEnabled(); }

  bool FMouseIn = false;
  bool FHolding = false;
  bool FDown = false;
  bool FHoldDown = false;
  bool FDesigning = false;
  TPicture FPic, FPicDisable, FPicNormal, FPicMouseOver, FPicMouseDown;
};

}  // namespace clipsmith
