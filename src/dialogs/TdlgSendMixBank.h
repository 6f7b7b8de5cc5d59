#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Where to send a Mix bank file: "Send Mix Bank". Only the User bank and card banks take one.
class TdlgSendMixBank : public BankChooser {
 public:
  explicit TdlgSendMixBank(TMainState& state);

  bool rbUserChecked() const { return Checked() == 0; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void rbUserClick() { RadioClick(0); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

 private:
  TMainState& state_;
};

}  // namespace quorle
