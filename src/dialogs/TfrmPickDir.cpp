#include "dialogs/TfrmPickDir.h"

#include <algorithm>

namespace quorle {

namespace fs = std::filesystem;

TfrmPickDir::TfrmPickDir(TMainState& state, fs::path start) : state_(state) {
  Caption = "Select Directory";
  std::error_code ec;
  current_ = fs::weakly_canonical(fs::absolute(start, ec), ec);
  if (ec || !fs::is_directory(current_, ec)) current_ = fs::current_path(ec);
}

std::vector<fs::path> TfrmPickDir::Folders() const {
  std::vector<fs::path> folders;
  for (fs::path p = current_;; p = p.parent_path()) {
    folders.push_back(p);
    if (p == p.parent_path()) break;
  }
  std::reverse(folders.begin(), folders.end());
  std::vector<fs::path> inside;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(current_, ec)) {
    std::error_code dirEc;
    if (entry.is_directory(dirEc)) inside.push_back(entry.path());
  }
  std::sort(inside.begin(), inside.end());
  folders.insert(folders.end(), inside.begin(), inside.end());
  return folders;
}

void TfrmPickDir::lbSplitDirDblClick(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) current_ = fs::weakly_canonical(folder, ec);
}

std::string TfrmPickDir::btnNewFolderClick(const std::string& name) {
  // One folder inside the current one: no path, nothing hidden that a name would not show.
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
    return "\"" + name + "\" is no folder name";
  }
  const fs::path folder = current_ / name;
  std::error_code ec;
  if (fs::exists(folder, ec)) return folder.string() + " already exists";
  if (!fs::create_directory(folder, ec)) {
    return "Cannot create " + folder.string() + ": " + ec.message();
  }
  current_ = folder;
  return "";
}

std::string TfrmPickDir::lblPathText(std::size_t maxChars) const {
  const std::string full = current_.string();
  if (full.size() <= maxChars || maxChars < 4) return full;
  // Keep the end, where the folder's own name is.
  return "..." + full.substr(full.size() - (maxChars - 3));
}

void TfrmPickDir::btnOKClick() {
  state_.SplitFolder = current_.string();
}

}  // namespace quorle
