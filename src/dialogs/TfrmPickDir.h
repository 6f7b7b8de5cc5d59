#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/TMainState.h"
#include "dialogs/Dialog.h"

namespace quorle {

// The folder a bank split writes into: "Select Directory". A folder becomes current by a
// double-click, or by making it with New Folder; a single click only highlights it, and OK takes
// the current one.
class TfrmPickDir : public Dialog {
 public:
  explicit TfrmPickDir(TMainState& state,
                       std::filesystem::path start = std::filesystem::current_path());

  // The folders from the root down to the current one, then the folders inside it.
  std::vector<std::filesystem::path> Folders() const;
  void lbSplitDirDblClick(const std::filesystem::path& folder);
  // Makes the folder name inside the current one, which it then becomes. Empty when done, else
  // why not, and nothing changes.
  std::string btnNewFolderClick(const std::string& name);
  // The current folder as lblPath shows it: shortened with an ellipsis beyond maxChars.
  std::string lblPathText(std::size_t maxChars) const;
  void btnOKClick();

  const std::filesystem::path& CurrentFolder() const { return current_; }
  const std::string Label1 = "Select the directory where the split files will be saved";

 private:
  TMainState& state_;
  std::filesystem::path current_;
};

}  // namespace quorle
