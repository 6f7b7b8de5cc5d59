#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Where to send a Program bank file: "Send Bank". Only the User bank and card banks take one.
class TdlgSendBank : public BankChooser {
 public:
  explicit TdlgSendBank(TMainState& state);

  bool rbUserChecked() const { return Checked() == 0; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void rbUserClick() { RadioClick(0); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void BitBtn1Click();

 private:
  TMainState& state_;
};

}  // namespace quorle
