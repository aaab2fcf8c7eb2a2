#include "replace_file.h"

#include <filesystem>
#include <system_error>

#include "graphics/stream.h"

namespace clipsmith::detail {

namespace fs = std::filesystem;

namespace {

// The system's reason at the end of a file-open message ("Cannot create file "x". Reason").
std::string ReasonOf(const std::string& message) {
  auto cut = message.rfind("\". ");
  return cut == std::string::npos ? message : message.substr(cut + 3);
}

}  // namespace

void ReplaceFileWith(const std::string& fileName, std::span<const std::uint8_t> bytes, bool followLink) {
  ReplaceFileWith(fileName, [bytes](TStream& out) { out.WriteBuffer(bytes.data(), bytes.size()); }, followLink);
}

void ReplaceFileWith(const std::string& fileName, const std::function<void(TStream&)>& write, bool followLink) {
  if (fileName.empty()) throw EFOpenError("Cannot create file \"\". No such file or directory");
  std::error_code ec;
  fs::path target(fileName);
  if (followLink && fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  // Renaming a file over a folder fails only after all the work; say so before.
  if (followLink ? fs::is_directory(target, ec) : fs::is_directory(fs::symlink_status(target, ec))) throw EFOpenError("Cannot create file \"" + fileName + "\". Is a directory");

  fs::file_status before = followLink ? fs::status(target, ec) : fs::symlink_status(target, ec);
  if (!followLink && fs::is_symlink(before)) before = fs::file_status();
  bool existed = !ec && fs::exists(before);

  try {
    WriteFileAtomically(target.string(), write);
  } catch (const EFOpenError& e) {
    throw EFOpenError("Cannot create file \"" + fileName + "\". " + ReasonOf(e.what()));
  } catch (const EWriteError& e) {
    throw EWriteError("Cannot write file \"" + fileName + "\". " + e.what());
  }

  // The new file was made with default permissions; the user's choice for the old one stays.
  if (existed) fs::permissions(target, before.permissions(), fs::perm_options::replace, ec);
}

}  // namespace clipsmith::detail
