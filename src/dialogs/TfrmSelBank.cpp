#include "dialogs/TfrmSelBank.h"

namespace quorle {

namespace {

bool IsProgram(const DumpKind& kind) {
  return kind.opcode == kProgramKind.opcode;
}

}  // namespace

TfrmSelBank::TfrmSelBank(TMainState& state, const DumpKind& kind, Question question)
    : BankChooser(kind, Style::Send, IsProgram(kind) ? state.ProgramBank : state.MixBank, 0,
                  IsProgram(kind) ? state.ProgramBanksOnCard : state.MixBanksOnCard, false),
      bank_(IsProgram(kind) ? state.ProgramBank : state.MixBank),
      verify_(state.Verify),
      question_(question) {
  // Reading back means something only where the renamed bank is sent: the second question.
  hasVerify_ = question == Question::Target;
  cbVerifyChecked = state.Verify;
  Caption = IsProgram(kind) ? "Select Program Bank" : "Select Mix Bank";
  btnLoadCaption = question == Question::Source ? "Load from disk" : "Save to disk";
  // A bank read from a file has no place on the instrument yet: the user names one, rather than
  // have it land on the User bank by a hasty OK.
  if (question == Question::Target && bank_ < 0) ClearChoice();
}

void TfrmSelBank::btnLoadClick() {
  disk_ = true;
  Bank = -1;
  bank_ = -1;
}

void TfrmSelBank::OnlyDisk() {
  RadioEnabled.assign(RadioEnabled.size(), false);
  ClearChoice();
}

void TfrmSelBank::btnOKClick() {
  if (!OkEnabled()) return;
  bank_ = Bank;
  if (HasVerify()) verify_ = cbVerifyChecked;
}

}  // namespace quorle
