#include "dialogs/TdlgSendProgram.h"

namespace quorle {

TdlgSendProgram::TdlgSendProgram(TMainState& state)
    : BankChooser(kProgramKind, Style::Send, state.ProgramBank, state.ProgramNumber,
                  state.ProgramBanksOnCard, true),
      state_(state) {
  Caption = "Send Program";
}

void TdlgSendProgram::btnOKClick() {
  if (!OkEnabled()) return;
  state_.ProgramBank = Bank;
  state_.ProgramNumber = Number;
}

}  // namespace quorle
