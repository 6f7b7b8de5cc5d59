// Get Mix Bank and Send Mix Bank: the entry points of the Mix page's bank buttons.
#include "app/TfrmMain.h"

namespace quorle {

void TfrmMain::btnGetMixBankClick(int tag) {
  GetBankClick(kMixKind, tag);
}
void TfrmMain::btnSendMixBankClick() {
  SendBankFileClick(kMixKind);
}
void TfrmMain::SendMixBankDumpRequest() {
  SendBankRequest(kMixKind);
}
void TfrmMain::RecMixBankDump(TMidiInput& port) {
  RecBank(kMixKind, port);
}

}  // namespace quorle
