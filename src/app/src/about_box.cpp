#include "app/about_box.h"

#include <QLabel>
#include <QScreen>
#include <QShowEvent>

#include "app/version.h"
#include "art/art.h"
#include "controls/image_panel.h"
#include "controls/skin.h"

namespace clipsmith {

Tformabout::Tformabout(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("formabout");
  setWindowTitle("About Clipsmith");
  setFixedSize(402, 252);
  setStyleSheet("Tformabout, QDialog#formabout { background: #ffffff; }");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  panel_help = new TSkImgPanel(this);
  panel_help->setObjectName("panel_help");
  panel_help->SetDrawStyle(TSkDrawStyle::suiNormal);
  panel_help->SetPicture(art::Picture(art::kAbout));
  panel_help->setGeometry(1, 1, 400, 250);
  panel_help->setCursor(Qt::PointingHandCursor);
  panel_help->OnClick = [this](QWidget*) { panel_helpClick(); };

  lb_version = new QLabel(panel_help);
  lb_version->setObjectName("lb_version");
  lb_version->setFont(SkinFont(11, true));
  lb_version->setStyleSheet("QLabel { color: #2a2e6e; background: transparent; }");
  lb_version->setAttribute(Qt::WA_TransparentForMouseEvents);
  lb_version->move(293, 62);
}

void Tformabout::FormShow() {
  lb_version->setText("Version:  " CLIPSMITH_VERSION);
  lb_version->adjustSize();
}

void Tformabout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Centred on the desktop, not on the window.
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  FormShow();
}

}  // namespace clipsmith
