// The about box: the about picture with the version on it, borderless; a click closes it.
#pragma once

#include <QDialog>

class QLabel;

namespace clipsmith {

class TSkImgPanel;

class Tformabout : public QDialog {
 public:
  explicit Tformabout(QWidget* owner = nullptr);

  TSkImgPanel* panel_help;
  QLabel* lb_version;

  void FormShow();
  void panel_helpClick() { close(); }

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace clipsmith
