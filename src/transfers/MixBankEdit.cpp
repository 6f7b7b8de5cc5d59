// Rename Mix Bank and Split Mix Bank: the entry points of the Mix page's bank rename and split.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::btnRenameMixBankClick() {
  RenameBankClick(kMixKind);
}
void TfrmMain::HandleMixBankRename() {
  HandleRename(kMixKind);
}
void TfrmMain::SplitMixBank() {
  SplitBank(kMixKind);
}

}  // namespace quorle
