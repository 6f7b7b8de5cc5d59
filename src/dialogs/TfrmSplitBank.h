#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// The Program bank to fetch or split: "Select Program Bank".
class TfrmSplitBank : public BankChooser {
 public:
  explicit TfrmSplitBank(TMainState& state);

  int Choice() const { return Bank; }
  bool rbUserChecked() const { return Checked() == 0; }
  bool rbPreset1Checked() const { return Checked() == 1; }
  bool rbPreset2Checked() const { return Checked() == 2; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void rbUserClick() { RadioClick(0); }
  void rbPreset1Click() { RadioClick(1); }
  void rbPreset2Click() { RadioClick(2); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

 private:
  TMainState& state_;
};

}  // namespace quorle
