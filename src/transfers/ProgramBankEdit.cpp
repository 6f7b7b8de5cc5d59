// Rename Bank and Split Bank: the entry points of the Program page's bank rename and split.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::btnRenameProgBankClick() {
  RenameBankClick(kProgramKind);
}
void TfrmMain::HandleBankRename() {
  HandleRename(kProgramKind);
}
void TfrmMain::SplitProgramBank() {
  SplitBank(kProgramKind);
}

}  // namespace quorle
