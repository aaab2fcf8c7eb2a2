#include "form_conversion.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>

#include "app/main_window.h"

namespace clipsmith {

namespace {
std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
}  // namespace

TSettings& TFormConversion::Settings() { return Form.Settings(); }

void TFormConversion::ShowErrorBox(const std::string& text, const std::string& caption) {
  Form.Host.ShowErrorBox(text, caption);
}

void TFormConversion::ShowWarningBox(const std::string& text, const std::string& caption) {
  Form.Host.ShowWarningBox(text, caption);
}

void TFormConversion::ShowRangeError() { Form.Host.ShowRangeError(); }

std::optional<std::string> TFormConversion::AskSaveFileName(const std::string& initialDir,
                                                            const std::string& initialName) {
  return Form.Host.AskSaveFileName(initialDir, initialName);
}

bool TFormConversion::AskPreview() { return Form.Host.AskPreview(); }

void TFormConversion::ShowProgress(int min, int max) {
  Form.ProgressBar1->show();
  Form.ProgressBar1->setMaximum(max);
  Form.ProgressBar1->setMinimum(min);
}

void TFormConversion::SetProgress(int position) { Form.ProgressBar1->setValue(position); }

void TFormConversion::HideProgress() { Form.ProgressBar1->hide(); }

void TFormConversion::SetBusy(bool busy) {
  if (Form.Host.SetBusyCursor) Form.Host.SetBusyCursor(busy);
}

void TFormConversion::ShowPlayButton() { Form.ShowPlayButton(); }

void TFormConversion::ConfigureBuilder(TSkGIF& gif) {
  // "256 grayscale GIF image": the greys instead of the octree palette.
  gif.SetGrayScale(Form.CheckBoxGray->isChecked());
  if (Form.Host.ConfigureBuilder) Form.Host.ConfigureBuilder(gif);
}

void TFormConversion::FrameCaptured(int frames) {
  if (Form.Host.FrameCaptured) Form.Host.FrameCaptured(frames);
}

void TFormConversion::JobEnded(bool written) {
  if (Form.Host.JobEnded) Form.Host.JobEnded(written);
}

int TFormConversion::FrameStep() { return StrToIntDef(Text(Form.EditStep), TOptionDefaults::FrameStepFallback); }
bool TFormConversion::Crop() { return Form.CheckBoxCrop->isChecked(); }
int TFormConversion::CropLeft() { return StrToInt(Text(Form.EditLeft)); }
int TFormConversion::CropTop() { return StrToInt(Text(Form.EditTop)); }
int TFormConversion::CropWidth() { return StrToInt(Text(Form.EditCropW)); }
int TFormConversion::CropHeight() { return StrToInt(Text(Form.EditCropH)); }
bool TFormConversion::Resize() { return Form.CheckboxResize->isChecked(); }
int TFormConversion::ResizeWidth() { return StrToInt(Text(Form.EditGIFW)); }
int TFormConversion::ResizeHeight() { return StrToInt(Text(Form.EditGIFH)); }
int TFormConversion::Loops() { return StrToIntDef(Text(Form.EditLooping), TOptionDefaults::LoopsFallback); }
int TFormConversion::Delay() { return StrToIntDef(Text(Form.EditDelay), TOptionDefaults::DelayFallback); }
unsigned TFormConversion::SourceWidth() { return Form.SourceVideoWidth; }
unsigned TFormConversion::SourceHeight() { return Form.SourceVideoHeight; }

}  // namespace clipsmith
