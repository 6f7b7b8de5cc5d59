#include "app/InstallLayout.h"

#include <unistd.h>

#include <cstdlib>

namespace quorle {

namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

fs::path ShareFolder(const fs::path& appFolder) {
  return (appFolder / ".." / "share" / "quorle").lexically_normal();
}

// The folder a user's files of one kind go into: the XDG variable, else the folder under home;
// empty when neither gives one.
fs::path UserHome(const char* xdgVariable, const char* underHome) {
  // Relative values are to be ignored.
  if (const char* xdg = std::getenv(xdgVariable); xdg && fs::path(xdg).is_absolute()) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / underHome;
  return {};
}

fs::path UserFileFor(const fs::path& appFolder, const char* name, const fs::path& userHome) {
  const fs::path beside = appFolder / name;
  if (Exists(beside) && ::access(beside.c_str(), W_OK) == 0) return beside;
  // Root may write anywhere, so an installed tree does not count as a portable copy.
  const bool portable = !IsInstalledLayout(appFolder) && ::access(appFolder.c_str(), W_OK) == 0;
  if (portable || userHome.empty()) return beside;
  return userHome / "quorle" / name;
}

}  // namespace

fs::path FindDataFile(const fs::path& appFolder, const std::string& name) {
  const fs::path beside = appFolder / name;
  if (Exists(beside)) return beside;
  const fs::path shared = ShareFolder(appFolder) / name;
  return Exists(shared) ? shared : beside;
}

bool IsInstalledLayout(const fs::path& appFolder) {
  std::error_code ec;
  return fs::is_directory(ShareFolder(appFolder), ec);
}

fs::path SettingsFileFor(const fs::path& appFolder) {
  return UserFileFor(appFolder, "quorle.ini", UserHome("XDG_CONFIG_HOME", ".config"));
}

fs::path LibraryFileFor(const fs::path& appFolder) {
  return UserFileFor(appFolder, "library.sqlite", UserHome("XDG_DATA_HOME", ".local/share"));
}

}  // namespace quorle
