// The dialog Make GIF shows when no range is marked: it pictures the two mark buttons the
// user needs.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace clipsmith {

class TSkImgPanel;

class TFormSelectRangeError : public QDialog {
 public:
  explicit TFormSelectRangeError(QWidget* owner = nullptr);

  QWidget* PanelTop;
  QWidget* PanelBottom;
  TSkImgPanel* ImageWarning;
  TSkImgPanel* ImageStart;
  TSkImgPanel* ImageEnd;
  QLabel* Label1;  // "Please use the button"
  QLabel* Label2;  // "and"
  QLabel* Label3;  // "to select"
  QLabel* Label4;  // "the range of video to convert."
  QPushButton* Button1;

  void Button1Click() { close(); }

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace clipsmith
