#include "dialogs/TfrmSelProgram.h"

namespace quorle {

TfrmSelProgram::TfrmSelProgram(TMainState& state)
    : BankChooser(kProgramKind, Style::Select, state.ProgramBank, state.ProgramNumber,
                  state.ProgramBanksOnCard, true),
      state_(state) {
  Caption = "Select Program";
}

void TfrmSelProgram::btnOKClick() {
  if (!OkEnabled()) return;
  state_.ProgramBank = Bank;
  state_.ProgramNumber = Number;
}

}  // namespace quorle
