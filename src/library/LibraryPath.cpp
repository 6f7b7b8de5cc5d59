#include <unistd.h>

#include <cstdlib>

#include "library/Library.h"

namespace quorle::library {

namespace fs = std::filesystem;

fs::path DefaultLibraryPath(const fs::path& appFolder) {
  constexpr const char* kName = "library.sqlite";
  const fs::path beside = appFolder / kName;
  std::error_code ec;
  if (fs::exists(beside, ec) && ::access(beside.c_str(), W_OK) == 0) return beside;
  // As with the settings: a copy run from its own folder keeps its library with it, an installed
  // one (programs in P/bin, data in P/share/quorle) never does.
  const bool installed = fs::is_directory(appFolder / ".." / "share" / "quorle", ec);
  if (!installed && ::access(appFolder.c_str(), W_OK) == 0) return beside;
  // Relative values are to be ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute()) {
    return fs::path(xdg) / "quorle" / kName;
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return fs::path(home) / ".local" / "share" / "quorle" / kName;
  }
  return beside;
}

}  // namespace quorle::library
