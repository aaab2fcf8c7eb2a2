// UTF-8 and UTF-16 conversions for the property stream's string values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clipsmith::settings_text {

// UTF-16 code units of well-formed UTF-8, or nothing when the bytes are not well-formed
// (overlong forms, surrogates, values past U+10FFFF, cut sequences).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Each byte as the code point of the same value.
std::string Latin1ToUtf8(std::string_view latin1);

}  // namespace clipsmith::settings_text
