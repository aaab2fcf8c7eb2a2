// The conversion job: Make GIF starts it, and from then on every step-complete event of the
// graph counts or captures one frame and asks for the next step, until the seek bar reaches the
// end mark and the GIF is written. A chain of events, never a loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gifbuild/gif_builder.h"
#include "graphics/bitmap.h"

namespace clipsmith {

class TFormMain;

// The integer of a field as the number conversion reads it: optional blanks around an optional
// sign and decimal digits, within 32 bits. StrToInt raises EConvertError otherwise.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
int StrToInt(const std::string& text);
int StrToIntDef(const std::string& text, int fallback);

// The output file rule: a name whose lower-cased extension is not ".gif" gets ".gif" appended.
std::string WithGifExtension(const std::string& path);

class TConversionJob {
 public:
  explicit TConversionJob(TFormMain& form) : Form(form) {}

  void BtnMakeGIFClick();
  void FilterGraph1GraphStepComplete();
  void BtnPlayerNextFrameClick();
  void SeekToPosition(int position);
  bool GrabCurrentFrame(TBitmap& bitmap);
  // The player was reset: a running job ends without writing its GIF.
  void Reset();

  bool IsConverting = false;
  int StepCounter = 1;
  // Every builder made by a job lives until the window goes; Current is the newest.
  TSkGIF* Current() const { return FBuilders.empty() ? nullptr : FBuilders.back().get(); }
  int FramesCaptured() const { return FFrames; }

 private:
  void Finish();
  void CropAndScale(const TBitmap& grab, TBitmap& out) const;
  // The graph stands at the end of its data.
  bool AtEndOfStream() const;

  TFormMain& Form;
  std::vector<std::unique_ptr<TSkGIF>> FBuilders;
  int FFrames = 0;
};

}  // namespace clipsmith
