#pragma once

#include "qt/QtFormDialog.h"

class QLineEdit;

namespace quorle {

class TfrmSetName;

// The view of the rename form: the edit eName, at most 16 characters. Typing goes to the logic.
class QtSetNameDialog : public QtFormDialog {
  Q_OBJECT

 public:
  QtSetNameDialog(TfrmSetName& logic, QWidget* parent);

 private:
  TfrmSetName& logic_;
  QLineEdit* eName = nullptr;
};

}  // namespace quorle
