#pragma once

#include <filesystem>
#include <vector>

#include "qt/QtFormDialog.h"

class QLabel;
class QTreeWidget;

namespace quorle {

class TfrmPickDir;

// The view of the split folder form: a folder tree from the root down to the current folder and
// the folders inside it. A double-click makes a folder current; a single click only highlights.
// New Folder asks for a name and makes that folder, which becomes the current one.
class QtPickDirDialog : public QtFormDialog {
  Q_OBJECT

 public:
  QtPickDirDialog(TfrmPickDir& logic, QWidget* parent);

 private:
  void Redraw();

  TfrmPickDir& logic_;
  QLabel* lblPath = nullptr;
  QTreeWidget* lbSplitDir = nullptr;
  // The folders the tree shows, indexed by each item's data.
  std::vector<std::filesystem::path> folders_;
};

}  // namespace quorle
