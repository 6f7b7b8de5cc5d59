// Get Bank and Send Bank: the entry points of the Program page's bank buttons.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::btnGetBankClick(int tag) {
  GetBankClick(kProgramKind, tag);
}
void TfrmMain::btnSendBankClick() {
  SendBankFileClick(kProgramKind);
}
void TfrmMain::SendBankDumpRequest() {
  SendBankRequest(kProgramKind);
}
void TfrmMain::RecBankDump(TMidiInput& port) {
  RecBank(kProgramKind, port);
}

}  // namespace quorle
