#include "dialogs/TdlgSendBank.h"

namespace quorle {

TdlgSendBank::TdlgSendBank(TMainState& state)
    : BankChooser(kProgramKind, Style::Send, state.ProgramBank, 0, state.ProgramBanksOnCard, false),
      state_(state) {
  Caption = "Send Bank";
}

void TdlgSendBank::BitBtn1Click() {
  if (OkEnabled()) state_.ProgramBank = Bank;
}

}  // namespace quorle
