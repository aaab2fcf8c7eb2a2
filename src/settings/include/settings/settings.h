// The per-user settings store: one TSettings object that is read from an enciphered file when
// the program starts and written back when it is destroyed at exit.
//
// File layout: the property stream ("TPF0", class name, object name, the stored string
// properties, two end bytes), zero-padded to whole AES blocks and enciphered with AES-256-ECB
// under the payload key, followed by a 32-character hexadecimal trailer that holds the stream's
// length, enciphered with AES-256-CBC under the trailer key and IV.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace clipsmith {

using TAESKey256 = std::array<std::uint8_t, 32>;
using TAESBlock = std::array<std::uint8_t, 16>;

// Fixed for the program: a file is readable only by a build with the same three values.
extern const TAESKey256 SettingsPayloadKey;
extern const TAESKey256 SettingsTrailerKey;
extern const TAESBlock SettingsTrailerIV;

// "No Settings File", "Invalid buffer size for serialization" and damaged property streams.
class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Type bytes of string values in the property stream.
enum class TValueType : std::uint8_t {
  vaString = 6,       // ASCII, at most 255 bytes: 1 length byte
  vaLString = 12,     // ASCII, longer: 4-byte length
  vaWString = 18,     // UTF-16LE: 4-byte count of UTF-16 units
  vaUTF8String = 20,  // UTF-8 that is shorter than its UTF-16 form: 4-byte byte count
};

// The type a string value is written with (the value must not be empty: empty values are not
// written at all). Text that is not valid UTF-8 is kept byte for byte as vaUTF8String.
TValueType StringValueType(const std::string& utf8);

// A stored string property as the property stream sees it.
struct TStringProperty {
  const char* Name;
  std::string* Value;
};

// Files larger than this are not settings files; they are not even read.
inline constexpr std::size_t MaxSettingsFileSize = 16u << 20;

class TCustomSettings {
 public:
  TCustomSettings(const TAESKey256& key, std::string settingsFileName);
  virtual ~TCustomSettings() = default;
  TCustomSettings(const TCustomSettings&) = delete;
  TCustomSettings& operator=(const TCustomSettings&) = delete;

  const std::string& SettingsFileName() const { return FSettingsFileName; }

  // Raises ESettingsError("No Settings File") for an empty file name; any other failure (file
  // unreadable, too short, other keys, bad length, damaged stream, unknown property) resets the
  // properties to their defaults silently.
  void ReadSettingsFromFile();
  // Replaces the file atomically: a failed write leaves the old file as it was. Raises
  // ESettingsError("No Settings File") for an empty file name and stream errors when the file
  // cannot be written.
  void WriteSettingsToFile();

  // The plain property stream of the stored properties, and reading one into the object
  // (raises on any damage; properties read before the damage keep their new values).
  std::vector<std::uint8_t> SaveToPropertyStream();
  void LoadFromPropertyStream(std::span<const std::uint8_t> stream);

  virtual void ReadSettingsDefaultValue() = 0;

 protected:
  virtual std::string ClassName() const = 0;
  // Stored properties in declaration order.
  virtual std::vector<TStringProperty> StoredProperties() = 0;
  // Virtual calls do not reach a derived class from a base constructor, so the most derived
  // constructor calls this at its end: reads the file when it exists, else takes the defaults.
  void LoadSettings();

 private:
  std::string FSettingsFileName;
  TAESKey256 FAESKey;
};

class TSettings : public TCustomSettings {
 public:
  // With the program's payload key.
  explicit TSettings(std::string settingsFileName);
  TSettings(const TAESKey256& key, std::string settingsFileName);
  // Writes the file. A file that cannot be written at exit is given up on: there is nobody left
  // to tell, and the program must still end cleanly.
  ~TSettings() override;

  void ReadSettingsDefaultValue() override;
  // Empties GIFFileName and zeroes the rectangle and size; AVIFileName stays.
  void ClearGIFTempParameter();

  // Stored: folders of the last opened video and the last saved GIF.
  std::string OpenAVIPath;
  std::string SaveGIFPath;

  // Transient parameters of the running conversion, never stored.
  std::string AVIFileName;  // file name of the loaded video, without folder
  std::string GIFFileName;  // full path of the GIF being written
  int XSrc = 0;
  int YSrc = 0;
  int SrcW = 0;
  int SrcH = 0;
  int DstW = 0;
  int DstH = 0;

 protected:
  std::string ClassName() const override { return "TSettings"; }
  std::vector<TStringProperty> StoredProperties() override;
};

// ---- Location and the program-wide instance ----

inline constexpr const char* CreateDirErrorText = "Create directory error! Please contact the author!";
inline constexpr const char* CreateDirErrorCaption = "Error";

// Shows an error to the user; the application routes it to an error box.
using TSettingsErrorHandler = std::function<void(const std::string& text, const std::string& caption)>;
// The default: one line on stderr.
void PrintSettingsError(const std::string& text, const std::string& caption);

// The per-user application-data folder: $XDG_CONFIG_HOME (when set to an absolute path), else
// $HOME/.config, else the user's home from the password database + /.config, else the program's
// own folder.
std::filesystem::path SettingsBaseDir();

// Makes <base>/Velmora/csm/ and returns it with a final '/'. The base folder itself is made when
// missing; each of the two levels that cannot be made raises onError once with
// CreateDirErrorText / CreateDirErrorCaption, and the path is returned all the same.
std::string MakeSettingsDir(const std::filesystem::path& base, const TSettingsErrorHandler& onError);
std::string MakeSettingsDir(const TSettingsErrorHandler& onError);

inline constexpr const char* SettingsFileTitle = "csm.dat";

// Owns the program-wide TSettings for the whole run: constructing it makes the settings folder
// and reads the file (or takes the defaults); destroying it destroys the settings, which writes
// the file. Create it after the application object and before any window; destroy it after the
// windows are gone. Only one may exist at a time.
class TSettingsModule {
 public:
  explicit TSettingsModule(TSettingsErrorHandler onError = PrintSettingsError);
  ~TSettingsModule();
  TSettingsModule(const TSettingsModule&) = delete;
  TSettingsModule& operator=(const TSettingsModule&) = delete;

  TSettings& Settings() { return *FSettings; }

 private:
  std::unique_ptr<TSettings> FSettings;
};

// The program-wide settings object; raises std::logic_error when no TSettingsModule exists.
TSettings& Settings();
bool HasSettings();

}  // namespace clipsmith
