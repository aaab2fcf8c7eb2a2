// Replacing a file the user named without ever leaving it damaged.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "graphics/stream.h"

namespace clipsmith::detail {

// Writes bytes to a temporary file beside fileName and renames it over fileName once every byte
// is on disk. Errors name fileName, not the temporary file. With followLink a symbolic link is
// followed, so the file it points at is replaced; without, the link itself is replaced. An
// existing file keeps its permissions.
void ReplaceFileWith(const std::string& fileName, std::span<const std::uint8_t> bytes, bool followLink = true);
// The same with the bytes written by write as they come. An error that write raises removes the
// temporary file and reaches the caller as it was.
void ReplaceFileWith(const std::string& fileName, const std::function<void(TStream&)>& write, bool followLink = true);

}  // namespace clipsmith::detail
