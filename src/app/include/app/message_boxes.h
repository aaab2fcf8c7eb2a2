// The two message boxes every part of the window uses: modal, one OK button, the owner's
// window as parent.
#pragma once

#include <string>

class QWidget;

namespace clipsmith {

void ShowErrorBox(QWidget* owner, const std::string& text, const std::string& caption);
void ShowWarningBox(QWidget* owner, const std::string& text, const std::string& caption);

}  // namespace clipsmith
