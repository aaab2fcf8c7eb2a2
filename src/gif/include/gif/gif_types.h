// Shared vocabulary of the GIF codec: enumerations, the exception, the event slots and the
// program's fixed messages.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "graphics/bitmap.h"

namespace clipsmith {

enum class TGIFVersion { gvUnknown, gv87a, gv89a };
enum class TGIFSeverity { gsInfo, gsWarning, gsError };
enum class TGIFAnimationLoop { glDisabled, glEnabled, glContinously };
enum class TGIFDithering { gdDisabled, gdEnabled, gdAuto };
enum class TColorReduction : std::uint8_t {
  rmNone,
  rmWindows20,
  rmWindows256,
  rmWindowsGray,
  rmMonochrome,
  rmGrayScale,
  rmNetscape,
  rmQuantize,
  rmQuantizeWindows,
  rmPalette
};
enum class TDitherMode : std::uint8_t {
  dmNearest,
  dmFloydSteinberg,
  dmStucki,
  dmSierra,
  dmJaJuNI,
  dmSteveArche,
  dmBurkes
};
enum class TProgressStage { psStarting, psRunning, psEnding };

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

// Every hard error of the codec.
class GIFException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The generic object base: senders of warnings and progress are identified by it.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
};

using TGIFWarning = std::function<void(TPersistent* Sender, TGIFSeverity Severity, const std::string& Msg)>;
using TProgressEvent = std::function<void(TPersistent* Sender, TProgressStage Stage, int PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;
using TNotifyEvent = std::function<void(TPersistent* Sender)>;

// The codec's texts.
namespace gifmsg {
inline constexpr const char* sBadTrailer = "Invalid Image trailer";
inline constexpr const char* sOutOfData = "Premature end of data";
inline constexpr const char* sTooManyColors = "Color table overflow";
inline constexpr const char* sBadColorIndex = "Invalid color index";
inline constexpr const char* sBadColorIndexExpanded = "Invalid color index - color map expanded";
inline constexpr const char* sEmptyColorMap = "Color table is empty";
inline constexpr const char* sBadSignature = "Invalid GIF signature";
inline constexpr const char* sUnknownExtension = "Unknown extension type";
inline constexpr const char* sBadExtensionLabel = "Invalid extension introducer";
inline constexpr const char* sOutOfMemDIB = "Failed to allocate memory for GIF DIB";
inline constexpr const char* sDecodeTooFewBits = "Decoder bit buffer under-run";
inline constexpr const char* sDecodeCircular = "Circular decoder table entry";
inline constexpr const char* sBadExtensionInstance = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* sBadBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* sBadBlock = "Unknown GIF block type";
inline constexpr const char* sUnsupportedClass = "Object type not supported for operation";
inline constexpr const char* sInvalidData = "Invalid GIF data";
inline constexpr const char* sScreenSizeExceeded = "Image exceeds Logical Screen size";
inline constexpr const char* sNoColorTable = "No global or local color table defined";
inline constexpr const char* sBadPixelCoordinates = "Invalid pixel coordinates";
inline constexpr const char* sInvalidPixelFormat = "Unsupported PixelFormat";
inline constexpr const char* sBadDimension = "Invalid image dimensions";
inline constexpr const char* sNoDIB = "Image has no DIB";
inline constexpr const char* sInvalidStream = "Invalid stream operation";
inline constexpr const char* sInvalidColor = "Color not in color table";
inline constexpr const char* sInvalidBitSize = "Invalid Bits Per Pixel value";
inline constexpr const char* sEmptyImage = "Image is empty";
inline constexpr const char* sInvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* sBadImageSize = "Invalid image size";
inline constexpr const char* sNoFrames = "Cannot save empty GIF";
inline constexpr const char* sMultipleGCE = "Frame contains multiple Graphic Control Extension blocks";
inline constexpr const char* sInvalidPalette = "Missing, invalid or empty palette";
inline constexpr const char* sProgressLoading = "Loading";
inline constexpr const char* sProgressSaving = "Saving";
inline constexpr const char* sProgressConverting = "Converting";
inline constexpr const char* sProgressCopying = "Copying";
}  // namespace gifmsg

}  // namespace clipsmith
