#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Which Program to get or rename: "Select Program".
class TfrmSelProgram : public BankChooser {
 public:
  explicit TfrmSelProgram(TMainState& state);

  bool rbUserChecked() const { return Checked() == 0; }
  bool rbPreset1Checked() const { return Checked() == 1; }
  bool rbPreset2Checked() const { return Checked() == 2; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void cbProgramChange(int index) { EntryChange(index); }
  void rbUserClick() { RadioClick(0); }
  void rbPreset1Click() { RadioClick(1); }
  void rbPreset2Click() { RadioClick(2); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  // OK: the choice becomes the window's Program selection.
  void btnOKClick();

 private:
  TMainState& state_;
};

}  // namespace quorle
