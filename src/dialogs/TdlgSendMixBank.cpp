#include "dialogs/TdlgSendMixBank.h"

namespace quorle {

TdlgSendMixBank::TdlgSendMixBank(TMainState& state)
    : BankChooser(kMixKind, Style::Send, state.MixBank, 0, state.MixBanksOnCard, false),
      state_(state) {
  Caption = "Send Mix Bank";
}

void TdlgSendMixBank::btnOKClick() {
  if (OkEnabled()) state_.MixBank = Bank;
}

}  // namespace quorle
