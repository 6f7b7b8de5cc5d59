#include "dialogs/TfrmSelMix.h"

namespace quorle {

TfrmSelMix::TfrmSelMix(TMainState& state)
    : BankChooser(kMixKind, Style::Select, state.MixBank, state.MixNumber, state.MixBanksOnCard,
                  true),
      state_(state) {
  Caption = "Select Mix";
}

void TfrmSelMix::BitBtn1Click() {
  if (!OkEnabled()) return;
  state_.MixNumber = Number;
  state_.MixBank = Bank;
}

}  // namespace quorle
