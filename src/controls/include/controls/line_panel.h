// TSkLinePanel: a plain panel framed by up to three nested one-pixel lines in three colours; the
// number of lines is the panel's border width (at most three are drawn).
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "graphics/bitmap.h"

namespace clipsmith {

class TSkLinePanel : public QWidget {
 public:
  explicit TSkLinePanel(QWidget* parent = nullptr);

  TColor BorderColor1() const { return FBorderColor[0]; }
  TColor BorderColor2() const { return FBorderColor[1]; }
  TColor BorderColor3() const { return FBorderColor[2]; }
  void SetBorderColor1(TColor value) { SetBorderColor(0, value); }
  void SetBorderColor2(TColor value) { SetBorderColor(1, value); }
  void SetBorderColor3(TColor value) { SetBorderColor(2, value); }
  // Index 0, 1 or 2; others are ignored.
  void SetBorderColor(int index, TColor value);

  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& value);

 protected:
  virtual void Paint(QPainter& canvas);
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<TColor, 3> FBorderColor{clBlack, clBlack, clBlack};
  int FBorderWidth = 0;
  TColor FColor;
  QString FCaption;
};

}  // namespace clipsmith
