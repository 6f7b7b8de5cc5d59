#pragma once

#include "dialogs/BankChooser.h"

namespace quorle {

// Where to send a Mix file, or the default Mix: "Send Mix". Unlike the other dialogs it writes
// every change straight into the window's Mix selection, so a cancelled choice stays there.
class TdlgSendMix : public BankChooser {
 public:
  explicit TdlgSendMix(TMainState& state);

  bool rbUserBankChecked() const { return Checked() == 0; }
  bool rbCardChecked() const { return IsCardChecked(); }
  void cbProgramChange(int index) { EntryChange(index); }
  void rbUserBankClick() { RadioClick(0); }
  void rbCardClick() { RadioClick(CardButton()); }
  void cbCardChange(int index) { CardChange(index); }
  void btnOKClick();

 protected:
  void ChoiceChanged() override;

 private:
  TMainState& state_;
};

}  // namespace quorle
