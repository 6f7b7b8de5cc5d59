#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Which Mix to get or rename: "Select Mix".
class TfrmSelMix : public BankChooser {
 public:
  explicit TfrmSelMix(TMainState& state);

  bool rbUserChecked() const { return Checked() == 0; }
  bool rbPreset1Checked() const { return Checked() == 1; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void cbMixChange(int index) { EntryChange(index); }
  void rbUserClick() { RadioClick(0); }
  void rbPreset1Click() { RadioClick(1); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  // The OK button: the choice becomes the window's Mix selection.
  void BitBtn1Click();

 private:
  TMainState& state_;
};

}  // namespace quorle
