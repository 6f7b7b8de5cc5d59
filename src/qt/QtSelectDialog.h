#pragma once

#include <QList>

#include "qt/QtFormDialog.h"

class QComboBox;
class QLabel;
class QRadioButton;

namespace quorle {

class BankChooser;

// The view of every bank and entry chooser: Select Program, Send Program, Select Mix, Send Mix
// (or Initialize Mix), Select Program Bank and Select Mix Bank. Each click or choice goes to the
// logic, and the controls are redrawn from it afterwards.
class QtSelectDialog : public QtFormDialog {
  Q_OBJECT

 public:
  QtSelectDialog(BankChooser& logic, QWidget* parent);

 private:
  void Redraw();

  BankChooser& logic_;
  // Indexed like the logic's radio buttons; nullptr where the form has no such button.
  QList<QRadioButton*> radios_;
  QComboBox* entries_ = nullptr;
  QComboBox* cbCard = nullptr;
  QLabel* lblSubject_ = nullptr;  // what a send carries and where to
  bool redrawing_ = false;
};

}  // namespace quorle
