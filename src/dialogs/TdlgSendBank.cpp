#include "dialogs/TdlgSendBank.h"

namespace quorle {

TdlgSendBank::TdlgSendBank(TMainState& state)
    : BankChooser(kProgramKind, Style::Send, state.ProgramBank, 0, state.ProgramBanksOnCard, false),
      state_(state) {
  cbVerifyChecked = state.Verify;
  hasKeepCopy_ = true;
  cbKeepCopyChecked = state.KeepReplaced;
  Caption = "Send Bank";
}

void TdlgSendBank::BitBtn1Click() {
  if (!OkEnabled()) return;
  state_.ProgramBank = Bank;
  state_.Verify = cbVerifyChecked;
  state_.KeepReplaced = cbKeepCopyChecked;
}

}  // namespace quorle
