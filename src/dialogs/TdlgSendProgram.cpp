#include "dialogs/TdlgSendProgram.h"

namespace quorle {

TdlgSendProgram::TdlgSendProgram(TMainState& state)
    : BankChooser(kProgramKind, Style::Send, state.ProgramBank, state.ProgramNumber,
                  state.ProgramBanksOnCard, true),
      state_(state) {
  cbVerifyChecked = state.Verify;
  Caption = "Send Program";
}

void TdlgSendProgram::btnOKClick() {
  if (!OkEnabled()) return;
  state_.ProgramBank = Bank;
  state_.ProgramNumber = Number;
  state_.Verify = cbVerifyChecked;
}

}  // namespace quorle
