#include "app/InstallLayout.h"

#include <unistd.h>

#include <cstdlib>

namespace quorle {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSettingsName = "quorle.ini";

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

fs::path ShareFolder(const fs::path& appFolder) {
  return (appFolder / ".." / "share" / "quorle").lexically_normal();
}

// The folder a user's configuration goes into; empty when neither variable gives one.
fs::path ConfigHome() {
  // Relative values are to be ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && fs::path(xdg).is_absolute()) {
    return xdg;
  }
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config";
  return {};
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
  const fs::path beside = appFolder / kSettingsName;
  if (Exists(beside) && ::access(beside.c_str(), W_OK) == 0) return beside;
  // Root may write anywhere, so an installed tree does not count as a portable copy.
  const bool portable = !IsInstalledLayout(appFolder) && ::access(appFolder.c_str(), W_OK) == 0;
  const fs::path config = ConfigHome();
  if (portable || config.empty()) return beside;
  return config / "quorle" / kSettingsName;
}

}  // namespace quorle
