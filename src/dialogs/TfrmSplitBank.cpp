#include "dialogs/TfrmSplitBank.h"

namespace quorle {

TfrmSplitBank::TfrmSplitBank(TMainState& state)
    : BankChooser(kProgramKind, Style::Bank, state.ProgramBank, 0, state.ProgramBanksOnCard, false),
      state_(state) {
  Caption = "Select Program Bank";
}

void TfrmSplitBank::btnOKClick() {
  if (!OkEnabled()) return;
  state_.ProgramBank = Bank;
}

}  // namespace quorle
