#include "app/message_boxes.h"

#include <QMessageBox>

namespace clipsmith {

namespace {

void Show(QWidget* owner, QMessageBox::Icon icon, const std::string& text, const std::string& caption) {
  QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

void ShowErrorBox(QWidget* owner, const std::string& text, const std::string& caption) {
  Show(owner, QMessageBox::Critical, text, caption);
}

void ShowWarningBox(QWidget* owner, const std::string& text, const std::string& caption) {
  Show(owner, QMessageBox::Warning, text, caption);
}

}  // namespace clipsmith
