#include "settings_test_support.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "settings/settings.h"

namespace settings_test {

namespace fs = std::filesystem;

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const fs::path& p, const Bytes& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "csm-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

namespace {

Bytes Aes(const EVP_CIPHER* cipher, bool encrypt, const std::uint8_t* key, const std::uint8_t* iv, const Bytes& in) {
  std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, iv, encrypt);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  Bytes out(in.size() + 16);
  int n = 0, fin = 0;
  EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size()));
  EVP_CipherFinal_ex(ctx.get(), out.data() + n, &fin);
  out.resize(std::size_t(n + fin));
  return out;
}

}  // namespace

Deciphered Decipher(const Bytes& file) {
  Deciphered d;
  EXPECT_GE(file.size(), 32u);
  EXPECT_EQ((file.size() - 32) % 16, 0u);
  if (file.size() < 32 || (file.size() - 32) % 16 != 0) return d;
  Bytes body(file.begin(), file.end() - 32);
  std::string hex(file.end() - 32, file.end());
  for (char c : hex) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << "trailer character " << c;
  Bytes cipher;
  for (int i = 0; i < 16; ++i) cipher.push_back(std::uint8_t(std::stoi(hex.substr(std::size_t(2 * i), 2), nullptr, 16)));
  d.Plain = Aes(EVP_aes_256_ecb(), false, clipsmith::SettingsPayloadKey.data(), nullptr, body);
  Bytes t = Aes(EVP_aes_256_cbc(), false, clipsmith::SettingsTrailerKey.data(), clipsmith::SettingsTrailerIV.data(), cipher);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(t[std::size_t(2 * i + 1)], 0) << "trailer text is UTF-16LE";
    d.Trailer += char(t[std::size_t(2 * i)]);
  }
  d.Length = std::stoull(d.Trailer, nullptr, 16);
  return d;
}

Bytes Encipher(const Bytes& stream, std::optional<std::u16string> lengthText) {
  if (!lengthText) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", unsigned(stream.size()));
    lengthText = std::u16string(digits, digits + 8);
  }
  Bytes padded = stream;
  padded.resize((stream.size() + 15) / 16 * 16, 0);
  Bytes file = Aes(EVP_aes_256_ecb(), true, clipsmith::SettingsPayloadKey.data(), nullptr, padded);
  Bytes plain;
  for (char16_t c : *lengthText) {
    plain.push_back(std::uint8_t(c));
    plain.push_back(std::uint8_t(c >> 8));
  }
  Bytes cipher = Aes(EVP_aes_256_cbc(), true, clipsmith::SettingsTrailerKey.data(), clipsmith::SettingsTrailerIV.data(), plain);
  static const char hex[] = "0123456789ABCDEF";
  for (std::uint8_t b : cipher) {
    file.push_back(std::uint8_t(hex[b >> 4]));
    file.push_back(std::uint8_t(hex[b & 15]));
  }
  return file;
}

StreamBuilder& StreamBuilder::Raw(std::string_view s) {
  Out.insert(Out.end(), s.begin(), s.end());
  return *this;
}
StreamBuilder& StreamBuilder::Byte(std::uint8_t b) {
  Out.push_back(b);
  return *this;
}
StreamBuilder& StreamBuilder::U32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) Out.push_back(std::uint8_t(v >> (8 * i)));
  return *this;
}
StreamBuilder& StreamBuilder::Short(std::string_view s) { return Byte(std::uint8_t(s.size())).Raw(s); }
StreamBuilder& StreamBuilder::Header() { return Raw("TPF0").Short("TSettings").Short(""); }
StreamBuilder& StreamBuilder::Utf16(std::u16string_view s) {
  for (char16_t c : s) Byte(std::uint8_t(c)).Byte(std::uint8_t(c >> 8));
  return *this;
}

}  // namespace settings_test
