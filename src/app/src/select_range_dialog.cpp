#include "app/select_range_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "art/art.h"
#include "controls/image_panel.h"
#include "controls/skin.h"

namespace clipsmith {

namespace {

QLabel* Text(QWidget* parent, const char* name, const char* text, int x, int y) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFont(SkinFont(12));
  l->setStyleSheet("QLabel { color: #101226; background: transparent; }");
  l->adjustSize();
  l->move(x, y);
  return l;
}

TSkImgPanel* Image(QWidget* parent, const char* name, const char* picture, int x, int y) {
  auto* p = new TSkImgPanel(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->SetPicture(art::Picture(picture));
  p->SetTransparent(true);
  p->setGeometry(x, y, p->Picture().Width(), p->Picture().Height());
  return p;
}

}  // namespace

TFormSelectRangeError::TFormSelectRangeError(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("FormSelectRangeError");
  setWindowTitle("Error");
  setFixedSize(359, 181);
  setFont(SkinFont(12));

  const int lower = 56;
  PanelTop = new QWidget(this);
  PanelTop->setObjectName("PanelTop");
  PanelTop->setGeometry(0, 0, 359, 181 - lower);
  PanelTop->setStyleSheet("QWidget#PanelTop { background: #ffffff; }");
  PanelTop->setAttribute(Qt::WA_StyledBackground);
  PanelBottom = new QWidget(this);
  PanelBottom->setObjectName("PanelBottom");
  PanelBottom->setGeometry(0, 181 - lower, 359, lower);
  PanelBottom->setStyleSheet("QWidget#PanelBottom { background: #eceef6; border-top: 1px solid #c9ccdf; }");
  PanelBottom->setAttribute(Qt::WA_StyledBackground);

  ImageWarning = Image(PanelTop, "ImageWarning", art::kWarning, 24, 32);
  Label1 = Text(PanelTop, "Label1", "Please use the button", 64, 40);
  ImageStart = Image(PanelTop, "ImageStart", art::kMarkStart, 192, 36);
  Label2 = Text(PanelTop, "Label2", "and", 228, 40);
  ImageEnd = Image(PanelTop, "ImageEnd", art::kMarkEnd, 254, 36);
  Label3 = Text(PanelTop, "Label3", "to select", 288, 40);
  Label4 = Text(PanelTop, "Label4", "the range of video to convert.", 64, 67);

  Button1 = new QPushButton("OK", PanelBottom);
  Button1->setObjectName("Button1");
  Button1->setGeometry(272, 15, 75, 28);
  Button1->setDefault(true);
  QObject::connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TFormSelectRangeError::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Centred on its owner.
  if (QWidget* owner = parentWidget())
    move(owner->window()->frameGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}

}  // namespace clipsmith
