#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <system_error>

#include "cipher.h"
#include "graphics/stream.h"
#include "text.h"

namespace clipsmith {

// Random bytes, drawn once; changing any of them makes every existing settings file unreadable.
const TAESKey256 SettingsPayloadKey = {
    0xaf, 0x79, 0x4a, 0x67, 0x68, 0x23, 0x5f, 0x14, 0xd2, 0x93, 0xce, 0xc2, 0x76, 0x0b, 0xa6, 0x79,
    0x36, 0xab, 0x14, 0x62, 0x72, 0x92, 0x8e, 0xac, 0x7f, 0x8a, 0x92, 0xe5, 0x82, 0x97, 0x9d, 0x94};
const TAESKey256 SettingsTrailerKey = {
    0xf5, 0x04, 0x64, 0xf3, 0x91, 0x60, 0x26, 0x1b, 0x29, 0xfa, 0x06, 0xd8, 0x01, 0xc3, 0xc2, 0x75,
    0x4b, 0x97, 0x20, 0x30, 0xf5, 0x2a, 0x4b, 0xe1, 0xe8, 0x30, 0x37, 0xe7, 0xef, 0x7e, 0xb3, 0xaa};
const TAESBlock SettingsTrailerIV = {
    0xc3, 0x56, 0xaf, 0x82, 0xe2, 0xdc, 0x6e, 0x6e, 0x94, 0x2a, 0x45, 0xab, 0xdf, 0xf5, 0xc7, 0xf2};

namespace {

constexpr std::size_t TrailerSize = 32;
constexpr char Signature[4] = {'T', 'P', 'F', '0'};

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

void WriteU32(TStream& s, std::uint64_t v) {
  if (v > 0xFFFFFFFFu) throw ESettingsError("Property value too long");
  std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  s.WriteBuffer(b, 4);
}

void WriteShortString(TStream& s, std::string_view text) {
  if (text.size() > 255) throw ESettingsError("Name too long");
  s.WriteByte(std::uint8_t(text.size()));
  s.WriteBuffer(text.data(), text.size());
}

void WriteStringValue(TStream& s, const std::string& value) {
  TValueType type = StringValueType(value);
  s.WriteByte(std::uint8_t(type));
  switch (type) {
    case TValueType::vaString:
      s.WriteByte(std::uint8_t(value.size()));
      s.WriteBuffer(value.data(), value.size());
      break;
    case TValueType::vaLString:
    case TValueType::vaUTF8String:
      WriteU32(s, value.size());
      s.WriteBuffer(value.data(), value.size());
      break;
    case TValueType::vaWString: {
      std::u16string units = *settings_text::Utf8ToUtf16(value);
      WriteU32(s, units.size());
      for (char16_t u : units) {
        std::uint8_t b[2] = {std::uint8_t(u), std::uint8_t(u >> 8)};
        s.WriteBuffer(b, 2);
      }
      break;
    }
  }
}

std::uint8_t ReadByte(TStream& s) {
  std::uint8_t b;
  s.ReadBuffer(&b, 1);
  return b;
}

std::uint32_t ReadU32(TStream& s) {
  std::uint8_t b[4];
  s.ReadBuffer(b, 4);
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

// count bytes, after checking that the stream still holds them: a length read from the file is
// never used to size anything before that.
std::string ReadBytes(TStream& s, std::uint64_t count) {
  if (count > std::uint64_t(s.Size() - s.Position())) throw EReadError("Stream read error");
  std::string out(count, '\0');
  s.ReadBuffer(out.data(), out.size());
  return out;
}

std::string ReadShortString(TStream& s) { return ReadBytes(s, ReadByte(s)); }

// Single-byte strings come from writers that used a Windows code page; Latin-1 is the nearest
// reading that never fails.
std::string AnsiToUtf8(std::string bytes) {
  return IsAscii(bytes) ? bytes : settings_text::Latin1ToUtf8(bytes);
}

std::string ReadStringValue(TStream& s) {
  switch (ReadByte(s)) {
    case std::uint8_t(TValueType::vaString):
      return AnsiToUtf8(ReadShortString(s));
    case std::uint8_t(TValueType::vaLString):
      return AnsiToUtf8(ReadBytes(s, ReadU32(s)));
    case std::uint8_t(TValueType::vaUTF8String):
      return ReadBytes(s, ReadU32(s));
    case std::uint8_t(TValueType::vaWString): {
      std::string raw = ReadBytes(s, std::uint64_t(ReadU32(s)) * 2);
      std::u16string units(raw.size() / 2, u'\0');
      for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(static_cast<unsigned char>(raw[2 * i]) | static_cast<unsigned char>(raw[2 * i + 1]) << 8);
      return settings_text::Utf16ToUtf8(units);
    }
    default:
      throw ESettingsError("Invalid property value");
  }
}

std::size_t RoundUpToBlock(std::uint64_t n) { return std::size_t((n + 15) / 16 * 16); }

int HexDigit(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The length as 8 upper-case hex digits in UTF-16LE, one CBC block, then as 32 hex characters.
std::vector<std::uint8_t> MakeTrailer(std::uint64_t length) {
  if (length > 0xFFFFFFFFu) throw ESettingsError("Settings too large");
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08X", unsigned(length));
  std::vector<std::uint8_t> plain(16, 0);
  for (int i = 0; i < 8; ++i) plain[2 * i] = std::uint8_t(digits[i]);
  std::vector<std::uint8_t> cipher = settings_cipher::CbcEncrypt(SettingsTrailerKey, SettingsTrailerIV, plain);
  static const char hex[] = "0123456789ABCDEF";
  std::vector<std::uint8_t> out;
  for (std::uint8_t b : cipher) {
    out.push_back(std::uint8_t(hex[b >> 4]));
    out.push_back(std::uint8_t(hex[b & 15]));
  }
  return out;
}

std::uint64_t ParseTrailer(std::span<const std::uint8_t> text) {
  std::vector<std::uint8_t> cipher(16);
  for (std::size_t i = 0; i < 16; ++i) {
    int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) throw ESettingsError("Invalid settings trailer");
    cipher[i] = std::uint8_t(hi << 4 | lo);
  }
  std::vector<std::uint8_t> plain = settings_cipher::CbcDecrypt(SettingsTrailerKey, SettingsTrailerIV, cipher);
  std::uint64_t length = 0;
  for (int i = 0; i < 8; ++i) {
    int d = plain[2 * i + 1] == 0 ? HexDigit(plain[2 * i]) : -1;
    if (d < 0) throw ESettingsError("Invalid settings trailer");
    length = length << 4 | std::uint64_t(d);
  }
  return length;
}

}  // namespace

TValueType StringValueType(const std::string& utf8) {
  if (IsAscii(utf8)) return utf8.size() <= 255 ? TValueType::vaString : TValueType::vaLString;
  std::optional<std::u16string> units = settings_text::Utf8ToUtf16(utf8);
  // Bytes that are no UTF-8 have no UTF-16 form; kept as they are, they still read back equal.
  if (!units) return TValueType::vaUTF8String;
  return utf8.size() < 2 * units->size() ? TValueType::vaUTF8String : TValueType::vaWString;
}

// ---- TCustomSettings ----

TCustomSettings::TCustomSettings(const TAESKey256& key, std::string settingsFileName)
    : FSettingsFileName(std::move(settingsFileName)), FAESKey(key) {}

void TCustomSettings::LoadSettings() {
  std::error_code ec;
  if (!FSettingsFileName.empty() && std::filesystem::exists(FSettingsFileName, ec))
    ReadSettingsFromFile();
  else
    ReadSettingsDefaultValue();
}

std::vector<std::uint8_t> TCustomSettings::SaveToPropertyStream() {
  TMemoryStream s;
  s.WriteBuffer(Signature, sizeof Signature);
  WriteShortString(s, ClassName());
  WriteShortString(s, "");  // the settings object has no name
  for (const TStringProperty& p : StoredProperties()) {
    if (p.Value->empty()) continue;
    WriteShortString(s, p.Name);
    WriteStringValue(s, *p.Value);
  }
  s.WriteByte(0);  // end of properties
  s.WriteByte(0);  // end of child objects
  return s.Bytes();
}

void TCustomSettings::LoadFromPropertyStream(std::span<const std::uint8_t> stream) {
  TMemoryStream s(std::vector<std::uint8_t>(stream.begin(), stream.end()));
  char sig[4];
  s.ReadBuffer(sig, 4);
  if (std::memcmp(sig, Signature, 4) != 0) throw ESettingsError("Invalid stream format");
  ReadShortString(s);  // class name: the object being read is already known
  ReadShortString(s);  // object name
  std::vector<TStringProperty> props = StoredProperties();
  for (;;) {
    std::string name = ReadShortString(s);
    if (name.empty()) break;
    TStringProperty* target = nullptr;
    for (TStringProperty& p : props)
      if (SameNameIgnoringCase(p.Name, name)) target = &p;
    if (!target) throw ESettingsError("Error reading " + ClassName() + "." + name + ": Property " + name + " does not exist");
    *target->Value = ReadStringValue(s);
  }
  if (ReadByte(s) != 0) throw ESettingsError("Invalid stream format");  // the settings have no children
}

void TCustomSettings::ReadSettingsFromFile() {
  if (FSettingsFileName.empty()) throw ESettingsError("No Settings File");
  try {
    namespace fs = std::filesystem;
    // Only a regular file of a plausible size is read: a FIFO would block and a huge file
    // would only be loaded to be thrown away.
    if (!fs::is_regular_file(FSettingsFileName) || fs::file_size(FSettingsFileName) > MaxSettingsFileSize)
      throw ESettingsError("Not a settings file");
    std::vector<std::uint8_t> bytes = ReadWholeFile(FSettingsFileName);
    if (bytes.size() < TrailerSize || bytes.size() > MaxSettingsFileSize) throw ESettingsError("Not a settings file");
    std::span<const std::uint8_t> all(bytes);
    std::span<const std::uint8_t> body = all.first(bytes.size() - TrailerSize);
    std::vector<std::uint8_t> plain = settings_cipher::EcbDecrypt(FAESKey, body);  // raises for partial blocks
    std::uint64_t length = ParseTrailer(all.last(TrailerSize));
    // The length must account for exactly the blocks present.
    if (length > plain.size() || RoundUpToBlock(length) != plain.size())
      throw ESettingsError("Invalid settings length");
    LoadFromPropertyStream(std::span<const std::uint8_t>(plain).first(std::size_t(length)));
  } catch (const std::exception&) {
    ReadSettingsDefaultValue();
  }
}

void TCustomSettings::WriteSettingsToFile() {
  if (FSettingsFileName.empty()) throw ESettingsError("No Settings File");
  std::vector<std::uint8_t> stream = SaveToPropertyStream();
  const std::uint64_t length = stream.size();
  if (RoundUpToBlock(length) + TrailerSize > MaxSettingsFileSize) throw ESettingsError("Settings too large");
  std::vector<std::uint8_t> trailer = MakeTrailer(length);
  stream.resize(RoundUpToBlock(length), 0);
  std::vector<std::uint8_t> file = settings_cipher::EcbEncrypt(FAESKey, stream);
  file.insert(file.end(), trailer.begin(), trailer.end());
  WriteFileAtomically(FSettingsFileName, file);
}

// ---- TSettings ----

TSettings::TSettings(std::string settingsFileName) : TSettings(SettingsPayloadKey, std::move(settingsFileName)) {}

TSettings::TSettings(const TAESKey256& key, std::string settingsFileName)
    : TCustomSettings(key, std::move(settingsFileName)) {
  LoadSettings();
}

TSettings::~TSettings() {
  // A settings object without a file (the command-line converter's) lives in memory only.
  if (SettingsFileName().empty()) return;
  try {
    WriteSettingsToFile();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Clipsmith: the settings were not saved: %s\n", e.what());
  }
}

std::vector<TStringProperty> TSettings::StoredProperties() {
  return {{"OpenAVIPath", &OpenAVIPath}, {"SaveGIFPath", &SaveGIFPath}};
}

void TSettings::ReadSettingsDefaultValue() {
  OpenAVIPath.clear();
  SaveGIFPath.clear();
}

void TSettings::ClearGIFTempParameter() {
  GIFFileName.clear();
  XSrc = YSrc = SrcW = SrcH = DstW = DstH = 0;
}

}  // namespace clipsmith
