// Helpers for the settings tests: temporary folders and a second,
// independent reading and writing of the enciphered file straight through libcrypto, so the
// tests do not check our cipher code against itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace settings_test {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view s);
Bytes ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const Bytes& bytes);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

 private:
  std::filesystem::path FPath;
};

struct Deciphered {
  Bytes Plain;          // every deciphered byte of the stream part, padding included
  std::string Trailer;  // the trailer's deciphered text, UTF-16LE narrowed (empty when not that)
  std::uint64_t Length = 0;  // the trailer's number
};

// Deciphers a settings file with the program's keys; fails the current test on a malformed file.
Deciphered Decipher(const Bytes& file);

// Enciphers stream as a settings file whose trailer says lengthText (8 characters; by default
// the stream's length as 8 upper-case hex digits).
Bytes Encipher(const Bytes& stream, std::optional<std::u16string> lengthText = std::nullopt);

// Property stream helpers for building expected bytes.
struct StreamBuilder {
  Bytes Out;
  StreamBuilder& Raw(std::string_view s);
  StreamBuilder& Byte(std::uint8_t b);
  StreamBuilder& U32(std::uint32_t v);
  StreamBuilder& Short(std::string_view s);  // 1 length byte + bytes
  StreamBuilder& Header();                   // "TPF0", "TSettings", empty object name
  StreamBuilder& Utf16(std::u16string_view s);
};

}  // namespace settings_test
