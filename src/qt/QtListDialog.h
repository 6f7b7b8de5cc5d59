#pragma once

#include "qt/QtFormDialog.h"

class QKeyEvent;
class QTableWidget;

namespace quorle {

class FormHost;
class TfrmList;

// The view of the rename grid: 128 names in 4 columns of 32, all visible at once. A double-click
// (or Enter) on a cell asks for the entry's new name through host, as the logic says.
class QtListDialog : public QtFormDialog {
  Q_OBJECT

 public:
  QtListDialog(TfrmList& logic, FormHost& host, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Redraw();
  // Escape over renamed entries: Send them (as OK), Discard them, or Cancel and stay in the grid.
  void AskBeforeLeaving();

  TfrmList& logic_;
  FormHost& host_;
  QTableWidget* Grid = nullptr;
};

}  // namespace quorle
