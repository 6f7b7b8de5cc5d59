#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// The Mix bank to fetch or split: "Select Mix Bank".
class TfrmSplitMixBank : public BankChooser {
 public:
  explicit TfrmSplitMixBank(TMainState& state);

  int Choice() const { return Bank; }
  bool rbUserChecked() const { return Checked() == 0; }
  bool rbPreset1Checked() const { return Checked() == 1; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void rbUserClick() { RadioClick(0); }
  void rbPreset1Click() { RadioClick(1); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

 private:
  TMainState& state_;
};

}  // namespace quorle
