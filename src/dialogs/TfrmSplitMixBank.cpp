#include "dialogs/TfrmSplitMixBank.h"

namespace quorle {

TfrmSplitMixBank::TfrmSplitMixBank(TMainState& state)
    : BankChooser(kMixKind, Style::Bank, state.MixBank, 0, state.MixBanksOnCard, false),
      state_(state) {
  Caption = "Select Mix Bank";
}

void TfrmSplitMixBank::btnOKClick() {
  if (!OkEnabled()) return;
  state_.MixBank = Bank;
}

}  // namespace quorle
