#include "cipher.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace clipsmith::settings_cipher {

namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::vector<std::uint8_t> Run(const EVP_CIPHER* cipher, bool encrypt, const TAESKey256& key, const std::uint8_t* iv,
                              std::span<const std::uint8_t> data) {
  if (data.size() % 16 != 0) throw ESettingsError("Invalid buffer size for serialization");
  if (data.size() > std::size_t(INT_MAX)) throw ESettingsError("Settings too large");
  std::vector<std::uint8_t> out(data.size());
  if (data.empty()) return out;
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  int len = 0, fin = 0;
  bool ok = ctx && EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv, encrypt ? 1 : 0) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1 &&
            EVP_CipherUpdate(ctx.get(), out.data(), &len, data.data(), int(data.size())) == 1 &&
            EVP_CipherFinal_ex(ctx.get(), out.data() + len, &fin) == 1 && std::size_t(len + fin) == data.size();
  if (!ok) throw ESettingsError("Cipher error");
  return out;
}

}  // namespace

std::vector<std::uint8_t> EcbEncrypt(const TAESKey256& key, std::span<const std::uint8_t> data) {
  return Run(EVP_aes_256_ecb(), true, key, nullptr, data);
}
std::vector<std::uint8_t> EcbDecrypt(const TAESKey256& key, std::span<const std::uint8_t> data) {
  return Run(EVP_aes_256_ecb(), false, key, nullptr, data);
}
std::vector<std::uint8_t> CbcEncrypt(const TAESKey256& key, const TAESBlock& iv, std::span<const std::uint8_t> data) {
  return Run(EVP_aes_256_cbc(), true, key, iv.data(), data);
}
std::vector<std::uint8_t> CbcDecrypt(const TAESKey256& key, const TAESBlock& iv, std::span<const std::uint8_t> data) {
  return Run(EVP_aes_256_cbc(), false, key, iv.data(), data);
}

}  // namespace clipsmith::settings_cipher
