#include "dialogs/TdlgSendMix.h"

namespace quorle {

TdlgSendMix::TdlgSendMix(TMainState& state)
    : BankChooser(kMixKind, Style::Send, state.MixBank, state.MixNumber, state.MixBanksOnCard,
                  true),
      state_(state) {
  cbVerifyChecked = state.Verify;
  Caption = "Send Mix";
  ChoiceChanged();  // opening on a preset or unknown bank already sets the User bank
}

void TdlgSendMix::btnOKClick() {
  if (OkEnabled()) state_.Verify = cbVerifyChecked;
}

void TdlgSendMix::ChoiceChanged() {
  if (!OkEnabled()) return;
  state_.MixBank = Bank;
  state_.MixNumber = Number;
}

}  // namespace quorle
