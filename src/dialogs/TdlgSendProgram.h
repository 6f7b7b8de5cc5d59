#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Where to send a Program file: "Send Program". Only the User bank and card banks take one.
class TdlgSendProgram : public BankChooser {
 public:
  explicit TdlgSendProgram(TMainState& state);

  bool rbUserBankChecked() const { return Checked() == 0; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void cbProgramChange(int index) { EntryChange(index); }
  void rbUserBankClick() { RadioClick(0); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

 private:
  TMainState& state_;
};

}  // namespace quorle
