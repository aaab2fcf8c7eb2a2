// Raw AES-256 over whole blocks, no padding, through libcrypto's EVP interface.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "settings/settings.h"

namespace clipsmith::settings_cipher {

// data.size() must be a multiple of 16.
std::vector<std::uint8_t> EcbEncrypt(const TAESKey256& key, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EcbDecrypt(const TAESKey256& key, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> CbcEncrypt(const TAESKey256& key, const TAESBlock& iv, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> CbcDecrypt(const TAESKey256& key, const TAESBlock& iv, std::span<const std::uint8_t> data);

}  // namespace clipsmith::settings_cipher
