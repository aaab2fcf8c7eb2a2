// Replacing a file the user named without ever leaving it damaged.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace clipsmith::detail {

// Writes bytes to a temporary file beside fileName and renames it over fileName once every byte
// is on disk. Errors name fileName, not the temporary file. With followLink a symbolic link is
// followed, so the file it points at is replaced; without, the link itself is replaced. An
// existing file keeps its permissions.
void ReplaceFileWith(const std::string& fileName, std::span<const std::uint8_t> bytes, bool followLink = true);

}  // namespace clipsmith::detail
