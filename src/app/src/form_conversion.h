// The window's side of the conversion: the host and the option values the job reads, over the
// form's host slots, fields and components.
#pragma once

#include "app/conversion_job.h"

namespace clipsmith {

class TFormMain;

class TFormConversion final : public IConversionHost, public IConversionValues {
 public:
  explicit TFormConversion(TFormMain& form) : Form(form) {}

  // IConversionHost
  TSettings& Settings() override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;
  void ShowWarningBox(const std::string& text, const std::string& caption) override;
  void ShowRangeError() override;
  std::optional<std::string> AskSaveFileName(const std::string& initialDir, const std::string& initialName) override;
  bool AskPreview() override;
  void ShowProgress(int min, int max) override;
  void SetProgress(int position) override;
  void HideProgress() override;
  void SetBusy(bool busy) override;
  void ShowPlayButton() override;
  void ConfigureBuilder(TSkGIF& gif) override;
  void FrameCaptured(int frames) override;
  void JobEnded(bool written) override;

  // IConversionValues: the fields' texts, read as the number conversion reads them.
  int FrameStep() override;
  bool Crop() override;
  int CropLeft() override;
  int CropTop() override;
  int CropWidth() override;
  int CropHeight() override;
  bool Resize() override;
  int ResizeWidth() override;
  int ResizeHeight() override;
  int Loops() override;
  int Delay() override;
  unsigned SourceWidth() override;
  unsigned SourceHeight() override;

 private:
  TFormMain& Form;
};

}  // namespace clipsmith
