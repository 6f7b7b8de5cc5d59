#include "dialogs/TdlgSendMixBank.h"

namespace quorle {

TdlgSendMixBank::TdlgSendMixBank(TMainState& state)
    : BankChooser(kMixKind, Style::Send, state.MixBank, 0, state.MixBanksOnCard, false),
      state_(state) {
  cbVerifyChecked = state.Verify;
  hasKeepCopy_ = true;
  cbKeepCopyChecked = state.KeepReplaced;
  Caption = "Send Mix Bank";
}

void TdlgSendMixBank::btnOKClick() {
  if (!OkEnabled()) return;
  state_.MixBank = Bank;
  state_.Verify = cbVerifyChecked;
  state_.KeepReplaced = cbKeepCopyChecked;
}

}  // namespace quorle
