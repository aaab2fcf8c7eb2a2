#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "settings/settings.h"

namespace clipsmith {

namespace fs = std::filesystem;

namespace {

TSettings* gSettings = nullptr;

// A settings folder holds the user's folder names: nobody else needs to read it.
constexpr mode_t FolderMode = 0700;

bool EnsureFolder(const fs::path& p) {
  std::error_code ec;
  if (fs::is_directory(p, ec)) return true;
  ::mkdir(p.c_str(), FolderMode);
  return fs::is_directory(p, ec);
}

// A fresh account may have no ~/.config yet; it is made quietly, level by level. When that
// fails, the first folder of our own below it fails too and the user is told there.
void EnsureBaseFolder(const fs::path& base) {
  fs::path p;
  for (const fs::path& part : base) {
    p /= part;
    if (!p.has_relative_path()) continue;  // the root
    if (!EnsureFolder(p)) return;
  }
}

fs::path NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? fs::path(v) : fs::path();
}

}  // namespace

void PrintSettingsError(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

fs::path SettingsBaseDir() {
  // A relative value is to be ignored, as if unset.
  fs::path xdg = NonEmptyEnv("XDG_CONFIG_HOME");
  if (xdg.is_absolute()) return xdg;
  fs::path home = NonEmptyEnv("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) home = pw->pw_dir;
  }
  if (!home.empty()) return home / ".config";
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.has_parent_path()) return exe.parent_path();
  return fs::current_path(ec);
}

std::string MakeSettingsDir(const fs::path& base, const TSettingsErrorHandler& onError) {
  auto report = [&] {
    if (onError)
      onError(CreateDirErrorText, CreateDirErrorCaption);
    else
      PrintSettingsError(CreateDirErrorText, CreateDirErrorCaption);
  };
  EnsureBaseFolder(base);
  fs::path path = base / "Velmora";
  if (!EnsureFolder(path)) report();
  path /= "csm";
  if (!EnsureFolder(path)) report();
  return path.string() + "/";
}

std::string MakeSettingsDir(const TSettingsErrorHandler& onError) { return MakeSettingsDir(SettingsBaseDir(), onError); }

TSettingsModule::TSettingsModule(TSettingsErrorHandler onError) {
  if (gSettings) throw std::logic_error("The settings module is already running");
  FSettings = std::make_unique<TSettings>(SettingsPayloadKey, MakeSettingsDir(onError) + SettingsFileTitle);
  gSettings = FSettings.get();
}

TSettingsModule::~TSettingsModule() {
  gSettings = nullptr;
  FSettings.reset();  // writes the file
}

TSettings& Settings() {
  if (!gSettings) throw std::logic_error("The settings module is not running");
  return *gSettings;
}

bool HasSettings() { return gSettings != nullptr; }

}  // namespace clipsmith
